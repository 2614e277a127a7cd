// Field and index definitions: lookups by name, number and key fields.
#include <gtest/gtest.h>

#include "framework/definitions.h"

namespace qd {
namespace {

TqdIndexDefs SampleIndexes() {
  TqdIndexDefs defs;
  defs.Add({"Sequential", "", ixExpression});
  defs.Add({"ById", "Id", ixPrimary | ixUnique});
  defs.Add({"", "Name", 0});
  defs.Add({"ByCityName", "City;Name", ixCaseInsensitive});
  return defs;
}

TEST(DefinitionsTest, IndexesAreFoundByNameOrKeyFieldsWithoutRegardToCase) {
  TqdIndexDefs defs = SampleIndexes();
  struct Case {
    const char* text;
    int byName;
    int byFields;
  };
  const Case cases[] = {
      {"byid", 1, -1},  {"Id", -1, 1},          {"NAME", -1, 2},  {"city;NAME", -1, 3},
      {"City", -1, -1}, {"Name;City", -1, -1}, {"", 2, -1},      {"Missing", -1, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(defs.IndexOf(c.text), c.byName) << c.text;
    EXPECT_EQ(FindIndexForFields(defs, c.text), c.byFields) << c.text;
  }
}

TEST(DefinitionsTest, FieldsAreFoundByTheirNumberAndClearingEmptiesTheList) {
  TqdFieldDefs defs;
  defs.Add({"Id", TqdFieldType::ftInteger, 0, true, 1});
  defs.Add({"Name", TqdFieldType::ftString, 30, false, 3});  // field 2 had no counterpart
  EXPECT_EQ(FindFieldByNumber(defs, 3)->Name, "Name");
  EXPECT_EQ(FindFieldByNumber(defs, 2), nullptr);
  EXPECT_EQ(defs.IndexOf("name"), 1);
  defs.Clear();
  EXPECT_EQ(defs.Count(), 0);
}

}  // namespace
}  // namespace qd
