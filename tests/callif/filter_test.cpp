// Record filters on a cursor: the filter operations and their results,
// expression evaluation through a client cursor over the Orders table,
// filtered navigation, and malformed expressions refused when added.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "base/endian.h"
#include "callif/QDClTabl.h"
#include "callif/QDTTFilt.h"
#include "dict/QDCLConv.h"
#include "tests/callif/fakes.h"
#include "tests/callif/filter_builder.h"
#include "tests/callif/open_table_sample.h"

namespace qd {
namespace {

using test::FilterBuilder;

// A client cursor on Orders (0 Id int32, 1 Name short string 20, 2 Amount
// double, 3 Day date) that never reaches a server: filters and values are
// all on the client.
class OrdersCursor {
 public:
  OrdersCursor() {
    TqdMemoryStream stream(test::DictionaryBytes(*test::OrdersDictionary()));
    Table.Dictionary().LoadFromStream(stream);
    Table.BuildFieldDescs();
  }
  std::vector<uint8_t> Record(int32_t id, const char* name, const double* amount) {
    std::vector<uint8_t> record(static_cast<size_t>(Table.Dictionary().RecordSize()));
    Table.InitRecord(record.data());
    int32_t idValue = id;
    EXPECT_EQ(Table.TranslatePut(1, record.data(), &idValue), qdOK);
    EXPECT_EQ(Table.TranslatePut(2, record.data(), name), qdOK);
    EXPECT_EQ(Table.TranslatePut(3, record.data(), amount), qdOK);
    return record;
  }
  hDBIFilter Add(const std::vector<uint8_t>& expression, TqdFilterCallback callback = nullptr, bool canAbort = false) {
    hDBIFilter filter = nullptr;
    EXPECT_EQ(Table.AddFilter(7, 3, canAbort, expression.empty() ? nullptr : expression.data(), callback, filter),
              qdOK);
    EXPECT_EQ(Table.ActivateFilter(filter), qdOK);
    return filter;
  }
  // Adds and activates the filter, tests the two records, drops it.
  void ExpectAnswers(const std::vector<uint8_t>& expression, const std::vector<uint8_t>& first, bool firstPasses,
                     const std::vector<uint8_t>& second, bool secondPasses) {
    hDBIFilter f = Add(expression);
    EXPECT_EQ(Table.PassesFilters(first.data()), firstPasses);
    EXPECT_EQ(Table.PassesFilters(second.data()), secondPasses);
    EXPECT_EQ(Table.DropFilter(f), qdOK);
  }
  TQDClientTable Table{nullptr, nullptr, "Orders", nullptr, 0, dbiREADWRITE, dbiOPENSHARED, xltFIELD, nullptr};
};

std::vector<uint8_t> AmountIs(uint32_t op, double amount) {
  FilterBuilder b;
  // Laid out in this order (the malformed-block cases rely on it): the
  // compare node at 0, the field at 16, the constant at 28; the name at
  // literal 0, the value at literal 7.
  uint16_t root = b.Compare(op);
  uint16_t field = b.Field(3, "Amount");
  b.Operands(root, field, b.Constant(bdeFloat, test::DoubleBytes(amount)));
  return b.Block();
}

TEST(FilterTest, ABlankFieldSortsFirst) {
  OrdersCursor c;
  auto blank = c.Record(1, "a", nullptr);
  const double ten = 10;
  auto filled = c.Record(2, "b", &ten);
  struct {
    uint32_t Op;
    bool Blank, Filled;
  } cases[] = {{opLess, true, false}, {opEqual, false, true}, {opGreaterOrEqual, false, true},
               {opNotEqual, true, false}, {opLessOrEqual, true, true}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.Op);
    c.ExpectAnswers(AmountIs(k.Op, 10), blank, k.Blank, filled, k.Filled);
  }
}

// The tree's node kinds: unary blank tests and negation, and/or with the
// right side evaluated only when needed, a binary node comparing, a
// continue node, and classes that do not evaluate.
TEST(FilterTest, EveryNodeClassEvaluates) {
  OrdersCursor c;
  const double five = 5;
  auto record = c.Record(3, "Smith", &five);
  auto noAmount = c.Record(4, "Jones", nullptr);
  struct Case {
    const char* Name;
    std::function<void(FilterBuilder&)> Build;
    bool Record, NoAmount;
  };
  auto amountLess = [](FilterBuilder& b, uint16_t node, double v) {
    b.Operands(node, b.Field(3, "Amount"), b.Constant(bdeFloat, test::DoubleBytes(v)));
  };
  const Case cases[] = {
      {"is blank", [](FilterBuilder& b) { uint16_t u = b.Node(nodeUnary, opIsBlank, {0}); b.Set(u, 0, b.Field(3, "Amount")); },
       false, true},
      {"not blank", [](FilterBuilder& b) { uint16_t u = b.Node(nodeUnary, opNotBlank, {0}); b.Set(u, 0, b.Field(3, "Amount")); },
       true, false},
      {"not (amount < 6)", [&](FilterBuilder& b) {
         uint16_t u = b.Node(nodeUnary, opNot, {0});
         uint16_t cmp = b.Compare(opLess);
         b.Set(u, 0, cmp);
         amountLess(b, cmp, 6);
       }, false, false},  // the blank amount is less, so its negation rejects too
      {"and", [&](FilterBuilder& b) {
         uint16_t a = b.Node(nodeBinary, opAnd, {0, 0});
         uint16_t l = b.Compare(opGreater), r = b.Compare(opLess);
         b.Set(a, 0, l);
         b.Set(a, 1, r);
         amountLess(b, l, 4);
         amountLess(b, r, 6);
       }, true, false},
      {"or", [&](FilterBuilder& b) {
         uint16_t o = b.Node(nodeBinary, opOr, {0, 0});
         uint16_t l = b.Compare(opGreater);
         uint16_t r = b.Node(nodeUnary, opIsBlank, {0});
         b.Set(o, 0, l);
         b.Set(o, 1, r);
         amountLess(b, l, 4);
         b.Set(r, 0, b.Field(3, "Amount"));
       }, true, true},
      {"binary compares", [](FilterBuilder& b) {
         uint16_t n = b.Node(nodeBinary, opEqual, {0, 0});
         b.Set(n, 0, b.Field(2, "Name"));
         b.Set(n, 1, b.Constant(bdeZString, test::TextBytes("Smith")));
       }, true, false},
      {"case-insensitive compare", [](FilterBuilder& b) {
         uint16_t n = b.Compare(opEqual, 0, true);
         b.Operands(n, b.Field(2, "Name"), b.Constant(bdeZString, test::TextBytes("JONES")));
       }, false, true},
      {"partial compare", [](FilterBuilder& b) {
         uint16_t n = b.Compare(opEqual, 2);
         b.Operands(n, b.Field(2, "Name"), b.Constant(bdeZString, test::TextBytes("Smx")));
       }, true, false},
      {"continue 1", [](FilterBuilder& b) { b.Node(nodeContinue, 0, {1}); }, true, true},
      {"continue 0", [](FilterBuilder& b) { b.Node(nodeContinue, 0, {0}); }, false, false},
      {"class 6", [](FilterBuilder& b) { b.Node(6, 0, {}); }, false, false},
      {"unknown operator", [&](FilterBuilder& b) { uint16_t n = b.Compare(12); amountLess(b, n, 6); }, false, false},
      {"unknown field name", [](FilterBuilder& b) {
         uint16_t n = b.Compare(opNotEqual);
         b.Operands(n, b.Field(3, "Nothing"), b.Constant(bdeFloat, test::DoubleBytes(1)));
       }, false, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Name);
    FilterBuilder b;
    k.Build(b);
    c.ExpectAnswers(b.Block(), record, k.Record, noAmount, k.NoAmount);
  }
}

// A field node names its field twice: the number is trusted only while the
// name agrees, and is then corrected once in the filter's own copy; a
// number beyond the fields is never used to read a descriptor.
TEST(FilterTest, AFieldNumberIsCorrectedByItsName) {
  OrdersCursor c;
  const double five = 5;
  auto record = c.Record(3, "Smith", &five);
  for (uint16_t number : {uint16_t{1}, uint16_t{0}, uint16_t{40000}}) {
    SCOPED_TRACE(number);
    FilterBuilder b;
    uint16_t root = b.Compare(opEqual);
    uint16_t field = b.Field(number, "AMOUNT");
    b.Operands(root, field, b.Constant(bdeFloat, test::DoubleBytes(5)));
    hDBIFilter f = c.Add(b.Block());
    auto* filter = static_cast<TttFilterListItem*>(f);
    const size_t numberAt = kFilterHeaderSize + field + kFilterNodeHeadSize;
    EXPECT_TRUE(c.Table.PassesFilters(record.data()));
    EXPECT_EQ(GetUInt16LE(&filter->Expression[numberAt]), 3);
    EXPECT_TRUE(c.Table.PassesFilters(record.data()));
    EXPECT_EQ(c.Table.DropFilter(f), qdOK);
  }
}

uint16_t Answer(uint32_t clientData, const uint8_t*, int32_t) { return static_cast<uint16_t>(clientData); }

TEST(FilterTest, TheCallbackAnswersFirst) {
  OrdersCursor c;
  const double five = 5;
  auto record = c.Record(3, "Smith", &five);
  struct {
    uint16_t Answer;
    bool CanAbort, WithExpression, Accepted;
  } cases[] = {
      {0xFFFE, true, false, false},  // -2 with can abort: rejected at once
      {0xFFFE, false, false, true},  // -2 is just non-zero
      {0, false, false, false},
      {1, false, true, false},       // accepted by the callback, then the expression rejects
      {0xFFFE, false, true, false},
  };
  for (const auto& k : cases) {
    hDBIFilter filter = nullptr;
    std::vector<uint8_t> expression = AmountIs(opGreater, 9);
    ASSERT_EQ(c.Table.AddFilter(k.Answer, 0, k.CanAbort, k.WithExpression ? expression.data() : nullptr, Answer,
                                filter),
              qdOK);
    EXPECT_TRUE(c.Table.PassesFilters(record.data())) << "inactive";
    c.Table.ActivateFilter(filter);
    EXPECT_EQ(c.Table.PassesFilters(record.data()), k.Accepted) << k.Answer << k.CanAbort << k.WithExpression;
    c.Table.DropFilter(nullptr);
  }
}

TEST(FilterTest, OnlyActiveFiltersApplyInTheirOrder) {
  OrdersCursor c;
  const double five = 5;
  auto record = c.Record(3, "Smith", &five);
  hDBIFilter accepts = nullptr, rejects = nullptr;
  auto pass = AmountIs(opEqual, 5), fail = AmountIs(opEqual, 6);
  ASSERT_EQ(c.Table.AddFilter(0, 0, false, pass.data(), nullptr, accepts), qdOK);
  ASSERT_EQ(c.Table.AddFilter(0, 0, false, fail.data(), nullptr, rejects), qdOK);
  pass.assign(pass.size(), 0xAB);  // the caller's block may go: the filters keep copies
  EXPECT_FALSE(c.Table.FiltersActive());
  EXPECT_EQ(c.Table.ActivateFilter(accepts), qdOK);
  EXPECT_TRUE(c.Table.FiltersActive());
  EXPECT_TRUE(c.Table.PassesFilters(record.data()));
  EXPECT_EQ(c.Table.ActivateFilter(nullptr), qdOK);
  EXPECT_FALSE(c.Table.PassesFilters(record.data()));
  EXPECT_FALSE(c.Table.PassesFilters(nullptr));
  EXPECT_EQ(c.Table.DeactivateFilter(rejects), qdOK);
  EXPECT_EQ(c.Table.DeactivateFilter(rejects), qdErrNotApplicable);
  EXPECT_TRUE(c.Table.FiltersActive());
  EXPECT_EQ(c.Table.DeactivateFilter(nullptr), qdOK);
  EXPECT_FALSE(c.Table.FiltersActive());
  EXPECT_TRUE(c.Table.PassesFilters(record.data()));
  EXPECT_EQ(c.Table.DropFilter(accepts), qdOK);
  EXPECT_EQ(c.Table.Filters().Count(), 1);
  EXPECT_EQ(c.Table.DropFilter(nullptr), qdOK);
  EXPECT_EQ(c.Table.Filters().Count(), 0);
}

// A handle from another cursor, or one already dropped, is only compared,
// never followed.
TEST(FilterTest, AFilterOfAnotherCursorIsRefused) {
  OrdersCursor c, other;
  hDBIFilter foreign = other.Add(AmountIs(opEqual, 1));
  hDBIFilter dropped = c.Add(AmountIs(opEqual, 1));
  ASSERT_EQ(c.Table.DropFilter(dropped), qdOK);
  uint8_t info[24];
  for (hDBIFilter f : {foreign, dropped}) {
    EXPECT_EQ(c.Table.ActivateFilter(f), qdErrInvalidFilter);
    EXPECT_EQ(c.Table.DeactivateFilter(f), qdErrInvalidFilter);
    EXPECT_EQ(c.Table.DropFilter(f), qdErrInvalidFilter);
    std::memset(info, 0xEE, sizeof info);
    EXPECT_EQ(c.Table.GetFilterInfo(f, info, 0), qdErrInvalidHandle);
    EXPECT_EQ(std::vector<uint8_t>(info, info + 24), std::vector<uint8_t>(24, 0));
  }
}

TEST(FilterTest, FilterInformationRecord) {
  OrdersCursor c;
  hDBIFilter first = nullptr, second = nullptr;
  auto expression = AmountIs(opEqual, 1);
  ASSERT_EQ(c.Table.AddFilter(0x11223344, 0x5566, true, expression.data(), Answer, first), qdOK);
  ASSERT_EQ(c.Table.AddFilter(9, 2, false, nullptr, nullptr, second), qdOK);
  ASSERT_EQ(c.Table.ActivateFilter(second), qdOK);
  uint8_t info[24];
  ASSERT_EQ(c.Table.GetFilterInfo(first, info, 99), qdOK);
  EXPECT_EQ(GetUInt16LE(info + 0), 0);
  EXPECT_EQ(GetUInt32LE(info + 2), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(first)));
  EXPECT_EQ(GetUInt32LE(info + 6), 0x11223344u);
  EXPECT_EQ(GetUInt16LE(info + 10), 0x5566);
  EXPECT_EQ(GetInt16LE(info + 12), -1);
  EXPECT_NE(GetUInt32LE(info + 14), 0u);
  EXPECT_NE(GetUInt32LE(info + 18), 0u);
  EXPECT_EQ(GetInt16LE(info + 22), 0);
  ASSERT_EQ(c.Table.GetFilterInfo(nullptr, info, 1), qdOK);
  EXPECT_EQ(GetUInt16LE(info + 0), 1);
  EXPECT_EQ(GetUInt32LE(info + 6), 9u);
  EXPECT_EQ(GetInt16LE(info + 12), 0);
  EXPECT_EQ(GetUInt32LE(info + 14), 0u);
  EXPECT_EQ(GetUInt32LE(info + 18), 0u);
  EXPECT_EQ(GetInt16LE(info + 22), -1);
  // A position with no filter reads nothing past the list.
  for (int32_t position : {2, -1}) {
    std::memset(info, 0xEE, sizeof info);
    EXPECT_EQ(c.Table.GetFilterInfo(nullptr, info, position), qdErrInvalidFilter);
    EXPECT_EQ(std::vector<uint8_t>(info, info + 24), std::vector<uint8_t>(24, 0));
  }
}

// GetNextRecord skips what the filters reject; GetRecord reports it as not
// found.
TEST(FilterTest, NavigationSkipsRejectedRecords) {
  test::FakeCursor cursor(nullptr, nullptr, {1, 2, 3, 4, 5});
  hDBIFilter filter = nullptr;
  auto even = [](uint32_t, const uint8_t* record, int32_t) -> uint16_t { return GetInt32LE(record) % 2 == 0; };
  ASSERT_EQ(cursor.AddFilter(0, 0, false, nullptr, even, filter), qdOK);
  ASSERT_EQ(cursor.ActivateFilter(filter), qdOK);
  std::vector<int32_t> seen;
  uint8_t record[4];
  while (cursor.GetNextRecord(dbiNOLOCK, record, nullptr) == qdOK) seen.push_back(GetInt32LE(record));
  EXPECT_EQ(seen, (std::vector<int32_t>{2, 4}));
  cursor.Position = 2;  // on 3
  EXPECT_EQ(cursor.GetRecord(dbiNOLOCK, record, nullptr), qdErrRecNotFound);
}

// A block is refused (9986) unless everything the evaluation can reach is
// inside it: nothing is read past it, no node loops back, no tree too deep
// or too costly to walk.
TEST(FilterTest, MalformedExpressionsAreRefused) {
  auto valid = AmountIs(opEqual, 1);
  auto with = [&](auto change) {
    std::vector<uint8_t> b = valid;
    change(b);
    return b;
  };
  const uint16_t literalStart = GetUInt16LE(&valid[kFilterLiteralStartOffset]);
  auto chain = [](int depth) {
    FilterBuilder b;
    uint16_t node = b.Node(nodeUnary, opNot, {0});
    for (int i = 1; i < depth; ++i) {
      uint16_t next = b.Node(nodeUnary, opNot, {0});
      b.Set(node, 0, next);
      node = next;
    }
    b.Set(node, 0, b.Node(nodeContinue, 0, {1}));
    return b.Block();
  };
  auto shared = [](int levels) {  // each level refers twice to the next: 2^levels visits
    FilterBuilder b;
    uint16_t node = b.Node(nodeBinary, opAnd, {0, 0});
    for (int i = 1; i < levels; ++i) {
      uint16_t next = b.Node(nodeBinary, opAnd, {0, 0});
      b.Set(node, 0, next);
      b.Set(node, 1, next);
      node = next;
    }
    uint16_t leaf = b.Node(nodeContinue, 0, {1});
    b.Set(node, 0, leaf);
    b.Set(node, 1, leaf);
    return b.Block();
  };
  // The field's number and name, read as a node of their own, are a leaf
  // of an unknown class (0x300) until the evaluation corrects the number to
  // 3: then they would be a compare node whose operands (the unreachable
  // node behind) were never checked, one of them reaching past the block.
  auto overlapping = [] {
    FilterBuilder b;
    uint16_t root = b.Compare(opGreaterOrEqual);
    uint16_t field = b.Field(0x300, "Amount");
    b.Operands(root, field, static_cast<uint16_t>(field + kFilterNodeHeadSize));
    b.Node(99, 0, {field, 44});  // 44: three bytes before the block's end
    return b.Block();
  };
  struct Case {
    const char* Name;
    std::vector<uint8_t> Block;
  };
  const Case cases[] = {
      {"shorter than its header", with([](auto& b) { PutUInt16LE(&b[2], 6); b.resize(6); })},
      {"node area past the end", with([](auto& b) { PutUInt16LE(&b[kFilterNodeStartOffset], 2000); })},
      {"node area inside the header", with([](auto& b) { PutUInt16LE(&b[kFilterNodeStartOffset], 4); })},
      {"literal area past the end", with([](auto& b) { PutUInt16LE(&b[kFilterLiteralStartOffset], 2000); })},
      {"operand node past the area", with([](auto& b) { PutUInt16LE(&b[kFilterHeaderSize + 8 + 4], 500); })},
      {"node refers to itself", with([](auto& b) { PutUInt16LE(&b[kFilterHeaderSize + 8 + 4], 0); })},
      {"name not terminated", with([&](auto& b) { std::memset(&b[literalStart], 'x', b.size() - literalStart); })},
      {"name past the literals", with([](auto& b) { PutUInt16LE(&b[kFilterHeaderSize + 16 + 8 + 2], 900); })},
      {"constant longer than the literals", with([](auto& b) { PutUInt16LE(&b[kFilterHeaderSize + 28 + 8 + 2], 64); })},
      {"too deep", chain(kMaxFilterDepth + 1)},
      {"too costly", shared(20)},
      {"nodes that overlap", overlapping()},
  };
  OrdersCursor c;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Name);
    hDBIFilter filter = reinterpret_cast<hDBIFilter>(1);
    EXPECT_EQ(c.Table.AddFilter(0, 0, false, k.Block.data(), nullptr, filter), qdErrInvalidParam);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(c.Table.Filters().Count(), 0);
  }
  hDBIFilter filter = nullptr;
  EXPECT_EQ(c.Table.AddFilter(0, 0, false, chain(kMaxFilterDepth - 1).data(), nullptr, filter), qdOK);
  EXPECT_EQ(c.Table.AddFilter(0, 0, false, valid.data(), nullptr, filter), qdOK);
}

}  // namespace
}  // namespace qd
