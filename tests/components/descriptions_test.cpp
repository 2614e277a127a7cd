// What the table component makes of a table's description: the field type
// of each logical type, the field definitions of a dictionary and the index
// definitions of its index descriptors.
#include <gtest/gtest.h>

#include "base/endian.h"
#include "components/table_descriptions.h"
#include "dict/QDCLConv.h"
#include "dict/QDLLDict.h"
#include "tests/support/orders_dictionary.h"

namespace qd {
namespace {

using enum TqdFieldType;

TEST(DescriptionsTest, EachLogicalTypeAndSubtypeHasItsFieldType) {
  struct Case {
    uint16_t type;
    uint16_t subtype;
    TqdFieldType expected;
  };
  const Case cases[] = {
      {bdeZString, 0, ftString},          {bdeDate, 0, ftDate},
      {bdeBool, 0, ftBoolean},            {bdeInt16, 0, ftSmallint},
      {bdeInt32, 0, ftInteger},           {bdeInt32, bdeSubAutoInc, ftAutoInc},
      {bdeFloat, 0, ftFloat},             {bdeFloat, bdeSubMoney, ftCurrency},
      {bdeBcd, 0, ftBCD},                 {bdeBytes, 0, ftBytes},
      {bdeTime, 0, ftTime},               {bdeTimeStamp, 0, ftDateTime},
      {bdeUInt16, 0, ftWord},             {bdeUInt32, 0, ftInteger},
      {bdeVarBytes, 0, ftVarBytes},       {kBdeInt64, 0, ftLargeint},
      {bdeBlob, 0, ftBlob},               {bdeBlob, bdeSubBinary, ftBlob},
      {bdeBlob, bdeSubMemo, ftMemo},      {bdeBlob, bdeSubFmtMemo, ftFmtMemo},
      {bdeBlob, bdeSubOleObj, ftParadoxOle}, {bdeBlob, bdeSubGraphic, ftGraphic},
      {bdeBlob, bdeSubDbaseOle, ftDBaseOle}, {bdeBlob, bdeSubTypedBinary, ftTypedBinary},
      {bdeFloatIeee, 0, ftUnknown},       {0, 0, ftUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FieldTypeOf(c.type, c.subtype), c.expected) << c.type << "/" << c.subtype;
  }
}

TEST(DescriptionsTest, FieldDefinitionsKeepASizeOnlyForTextsAndBytes) {
  TqdDataDictionary dict;
  dict.AddField("Id", "", fkAutoInc, 0, 0, true);  // the dictionary never requires an automatic number
  dict.AddField("Name", "", fkShortString, 30, 0, true);
  dict.AddField("Note", "", fkNullString, 12, 0, false);
  dict.AddField("Raw", "", fkByteArray, 8, 0, false);
  dict.AddField("Price", "", fkCurrency, 12, 2, false);
  dict.AddField("Memo", "", fkBlobMemo, 0, 0, false);
  struct Expected {
    const char* name;
    TqdFieldType type;
    int32_t size;
    bool required;
  };
  const Expected expected[] = {
      {"Id", ftAutoInc, 0, false},    {"Name", ftString, 30, true},  {"Note", ftString, 12, false},
      {"Raw", ftBytes, 8, false},     {"Price", ftCurrency, 0, false}, {"Memo", ftMemo, 0, false},
  };
  for (int32_t i = 0; i < dict.FieldCount(); ++i) {
    TqdFieldDef def;
    ASSERT_TRUE(MakeFieldDef(dict.FieldDesc(i), i + 1, def)) << i;
    EXPECT_EQ(def.Name, expected[i].name);
    EXPECT_EQ(def.DataType, expected[i].type) << def.Name;
    EXPECT_EQ(def.Size, expected[i].size) << def.Name;
    EXPECT_EQ(def.Required, expected[i].required) << def.Name;
    EXPECT_EQ(def.FieldNo, i + 1);
  }
  TqdDictField unknown;
  unknown.FieldType = 30;  // not a field type: left out
  TqdFieldDef def;
  EXPECT_FALSE(MakeFieldDef(unknown, 7, def));
}

TEST(DescriptionsTest, IndexDefinitionsNameTheirKeyFieldsAndOptions) {
  auto dict = test::OrdersDictionary();
  TqdFieldDefs fields;
  for (int32_t i = 0; i < dict->FieldCount(); ++i) {
    TqdFieldDef def;
    ASSERT_TRUE(MakeFieldDef(dict->FieldDesc(i), i + 1, def));
    fields.Add(def);
  }
  struct Expected {
    const char* name;
    const char* fields;
    uint8_t options;
  };
  const Expected expected[] = {
      {"Sequential Access Index", "", ixExpression | ixCaseInsensitive | ixUnique},
      {"ById", "Id", ixUnique},
      {"ByName", "Name", ixCaseInsensitive},
      {"ByAmountDesc", "Amount", ixDescending},
      {"ByNameDay", "Name;Day", 0},
  };
  ASSERT_EQ(dict->IndexCount(), 5);
  for (int32_t i = 0; i < dict->IndexCount(); ++i) {
    TqdIndexDescBytes desc = MakeIndexDesc(dict->IndexDesc(i));
    TqdIndexDef def = MakeIndexDef(desc.data(), fields);
    EXPECT_EQ(def.Fields, expected[i].fields) << i;
    EXPECT_EQ(def.Options, expected[i].options) << i;
    if (i > 0) {
      EXPECT_EQ(def.Name, expected[i].name);
    }
  }
  // A primary index, and a name that fills its whole area.
  TqdIndexDescBytes desc{};
  std::fill_n(desc.begin() + kIdxNameOffset, kIdxNameSize, 'N');
  PutUInt16LE(&desc[kIdxPrimaryOffset], kBDETrue);
  PutUInt16LE(&desc[kIdxKeyFieldCountOffset], 1);
  PutUInt16LE(&desc[kIdxKeyFieldsOffset], 1);
  TqdIndexDef primary = MakeIndexDef(desc.data(), fields);
  EXPECT_EQ(primary.Name, std::string(kIdxNameSize, 'N'));
  EXPECT_EQ(primary.Options, ixPrimary);
  EXPECT_EQ(primary.Fields, "Id");
}

}  // namespace
}  // namespace qd
