// Writes the seed inputs of every fuzz target into the directory given,
// one subdirectory per target (fuzz/make-corpus runs it). The records are
// built with the same encoders and test helpers the byte tests use.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "base/endian.h"
#include "base/str0.h"
#include "callif/filter_expression.h"
#include "comms/QDNetMsg.h"
#include "comms/bundle.h"
#include "dict/QDCLConv.h"
#include "dict/QDLLDict.h"
#include "fuzz/seeds.h"
#include "tests/callif/filter_builder.h"
#include "tests/callif/open_table_sample.h"

namespace qd::fuzz {

namespace {
std::filesystem::path g_dir;
}  // namespace

void WriteSeed(const std::string& target, const std::string& name, std::span<const uint8_t> bytes) {
  std::filesystem::create_directories(g_dir / target);
  std::ofstream(g_dir / target / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {

// A message part as a peer sends it: header, then `data`.
std::vector<uint8_t> Part(TqdMsgID msg, std::span<const uint8_t> data, uint32_t totalSize, bool first, bool last,
                          uint8_t dataKind = kDataKindBlock) {
  TqdMsgHeader header{.MsgID = msg, .MsgLen = static_cast<uint32_t>(kMsgHeaderSize + data.size()),
                      .TotalSize = totalSize, .FirstPart = first, .LastPart = last, .DataKind = dataKind};
  std::vector<uint8_t> part(kMsgHeaderSize);
  EncodeMsgHeader(header, part.data());
  part.insert(part.end(), data.begin(), data.end());
  return part;
}

// A message-queue script step that adds `part` on connection 0.
void AddStep(std::vector<uint8_t>& script, const std::vector<uint8_t>& part) {
  script.push_back(0);
  uint8_t length[2];
  PutUInt16LE(length, static_cast<uint16_t>(part.size()));
  script.insert(script.end(), length, length + 2);
  script.insert(script.end(), part.begin(), part.end());
}

void WriteQueueAndFramerSeeds() {
  const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<uint8_t> bundle;
  AppendBundleRecord(bundle, msgGetNextRecord, 0, kDataKindBlock, data);
  AppendBundleRecord(bundle, msgGetNextRecord, 8706, kDataKindBlock, {});
  const auto whole = Part(msgGetRecord, data, 8, true, true);
  const auto bundled = Part(msgBundle, bundle, static_cast<uint32_t>(bundle.size()), true, true, kDataKindStream);
  const auto first = Part(msgGetTableList, std::span(data).first(3), 8, true, false, kDataKindStream);
  const auto next = Part(msgGetTableList, std::span(data).subspan(3), 8, false, true);

  std::vector<uint8_t> script;
  for (const auto* part : {&whole, &bundled, &first, &next}) AddStep(script, *part);
  script.push_back(0x12);  // take and remove the head
  WriteSeed("message_queue", "parts", script);

  // Framer: largest part 4096, no extra room, the stream in 16-byte chunks.
  std::vector<uint8_t> stream = {0, 0, 0, 0};  // a keep-alive
  for (const auto* part : {&whole, &bundled, &first, &next}) stream.insert(stream.end(), part->begin(), part->end());
  std::vector<uint8_t> framed = {0xE8, 0x0F, 0};
  for (size_t at = 0; at < stream.size(); at += 16) {
    size_t n = std::min<size_t>(16, stream.size() - at);
    framed.push_back(static_cast<uint8_t>(n - 1));
    framed.insert(framed.end(), stream.begin() + at, stream.begin() + at + n);
  }
  WriteSeed("stream_framer", "stream", framed);
}

void WriteDictionarySeeds() {
  WriteSeed("dict_stream", "orders", test::DictionaryBytes(*test::OrdersDictionary()));
  WriteSeed("str0", "rows", PackStr0({{-5, "minus"}, {1, "one"}, {9, "\xC3\xA9t\xC3\xA9"}, {70000, "big"}}));
  WriteSeed("str0", "empty", PackStr0({}));
}

void WriteSettingsSeeds() {
  const std::string texts[] = {
      "[Client Configuration]\nProtocol=TCP/IP\nServerName=\"db1\"\nServerPort=24677\n"
      "ClientDiscoveryPort=24933\nDiscoveryAddress=127.255.255.255\n",
      "; comment\n[Client%20Configuration]\nprotocol=IPX/SPX\nIPXPortOffset=12\nIPXDiscoveryAddress=127.0.0.1\n",
      "[Client Configuration]\nProtocol=NetBIOS\nNetBIOS=1\nNetBIOSInterfaces=lo,eth0\nNetBIOSNamePort=1137\n"
      "NetBIOSDatagramPort=1138\nNetBIOSSessionPort=1139\nNetBIOSBroadcastAddress=127.0.0.1\n",
  };
  int n = 0;
  for (const std::string& text : texts)
    WriteSeed("settings", "conf" + std::to_string(n++), std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void WriteFilterSeeds() {
  using test::FilterBuilder;
  FilterBuilder amount;
  uint16_t root = amount.Compare(opGreaterOrEqual);
  amount.Operands(root, amount.Field(3, "Amount"), amount.Constant(bdeFloat, test::DoubleBytes(10)));
  WriteSeed("filter", "amount", amount.Block());

  FilterBuilder both;
  uint16_t andNode = both.Node(nodeBinary, opAnd, {0, 0});
  uint16_t byName = both.Compare(opEqual, 2, true);
  both.Operands(byName, both.Field(2, "Name"), both.Constant(bdeZString, test::TextBytes("Sm")));
  uint16_t notBlank = both.Node(nodeUnary, opNotBlank, {both.Field(1, "Id")});
  both.Set(andNode, 0, byName);
  both.Set(andNode, 1, notBlank);
  WriteSeed("filter", "and", both.Block());
}

}  // namespace
}  // namespace qd::fuzz

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  qd::fuzz::g_dir = argv[1];
  qd::fuzz::WriteQueueAndFramerSeeds();
  qd::fuzz::WriteDictionarySeeds();
  qd::fuzz::WriteSettingsSeeds();
  qd::fuzz::WriteFilterSeeds();
  qd::fuzz::WriteRequestSeeds();
  qd::fuzz::WriteReplySeeds();
  return 0;
}
