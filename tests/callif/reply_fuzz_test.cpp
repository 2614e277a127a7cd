// The reply decoders under bad input: every truncation of a valid reply,
// seeded random replies and random mutations of valid ones. Each decoder
// answers nullopt or a value, never reads past the reply (the buffers are
// exactly as long as the reply, so the address sanitizer sees an over-read),
// and the open-table decoder leaves the dictionary cleared when it refuses.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "callif/request_records.h"
#include "open_table_sample.h"

namespace qd {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSeed = 20240611;
constexpr int kRandomReplies = 3000;
constexpr int kMutations = 3000;

using test::OpenTableReply;
using test::OrdersDictionary;

bool IsCleared(const TqdDataDictionary& dict) {
  return dict.FileCount() == 0 && dict.FieldCount() == 0 && dict.IndexCount() == 1;
}

// What a decoder made of one reply: whether it gave a value, and for the
// open-table reply whether what it left behind is sound.
struct Outcome {
  bool HasValue = false;
  bool Sound = true;
  std::string Why;
};

Outcome DecodeOpenTable(const Bytes& reply) {
  // A dictionary that already holds a table: a refusal must not leave it.
  auto dict = OrdersDictionary();
  TqdMemoryStream stream(reply);
  auto r = DecodeOpenTableReply(stream, *dict);
  if (!r) {
    if (!IsCleared(*dict)) return {false, false, "refused, but the dictionary was not cleared"};
    return {};
  }
  if (r->IndexId < 0 || r->IndexId >= dict->IndexCount()) return {true, false, "index id outside the dictionary"};
  return {true, true, {}};
}

struct Decoder {
  const char* Name;
  Bytes Valid;
  size_t FixedSize;  // 0: the reply has no fixed size
  std::function<Outcome(const Bytes&)> Decode;
};

template <class F>
std::function<Outcome(const Bytes&)> SpanDecoder(F decode) {
  return [decode](const Bytes& reply) { return Outcome{decode(std::span<const uint8_t>(reply)).has_value()}; };
}

std::vector<Decoder> Decoders() {
  Bytes status(kTaskStatusReplySize, 0);
  status[20] = 50;
  status[32] = 1;
  Bytes alias(kAliasRowSize, 0);
  alias[0] = 5;
  std::fill(alias.begin() + 1, alias.begin() + 6, 'S');
  Bytes table(kTableRowSize, 0);
  table[0] = 3;
  std::fill(table.begin() + 1, table.begin() + 4, 'T');
  return {
      {"task status", status, kTaskStatusReplySize, SpanDecoder(DecodeTaskStatusReply)},
      {"alias row", alias, kAliasRowSize, SpanDecoder(DecodeAliasRow)},
      {"table row", table, kTableRowSize, SpanDecoder(DecodeTableRow)},
      {"open table", OpenTableReply(17, 1), 0, DecodeOpenTable},
  };
}

// Checks one outcome against what the decoder's size rule demands.
void Check(const Decoder& d, const Bytes& reply, const Outcome& o, const std::string& what) {
  EXPECT_TRUE(o.Sound) << d.Name << ", " << what << ": " << o.Why;
  if (d.FixedSize != 0) {
    EXPECT_EQ(o.HasValue, reply.size() >= d.FixedSize) << d.Name << ", " << what;
  }
}

TEST(ReplyFuzz, ValidRepliesDecode) {
  for (const Decoder& d : Decoders()) {
    Outcome o = d.Decode(d.Valid);
    EXPECT_TRUE(o.HasValue) << d.Name;
    EXPECT_TRUE(o.Sound) << d.Name << ": " << o.Why;
  }
}

// Every reply here is cut from a valid one: none is complete.
TEST(ReplyFuzz, EveryTruncationIsRefused) {
  for (const Decoder& d : Decoders()) {
    for (size_t n = 0; n < d.Valid.size(); ++n) {
      Bytes cut(d.Valid.begin(), d.Valid.begin() + static_cast<std::ptrdiff_t>(n));
      Outcome o = d.Decode(cut);
      EXPECT_FALSE(o.HasValue) << d.Name << " cut to " << n;
      EXPECT_TRUE(o.Sound) << d.Name << " cut to " << n << ": " << o.Why;
    }
  }
}

TEST(ReplyFuzz, RandomRepliesNeverCrash) {
  std::mt19937 random(kSeed);
  for (const Decoder& d : Decoders()) {
    std::uniform_int_distribution<size_t> size(0, 2 * d.Valid.size());
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < kRandomReplies; ++i) {
      Bytes reply(size(random));
      for (uint8_t& b : reply) b = static_cast<uint8_t>(byte(random));
      Check(d, reply, d.Decode(reply), "random reply " + std::to_string(i));
    }
  }
}

// Mutations keep most of a valid reply, so they reach deeper into the
// dictionary stream than random bytes do: a few bytes changed, sometimes
// cut or lengthened as well.
Bytes Mutate(const Bytes& valid, std::mt19937& random) {
  Bytes reply = valid;
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> changes(1, 4);
  for (int n = changes(random); n > 0; --n) {
    size_t at = std::uniform_int_distribution<size_t>(0, reply.size() - 1)(random);
    reply[at] = static_cast<uint8_t>(byte(random));
  }
  switch (std::uniform_int_distribution<int>(0, 3)(random)) {
    case 0:
      reply.resize(std::uniform_int_distribution<size_t>(0, reply.size())(random));
      break;
    case 1:
      reply.resize(reply.size() + std::uniform_int_distribution<size_t>(1, 16)(random),
                   static_cast<uint8_t>(byte(random)));
      break;
    default:
      break;
  }
  return reply;
}

TEST(ReplyFuzz, MutatedRepliesNeverCrash) {
  std::mt19937 random(kSeed + 1);
  for (const Decoder& d : Decoders()) {
    for (int i = 0; i < kMutations; ++i) {
      Bytes reply = Mutate(d.Valid, random);
      Check(d, reply, d.Decode(reply), "mutation " + std::to_string(i));
    }
  }
}

// The server names the index the cursor is on; one the dictionary lacks
// would make every later use of the cursor's index read past its list.
TEST(ReplyFuzz, OpenTableRefusesAnIndexIdOutsideTheDictionary) {
  const int32_t indexes = OrdersDictionary()->IndexCount();  // index 0 included
  struct Case {
    int32_t IndexId;
    bool Accepted;
  };
  const Case cases[] = {{0, true},     {indexes - 1, true}, {indexes, false},
                        {-1, false},   {INT32_MAX, false},  {INT32_MIN, false},
                        {256, false}};
  for (const Case& c : cases) {
    Outcome o = DecodeOpenTable(OpenTableReply(17, c.IndexId));
    EXPECT_EQ(o.HasValue, c.Accepted) << c.IndexId;
    EXPECT_TRUE(o.Sound) << c.IndexId << ": " << o.Why;
  }
}

// Refused for any reason, the dictionary that held a table before is
// left cleared, not as it was nor half read.
TEST(ReplyFuzz, OpenTableClearsTheDictionaryOnEveryRefusal) {
  Bytes valid = OpenTableReply(17, 1);
  Bytes noIndexId(valid.begin(), valid.end() - 4);
  Bytes badDictionary = valid;
  badDictionary[5] = 0xEE;  // the file count's tag: not a value tag
  struct Case {
    const char* What;
    Bytes Reply;
  };
  const Case cases[] = {
      {"empty", {}},
      {"part of a cursor id", {1, 2}},
      {"cursor id only", {1, 2, 3, 4}},
      {"no index id", noIndexId},
      {"bad dictionary", badDictionary},
      {"index beyond", OpenTableReply(17, 99)},
  };
  for (const Case& c : cases) {
    auto dict = OrdersDictionary();
    TqdMemoryStream stream(c.Reply);
    EXPECT_FALSE(DecodeOpenTableReply(stream, *dict)) << c.What;
    EXPECT_TRUE(IsCleared(*dict)) << c.What << ": " << dict->FieldCount() << " fields, "
                                  << dict->IndexCount() << " indexes, " << dict->FileCount() << " files";
  }
}

}  // namespace
}  // namespace qd
