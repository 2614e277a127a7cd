// Building a dictionary: construction, AddFile, AddField, the two kinds of
// index, their checks in order, and the accessors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/string_ids.h"
#include "dict/QDLLDict.h"
#include "tests/dict/dict_test_util.h"

namespace qd {
namespace {

using test::CatchEqd;

TEST(DictBuild, NewDictionaryHoldsDataFileAndIndexZero) {
  TqdDataDictionary d;
  EXPECT_EQ(d.FileCount(), 1);
  EXPECT_EQ(d.FieldCount(), 0);
  EXPECT_EQ(d.IndexCount(), 1);
  EXPECT_EQ(d.BlobFileNumber(), 0);
  EXPECT_EQ(d.LogicalRecordLength(), 0);
  EXPECT_FALSE(d.TableFlag());
  EXPECT_FALSE(d.Frozen());
  const TqdDictFile& f = d.FileDesc(0);
  EXPECT_EQ(f.Description.View(), "Data/DataDict File");
  EXPECT_EQ(f.Extension.View(), "QDD");
  EXPECT_EQ(f.BlockSize, 4096);
  EXPECT_EQ(f.FileType, kFileTypeData);
  const TqdDictIndex& i = d.IndexDesc(0);
  EXPECT_EQ(i.Name.View(), "Seq. Access Index");
  EXPECT_EQ(i.Description.View(), "Seq. Access Index");
  EXPECT_EQ(i.FileNumber, 0);
  EXPECT_EQ(i.KeyLength, 4);
  EXPECT_TRUE(d.IndexIsUserDefined(0));
  EXPECT_FALSE(i.AllowDuplicates);
  EXPECT_TRUE(i.Ascending);
  EXPECT_TRUE(i.CaseInsensitive);
  auto e = CatchEqd([&] { d.Validate(); });
  EXPECT_EQ(e.Code, gsDictNoFields);
  EXPECT_EQ(e.Message, "Dictionary has no field definitions, it cannot be used until at least one is defined []");
}

TEST(DictBuild, BlockSizeOfConstruction) {
  for (int32_t size : {4096, 8192, 16384, 32768}) EXPECT_EQ(TqdDataDictionary(size).DataBlockSize(), size);
  for (int32_t size : {0, 2048, 4097, 65536, -4096}) {
    auto e = CatchEqd([&] { TqdDataDictionary d(size); });
    EXPECT_EQ(e.Code, gsDictInvalidBlockSize) << size;
    EXPECT_EQ(e.Message, "The block size must be 4KB, 8KB, 16KB or 32KB only [size used: " +
                             std::to_string(size) + "]");
  }
}

TEST(DictBuild, FieldsTakeOffsetsInOrder) {
  TqdDataDictionary d;
  d.AddField("ID", "", fkInt32, 10, 0, false);
  d.AddField("Name", "the name", fkShortString, 10, 0, true);
  d.AddField("Flag", "", fkBoolean, 0, 0, false);
  EXPECT_EQ(d.FieldDesc(0).Offset, 0);
  EXPECT_EQ(d.FieldDesc(1).Offset, 4);
  EXPECT_EQ(d.FieldDesc(1).Length, 11);
  EXPECT_EQ(d.FieldDesc(2).Offset, 15);
  EXPECT_EQ(d.LogicalRecordLength(), 16);
  EXPECT_EQ(d.RecordSize(), 17);
  EXPECT_EQ(d.FieldDesc(1).Number, 1);
  EXPECT_TRUE(d.FieldIsRequired(1));
  EXPECT_EQ(d.FieldNumberOf("name"), 1);
  EXPECT_EQ(d.FieldNumberOf("NAME"), 1);
  EXPECT_EQ(d.FieldNumberOf("Other"), -1);
}

struct LayoutCase {
  TqdFieldKind Kind;
  int32_t Units, Decimals;
  int32_t Length, StoredUnits, StoredDecimals;
};

TEST(DictBuild, FieldLayoutByType) {
  const LayoutCase cases[] = {
      {fkBoolean, 5, 2, 1, 0, 0},        {fkChar, 5, 2, 1, 1, 0},
      {fkWideChar, 5, 2, 2, 1, 0},       {fkUInt8, 7, 2, 1, 3, 0},
      {fkUInt8, 2, 0, 1, 2, 0},          {fkUInt16, 6, 0, 2, 5, 0},
      {fkUInt32, 11, 0, 4, 10, 0},       {fkInt8, -1, 0, 1, 3, 0},
      {fkInt16, 4, 0, 2, 4, 0},          {fkInt32, -1, 0, 4, 10, 0},
      {fkInt32, 10, 0, 4, 10, 0},        {fkInt32, 7, 3, 4, 7, 0},
      {fkAutoInc, 3, 1, 4, 10, 0},       {fkSingle, 7, 2, 4, 7, 2},
      {fkDouble, 15, 4, 8, 15, 4},       {fkExtended, 18, 5, 10, 18, 5},
      {fkComp, 19, 0, 8, 19, 0},         {fkCurrency, 12, 4, 8, 12, 4},
      {fkDate, 8, 1, 4, 0, 0},           {fkTime, 8, 1, 4, 0, 0},
      {fkDateTime, 8, 1, 8, 0, 0},       {fkBlob, 8, 1, 4, 0, 0},
      {fkBlobTypedBinary, 8, 1, 4, 0, 0}, {fkByteArray, 12, 1, 12, 12, 0},
      {fkShortString, 20, 1, 21, 20, 0}, {fkShortStringAlt, 20, 0, 21, 20, 0},
      {fkNullString, 20, 0, 21, 20, 0},  {fkNullStringAlt, 20, 0, 21, 20, 0},
      {fkWideString, 20, 0, 42, 20, 0},
  };
  for (const LayoutCase& c : cases) {
    TqdDataDictionary d;
    d.AddField("F", "", c.Kind, c.Units, c.Decimals, false);
    const TqdDictField& f = d.FieldDesc(0);
    SCOPED_TRACE(static_cast<int>(c.Kind));
    EXPECT_EQ(f.Length, c.Length);
    EXPECT_EQ(f.Units, c.StoredUnits);
    EXPECT_EQ(f.Decimals, c.StoredDecimals);
    EXPECT_EQ(f.FieldType, c.Kind);
  }
}

TEST(DictBuild, AutoIncIsNeverRequired) {
  TqdDataDictionary d;
  d.AddField("A", "", fkAutoInc, 0, 0, true);
  EXPECT_FALSE(d.FieldIsRequired(0));
}

TEST(DictBuild, AddFieldChecksInOrder) {
  struct Case {
    const char* Name;
    int FieldType;
    int32_t Units;
    bool Frozen;
    int32_t Code;
    const char* Message;
  };
  const Case cases[] = {
      {"NAME", 99, 0, true, gsDictTableBuilt, "Once a table has been built, cannot modify its dictionary []"},
      {"NAME", 99, 0, false, gsDictDuplicateFieldName, "There is a duplicate field name in the dictionary [, field NAME]"},
      {"Other", 25, 0, false, gsDictUnknownFieldType, "Unknown field type encountered in a case statement [25]"},
      {"Other", 51, 0, false, gsDictUnknownFieldType, "Unknown field type encountered in a case statement [51]"},
      {"Other", fkShortString, -1, false, gsDictInvalidParameter, "Invalid parameter passed to routine [, parameter -1]"},
      {"Other", fkByteArray, 32769, false, gsDictInvalidParameter, "Invalid parameter passed to routine [, parameter 32769]"},
  };
  for (const Case& c : cases) {
    TqdDataDictionary d;
    d.AddField("Name", "", fkInt32, 0, 0, false);
    d.SetFrozen(c.Frozen);
    auto e = CatchEqd([&] { d.AddField(c.Name, "", static_cast<uint8_t>(c.FieldType), c.Units, 0, false); });
    EXPECT_EQ(e.Code, c.Code) << c.Message;
    EXPECT_EQ(e.Message, c.Message);
    EXPECT_EQ(d.FieldCount(), 1);
    EXPECT_EQ(d.LogicalRecordLength(), 4);
  }
}

TEST(DictBuild, AddFileCutsExtensionAndNumbersFiles) {
  TqdDataDictionary d;
  EXPECT_EQ(d.AddFile("blobs", "abcd", 8192, kFileTypeBlob), 1);
  EXPECT_EQ(d.FileDesc(1).Extension.View(), "abc");
  EXPECT_EQ(d.BlobFileNumber(), 1);
  EXPECT_EQ(d.AddFile("index", "qdd", 4096, 5), 2);  // other types are kept as given
  EXPECT_EQ(d.FileDesc(2).FileType, 5);
  EXPECT_EQ(d.FileCount(), 3);
}

TEST(DictBuild, AddFileChecksInOrder) {
  struct Case {
    const char* Extension;
    int32_t BlockSize;
    uint8_t Type;
    bool Frozen;
    bool WithBlob;
    int32_t Code;
    const char* Message;
  };
  const Case cases[] = {
      {"", 0, kFileTypeData, true, false, gsDictTableBuilt, "Once a table has been built, cannot modify its dictionary []"},
      {"", 4096, kFileTypeBlob, false, false, gsDictInvalidExtension,
       "Extension is invalid: can only have a-z, A-Z, 0-9, or _ characters, must have 1, 2 or 3 chars [, ext ]"},
      {"a.b", 0, kFileTypeBlob, false, false, gsDictInvalidExtension,
       "Extension is invalid: can only have a-z, A-Z, 0-9, or _ characters, must have 1, 2 or 3 chars [, ext a.b]"},
      {"BLB", 1000, kFileTypeData, false, false, gsDictInvalidBlockSize, "The block size must be 4KB, 8KB, 16KB or 32KB only [size used: 1000]"},
      // A second data file is refused before the extension is compared.
      {"QDD", 4096, kFileTypeData, false, false, gsDictDataFileDefined,
       "There can only be one data file per table, and it has already been defined for this dictionary []"},
      {"QDD", 4096, kFileTypeBlob, false, false, gsDictDuplicateExtension, "Extension is already present in the data dictionary [, ext QDD]"},
      {"BL2", 4096, kFileTypeBlob, false, true, gsDictBlobFileDefined, "A BLOB file has already been defined for this dictionary []"},
  };
  for (const Case& c : cases) {
    TqdDataDictionary d;
    if (c.WithBlob) d.AddFile("", "BLB", 4096, kFileTypeBlob);
    d.SetFrozen(c.Frozen);
    const int32_t before = d.FileCount();
    auto e = CatchEqd([&] { d.AddFile("", c.Extension, c.BlockSize, c.Type); });
    EXPECT_EQ(e.Code, c.Code) << c.Message;
    EXPECT_EQ(e.Message, c.Message);
    EXPECT_EQ(d.FileCount(), before);
  }
}

TEST(DictBuild, DataFileCanBeAddedWhenThereIsNoFile) {
  TqdDataDictionary d;
  d.ClearAll(true);
  EXPECT_EQ(d.FileCount(), 0);
  EXPECT_EQ(d.DataBlockSize(), 4096);
  EXPECT_EQ(d.AddFile("data", "DAT", 16384, kFileTypeData), 0);
  EXPECT_EQ(d.DataBlockSize(), 16384);
}

TEST(DictBuild, CompositeKeyLengths) {
  TqdDataDictionary d;
  d.AddField("ID", "", fkInt32, 10, 0, false);
  d.AddField("Name", "", fkShortString, 10, 0, false);
  for (int n = 0; n < 9; ++n) d.AddField("B" + std::to_string(n), "", fkUInt8, 3, 0, false);
  const int32_t idName[] = {0, 1};
  d.AddCompositeIndex("ByIdName", "", 0, idName, true, true, false);
  EXPECT_EQ(d.IndexKeyLength(1), 16);
  std::vector<int32_t> nine = {2, 3, 4, 5, 6, 7, 8, 9, 10};
  d.AddCompositeIndex("ByBytes", "", 0, nine, false, false, true);
  EXPECT_EQ(d.IndexKeyLength(2), 11);
  EXPECT_EQ(d.IndexDesc(2).FieldCount, 9);
  EXPECT_EQ(d.IndexNumberOf("BYBYTES"), 2);
  EXPECT_EQ(d.IndexName(2), "ByBytes");
  EXPECT_FALSE(d.IndexIsUserDefined(2));
}

TEST(DictBuild, AddCompositeIndexChecksInOrder) {
  struct Case {
    const char* Name;
    int32_t File;
    std::vector<int32_t> Fields;
    int32_t Code;
    const char* Message;
  };
  const Case cases[] = {
      {"seq. access index", 9, {7}, gsDictDuplicateIndexName,
       "There is a duplicate index name in the dictionary [, index seq. access index]"},
      {"X", 1, {7}, gsDictFileMissing, "File number does not exist in dictionary [, file 1]"},
      {"X", -1, {0}, gsDictFileMissing, "File number does not exist in dictionary [, file -1]"},
      {"X", 0, std::vector<int32_t>(17, 0), gsDictInvalidParameter, "Invalid parameter passed to routine [, parameter 17]"},
      {"X", 0, {0, 2}, gsDictIndexFieldMissing, "Composite index refers to field number that does not exist [, field 2]"},
      {"X", 0, {-1}, gsDictIndexFieldMissing, "Composite index refers to field number that does not exist [, field -1]"},
  };
  for (const Case& c : cases) {
    TqdDataDictionary d;
    d.AddField("A", "", fkInt32, 0, 0, false);
    d.AddField("B", "", fkInt32, 0, 0, false);
    d.SetFrozen(true);  // not consulted by AddCompositeIndex
    auto e = CatchEqd([&] { d.AddCompositeIndex(c.Name, "", c.File, c.Fields, false, true, false); });
    EXPECT_EQ(e.Code, c.Code) << c.Message;
    EXPECT_EQ(e.Message, c.Message);
    EXPECT_EQ(d.IndexCount(), 1);
  }
}

TEST(DictBuild, AddUserIndexChecks) {
  struct Case {
    bool Frozen;
    int32_t File;
    int32_t KeyLength;
    int32_t Code;  // 0: accepted
    const char* Message;
  };
  const Case cases[] = {
      {true, 5, 0, gsDictTableBuilt, "Once a table has been built, cannot modify its dictionary []"},
      {false, 5, 0, gsDictFileMissing, "File number does not exist in dictionary [, file 5]"},
      {false, 0, 0, gsDictInvalidKeyLength, "The key length for an index should be between 0 and 1024 bytes [passed 0]"},
      {false, 0, 1025, gsDictInvalidKeyLength, "The key length for an index should be between 0 and 1024 bytes [passed 1025]"},
      {false, 0, 65536, gsDictInvalidKeyLength, "The key length for an index should be between 0 and 1024 bytes [passed 65536]"},
      {false, 0, 1024, 0, ""},
      {false, 0, 1, 0, ""},
  };
  for (const Case& c : cases) {
    TqdDataDictionary d;
    d.SetFrozen(c.Frozen);
    auto e = CatchEqd([&] { d.AddUserIndex("U", "user", c.File, c.KeyLength, true, false, false); });
    EXPECT_EQ(e.Code, c.Code) << c.KeyLength;
    EXPECT_EQ(e.Message, c.Message);
    EXPECT_EQ(d.IndexCount(), c.Code == 0 ? 2 : 1);
    if (c.Code == 0) {
      EXPECT_TRUE(d.IndexIsUserDefined(1));
      EXPECT_EQ(d.IndexKeyLength(1), c.KeyLength);
    }
  }
}

TEST(DictBuild, AccessorsCheckNumbers) {
  TqdDataDictionary d;
  d.AddField("A", "", fkInt32, 0, 0, false);
  const std::function<void()> calls[] = {
      [&] { d.FieldDesc(1); },        [&] { d.FieldIsRequired(-1); }, [&] { d.FieldValidity(1); },
      [&] { d.IndexDesc(1); },        [&] { d.IndexKeyLength(1); },   [&] { d.IndexName(-1); },
      [&] { d.IndexIsUserDefined(1); }, [&] { d.FileDesc(1); },
  };
  for (const auto& call : calls) {
    auto e = CatchEqd(call);
    EXPECT_EQ(e.Code, gsDictItemMissing);
    EXPECT_TRUE(e.Message.starts_with("Field, index or file number does not exist in the dictionary [, item "))
        << e.Message;
  }
}

TEST(DictBuild, LongNamesAreCutAndFoundCut) {
  TqdDataDictionary d;
  std::string longName(40, 'x');
  d.AddField(longName, std::string(80, 'd'), fkInt32, 0, 0, false);
  EXPECT_EQ(d.FieldDesc(0).Name.View(), std::string(31, 'x'));
  EXPECT_EQ(d.FieldDesc(0).Description.Length(), 63u);
  EXPECT_EQ(d.FieldNumberOf(longName), 0);
  EXPECT_EQ(CatchEqd([&] { d.AddField(std::string(35, 'X'), "", fkInt32, 0, 0, false); }).Code,
            gsDictDuplicateFieldName);
}

}  // namespace
}  // namespace qd
