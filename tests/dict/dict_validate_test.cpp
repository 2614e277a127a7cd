// Validate, Assign and ClearAll.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/string_ids.h"
#include "dict/QDLLDict.h"
#include "dict/dict_stream.h"
#include "tests/dict/dict_test_util.h"

namespace qd {
namespace {

using test::CatchEqd;

// A dictionary with every kind of content: two files, three fields (one
// with a validity check), a composite and a user-defined index.
std::unique_ptr<TqdDataDictionary> MakeSample() {
  auto d = std::make_unique<TqdDataDictionary>();
  d->AddFile("blobs", "BLB", 8192, kFileTypeBlob);
  d->AddField("ID", "identity", fkInt32, 10, 0, true);
  d->AddField("Name", "", fkShortString, 10, 0, false);
  d->AddField("Price", "", fkCurrency, 12, 2, false);
  TqdDictValidity v;
  v.HasMinimum = true;
  v.MinimumValue[0] = 7;
  v.Picture.Assign("###");
  d->SetFieldValidity(0, v);
  const int32_t keys[] = {1, 0};
  d->AddCompositeIndex("ByName", "by name", 0, keys, true, false, true);
  d->AddUserIndex("User", "", 1, 12, false, true, false);
  d->SetTableFlag(true);
  return d;
}

TEST(DictValidate, ChecksInOrder) {
  struct Case {
    const char* What;
    std::function<void(TqdDataDictionary&)> Spoil;
    int32_t Code;
    std::string Message;
  };
  const Case cases[] = {
      {"no fields", [](TqdDataDictionary& d) { d.ClearAll(false); }, gsDictNoFields,
       "Dictionary has no field definitions, it cannot be used until at least one is defined []"},
      {"record too long",
       [](TqdDataDictionary& d) { d.AddField("Big", "", fkByteArray, 4096 - 36 - 20, 0, false); },
       gsDictRecordTooLong,
       "The sum of the field lengths in the dictionary is greater than the maximum record length []"},
      {"too many indexes",
       [](TqdDataDictionary& d) {
         for (int i = 0; i < 254; ++i) d.AddUserIndex("U" + std::to_string(i), "", 0, 4, true, true, true);
       },
       gsDictTooManyIndexes, ""},
      {"index without fields",
       [](TqdDataDictionary& d) { d.AddCompositeIndex("Empty", "", 0, {}, true, true, true); },
       gsDictIndexWithoutFields, "There must be at least one field in a composite index []"},
      {"duplicate index name",
       [](TqdDataDictionary& d) { d.AddUserIndex("BYNAME", "", 0, 4, true, true, true); },
       gsDictDuplicateIndexName, "There is a duplicate index name in the dictionary [, index BYNAME]"},
  };
  for (const Case& c : cases) {
    auto d = MakeSample();
    c.Spoil(*d);
    auto e = CatchEqd([&] { d->Validate(); });
    EXPECT_EQ(e.Code, c.Code) << c.What;
    EXPECT_EQ(e.Message, c.Message) << c.What;
  }
}

TEST(DictValidate, RecordMayTakeBlockLessThirtySixBytes) {
  TqdDataDictionary d;
  // 4059 field bytes and one null byte: 4060 = 4096 - 36.
  d.AddField("Big", "", fkByteArray, 4059, 0, false);
  EXPECT_NO_THROW(d.Validate());
  d.AddField("One", "", fkBoolean, 0, 0, false);
  EXPECT_EQ(CatchEqd([&] { d.Validate(); }).Code, gsDictRecordTooLong);
}

TEST(DictValidate, OfTwoEqualFieldNamesTheSecondIsReported) {
  // Only a stream can bring two equal names into a dictionary.
  TqdTaggedWriter w;
  w.WriteBoolean(false);
  w.WriteInteger(0);
  w.WriteInteger(2);
  for (const char* name : {"Name", "NAME"}) {
    w.WriteString(name);
    w.WriteString("");
    for (int32_t v : {10, 0, name[1] == 'a' ? 0 : 4, 4, int32_t{fkInt32}}) w.WriteInteger(v);
    w.WriteBoolean(false);
    w.WriteBoolean(false);
  }
  w.WriteInteger(8);
  w.WriteInteger(1);
  TqdMemoryStream s(w.Bytes().data(), w.Bytes().size());
  TqdDataDictionary d;
  d.LoadFromStream(s);
  auto e = CatchEqd([&] { d.Validate(); });
  EXPECT_EQ(e.Code, gsDictDuplicateFieldName);
  EXPECT_EQ(e.Message, "There is a duplicate field name in the dictionary [, field NAME]");
}

TEST(DictValidate, RecomputesCompositeKeyLengths) {
  auto d = MakeSample();
  EXPECT_EQ(d->IndexKeyLength(1), 11 + 4 + 1);
  d->Validate();
  EXPECT_EQ(d->IndexKeyLength(1), 16);
}

TEST(DictAssign, CopiesEverythingAndRecomputes) {
  auto source = MakeSample();
  TqdDataDictionary d(8192);
  d.AddField("Old", "", fkInt32, 0, 0, false);
  d.Assign(source.get());
  EXPECT_TRUE(d.TableFlag());
  ASSERT_EQ(d.FileCount(), 2);
  EXPECT_EQ(d.FileDesc(0).BlockSize, 4096);
  EXPECT_EQ(d.FileDesc(1).Extension.View(), "BLB");
  EXPECT_EQ(d.BlobFileNumber(), 1);
  ASSERT_EQ(d.FieldCount(), 3);
  EXPECT_EQ(d.FieldDesc(2).Offset, 15);
  EXPECT_EQ(d.FieldDesc(2).Decimals, 2);
  EXPECT_EQ(d.LogicalRecordLength(), 23);
  ASSERT_NE(d.FieldValidity(0), nullptr);
  EXPECT_EQ(d.FieldValidity(0)->MinimumValue[0], 7);
  EXPECT_EQ(d.FieldValidity(0)->Picture.View(), "###");
  EXPECT_NE(d.FieldValidity(0), source->FieldValidity(0));  // a copy
  EXPECT_EQ(d.FieldValidity(1), nullptr);
  ASSERT_EQ(d.IndexCount(), 3);
  EXPECT_EQ(d.IndexDesc(1).FieldCount, 2);
  EXPECT_EQ(d.IndexDesc(1).FieldNumbers[0], 1);
  EXPECT_EQ(d.IndexKeyLength(1), 16);
  EXPECT_FALSE(d.IndexDesc(1).Ascending);
  EXPECT_TRUE(d.IndexDesc(1).CaseInsensitive);
  EXPECT_TRUE(d.IndexIsUserDefined(2));
  EXPECT_EQ(d.IndexKeyLength(2), 12);
  EXPECT_EQ(d.IndexDesc(2).FileNumber, 1);
}

TEST(DictAssign, RecomputesOffsetsTakenFromAStream) {
  // A peer's stream may leave gaps between fields; a copy packs them.
  TqdTaggedWriter w;
  w.WriteBoolean(false);
  w.WriteInteger(0);
  w.WriteInteger(2);
  for (int32_t offset : {2, 10}) {
    w.WriteString("F" + std::to_string(offset));
    w.WriteString("");
    for (int32_t v : {10, 0, offset, 4, int32_t{fkInt32}}) w.WriteInteger(v);
    w.WriteBoolean(false);
    w.WriteBoolean(false);
  }
  w.WriteInteger(20);
  w.WriteInteger(1);
  TqdMemoryStream s(w.Bytes().data(), w.Bytes().size());
  TqdDataDictionary loaded;
  loaded.LoadFromStream(s);
  EXPECT_EQ(loaded.FieldDesc(1).Offset, 10);
  EXPECT_EQ(loaded.RecordSize(), 21);
  TqdDataDictionary copy;
  copy.Assign(&loaded);
  EXPECT_EQ(copy.FieldDesc(0).Offset, 0);
  EXPECT_EQ(copy.FieldDesc(1).Offset, 4);
  EXPECT_EQ(copy.LogicalRecordLength(), 8);
  EXPECT_EQ(copy.FileCount(), 0);
}

TEST(DictAssign, RefusesWhatIsNotADictionary) {
  TqdDataDictionary d;
  d.AddField("Kept", "", fkInt32, 0, 0, false);
  struct Other : TqdObject {};
  Other other;
  for (const TqdObject* source : {static_cast<const TqdObject*>(&other), static_cast<const TqdObject*>(nullptr)}) {
    auto e = CatchEqd([&] { d.Assign(source); });
    EXPECT_EQ(e.Code, gsDictAssignNotDictionary);
    EXPECT_EQ(e.Message, "Attempted to assign an object that wasn't a dictionary to a dictionary object []");
    EXPECT_EQ(d.FieldCount(), 1);
  }
  d.SetFrozen(true);
  TqdDataDictionary source;
  EXPECT_EQ(CatchEqd([&] { d.Assign(&source); }).Code, gsDictTableBuilt);
  EXPECT_EQ(d.FieldCount(), 1);
}

TEST(DictAssign, FailureOnTheWayLeavesDictionaryCleared) {
  // AddUserIndex does not check names, so a composite index re-added behind
  // a user-defined one of the same name fails in AddCompositeIndex.
  TqdDataDictionary source;
  source.AddField("A", "", fkInt32, 0, 0, false);
  source.AddUserIndex("Twice", "", 0, 4, true, true, true);
  const int32_t keys[] = {0};
  source.AddCompositeIndex("Other", "", 0, keys, true, true, true);
  source.SetIndexName(2, "TWICE");
  TqdDataDictionary d;
  d.AddField("Old", "", fkInt32, 0, 0, false);
  auto e = CatchEqd([&] { d.Assign(&source); });
  EXPECT_EQ(e.Code, gsDictDuplicateIndexName);
  EXPECT_EQ(e.Message, "There is a duplicate index name in the dictionary [, index TWICE]");
  EXPECT_EQ(d.FileCount(), 0);
  EXPECT_EQ(d.FieldCount(), 0);
  EXPECT_EQ(d.IndexCount(), 1);
  EXPECT_EQ(d.LogicalRecordLength(), 0);
}

TEST(DictAssign, AssignToItselfKeepsContent) {
  auto d = MakeSample();
  d->Assign(d.get());
  EXPECT_EQ(d->FieldCount(), 3);
  EXPECT_EQ(d->IndexCount(), 3);
  EXPECT_EQ(d->FileCount(), 2);
}

TEST(DictClearAll, KeepsIndexZeroAndFileZeroOnRequest) {
  auto d = MakeSample();
  d->ClearAll(false);
  EXPECT_EQ(d->FieldCount(), 0);
  EXPECT_EQ(d->IndexCount(), 1);
  EXPECT_EQ(d->IndexName(0), "Seq. Access Index");
  EXPECT_EQ(d->FileCount(), 1);
  EXPECT_EQ(d->LogicalRecordLength(), 0);
  // The BLOB file went with the others, so a new one may be added.
  EXPECT_EQ(d->BlobFileNumber(), 0);
  EXPECT_EQ(d->AddFile("", "BL2", 4096, kFileTypeBlob), 1);
  d->ClearAll(true);
  EXPECT_EQ(d->FileCount(), 0);
  d->ClearAll(true);
  EXPECT_EQ(d->FileCount(), 0);
}

}  // namespace
}  // namespace qd
