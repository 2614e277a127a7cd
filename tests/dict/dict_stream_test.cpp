// The dictionary stream: exact bytes of the worked example and of the
// tagged values, the reader's tolerance, and save-then-load.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "dict/QDLLDict.h"
#include "dict/dict_stream.h"

namespace qd {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  return std::vector<uint8_t>(values.begin(), values.end());
}
void Append(std::vector<uint8_t>& to, std::string_view text) { to.insert(to.end(), text.begin(), text.end()); }

TEST(TaggedValues, IntegersTakeTheShortestForm) {
  struct Case {
    int32_t Value;
    std::vector<uint8_t> Encoded;
  };
  const Case cases[] = {
      {4096, Bytes({0x03, 0x00, 0x10})},
      {-1, Bytes({0x02, 0xFF})},
      {100000, Bytes({0x04, 0xA0, 0x86, 0x01, 0x00})},
      {0, Bytes({0x02, 0x00})},
      {127, Bytes({0x02, 0x7F})},
      {128, Bytes({0x03, 0x80, 0x00})},
      {-128, Bytes({0x02, 0x80})},
      {-129, Bytes({0x03, 0x7F, 0xFF})},
      {32767, Bytes({0x03, 0xFF, 0x7F})},
      {-32768, Bytes({0x03, 0x00, 0x80})},
      {32768, Bytes({0x04, 0x00, 0x80, 0x00, 0x00})},
      {INT32_MIN, Bytes({0x04, 0x00, 0x00, 0x00, 0x80})},
  };
  for (const Case& c : cases) {
    TqdTaggedWriter w;
    w.WriteInteger(c.Value);
    EXPECT_EQ(std::vector<uint8_t>(w.Bytes().begin(), w.Bytes().end()), c.Encoded) << c.Value;
    TqdMemoryStream s(c.Encoded);
    TqdTaggedReader r(s);
    EXPECT_EQ(r.ReadInteger(), c.Value);
    EXPECT_EQ(r.Consumed(), c.Encoded.size());
  }
}

TEST(TaggedValues, ReaderAcceptsEveryWidth) {
  TqdMemoryStream s(Bytes({0x04, 0x05, 0x00, 0x00, 0x00, 0x03, 0xFF, 0xFF, 0x02, 0x05}));
  TqdTaggedReader r(s);
  EXPECT_EQ(r.ReadInteger(), 5);
  EXPECT_EQ(r.ReadInteger(), -1);
  EXPECT_EQ(r.ReadInteger(), 5);
}

TEST(TaggedValues, BooleansAndStrings) {
  TqdTaggedWriter w;
  w.WriteBoolean(true);
  w.WriteBoolean(false);
  w.WriteString("QDD");
  w.WriteString(std::string(300, 'x'));  // only short strings are written
  ASSERT_EQ(w.Bytes().size(), 2u + 5 + 257);
  EXPECT_EQ(w.Bytes()[0], 0x09);
  EXPECT_EQ(w.Bytes()[1], 0x08);
  EXPECT_EQ(w.Bytes()[2], 0x06);
  EXPECT_EQ(w.Bytes()[3], 0x03);
  EXPECT_EQ(w.Bytes()[8], 255);

  // Any byte but 0x09 reads as false; the long string tag is read too.
  std::vector<uint8_t> in = Bytes({0x01, 0x09, 0x0C, 0x04, 0x00, 0x00, 0x00});
  Append(in, "abcd");
  TqdMemoryStream s(in);
  TqdTaggedReader r(s);
  EXPECT_FALSE(r.ReadBoolean());
  EXPECT_TRUE(r.ReadBoolean());
  TqdShortString<3> text;
  r.ReadShortString(text);
  EXPECT_EQ(text.View(), "abc");  // cut to the capacity
  EXPECT_EQ(r.Consumed(), in.size());
}

// The one-field dictionary of the worked example, byte for byte.
std::vector<uint8_t> OneFieldStream() {
  std::vector<uint8_t> b = Bytes({0x08, 0x02, 0x01, 0x06, 0x12});
  Append(b, "Data/DataDict File");
  b.insert(b.end(), {0x06, 0x03});
  Append(b, "QDD");
  b.insert(b.end(), {0x03, 0x00, 0x10, 0x02, 0x00, 0x02, 0x01, 0x06, 0x02});
  Append(b, "ID");
  b.insert(b.end(), {0x06, 0x00, 0x02, 0x0A, 0x02, 0x00, 0x02, 0x00, 0x02, 0x04, 0x02, 0x08, 0x08, 0x08,
                     0x02, 0x04, 0x02, 0x01});
  return b;
}

TEST(DictStream, OneFieldDictionaryIs57Bytes) {
  TqdDataDictionary d(4096);
  d.AddField("ID", "", fkInt32, 10, 0, false);
  TqdMemoryStream s;
  d.SaveToStream(s);
  EXPECT_EQ(s.Size(), 57u);
  EXPECT_EQ(std::vector<uint8_t>(s.Bytes().begin(), s.Bytes().end()), OneFieldStream());
  EXPECT_EQ(s.Position(), 57u);
}

TEST(DictStream, SaveAppendsAtThePosition) {
  TqdDataDictionary d;
  d.AddField("ID", "", fkInt32, 10, 0, false);
  TqdMemoryStream s(Bytes({1, 2, 3, 4}));
  s.Seek(4);
  d.SaveToStream(s);
  EXPECT_EQ(s.Size(), 61u);
  EXPECT_EQ(s.Position(), 61u);
  EXPECT_EQ(s.Bytes()[4], 0x08);
}

TEST(DictStream, LoadStopsExactlyBehindTheDictionary) {
  std::vector<uint8_t> b = Bytes({0xAA, 0xBB, 0xCC, 0xDD});  // e.g. a cursor id in front
  std::vector<uint8_t> dict = OneFieldStream();
  b.insert(b.end(), dict.begin(), dict.end());
  b.insert(b.end(), {0x07, 0x00, 0x00, 0x00});  // and the chosen index behind
  TqdMemoryStream s(b);
  s.Seek(4);
  TqdDataDictionary d;
  d.LoadFromStream(s);
  EXPECT_EQ(s.Position(), 4u + 57u);
  EXPECT_EQ(d.FieldCount(), 1);
  EXPECT_EQ(d.FieldDesc(0).Name.View(), "ID");
  EXPECT_EQ(d.FieldDesc(0).Units, 10);
  EXPECT_EQ(d.LogicalRecordLength(), 4);
  EXPECT_EQ(d.IndexCount(), 1);
  EXPECT_EQ(d.FileDesc(0).Extension.View(), "QDD");
}

// What a descriptor says, for comparing two of them.
auto Parts(const TqdDictField& f) {
  return std::tuple(f.Name.Str(), f.Description.Str(), f.Units, f.Decimals, f.Offset, f.Length, f.FieldType,
                    f.Required, f.Validity != nullptr);
}
auto Parts(const TqdDictIndex& i) {
  return std::tuple(i.Name.Str(), i.Description.Str(), i.FileNumber, i.KeyLength, i.FieldCount, i.FieldNumbers,
                    i.AllowDuplicates, i.Ascending, i.CaseInsensitive);
}

TEST(DictStream, SaveThenLoadReproducesTheDictionary) {
  TqdDataDictionary d(8192);
  d.SetTableFlag(true);
  d.AddFile("blob file", "BLB", 16384, kFileTypeBlob);
  d.AddFile("index file", "IDX", 4096, 7);
  d.AddField("ID", "key", fkAutoInc, 0, 0, true);
  d.AddField("Name", "a name", fkShortString, 30, 0, true);
  d.AddField("Price", "", fkCurrency, 12, 4, false);
  d.AddField("Born", "", fkDate, 0, 0, false);
  d.AddField("Note", "", fkBlobMemo, 0, 0, false);
  TqdDictValidity v;
  v.HasMinimum = v.HasMaximum = v.HasDefault = true;
  for (int k = 0; k < 31; ++k) {
    v.MinimumValue[k] = static_cast<uint8_t>(k);
    v.MaximumValue[k] = static_cast<uint8_t>(100 + k);
    v.DefaultValue[k] = static_cast<uint8_t>(200 + k);
  }
  v.Picture.Assign("&&&");
  d.SetFieldValidity(1, v);
  TqdDictValidity onlyMax;
  onlyMax.HasMaximum = true;
  onlyMax.MaximumValue[7] = 0x55;
  d.SetFieldValidity(2, onlyMax);
  const int32_t byName[] = {1, 3};
  d.AddCompositeIndex("ByName", "names", 2, byName, true, false, true);
  d.AddUserIndex("Custom", "user key", 0, 300, false, true, false);

  TqdMemoryStream s;
  d.SaveToStream(s);
  s.Seek(0);
  TqdDataDictionary loaded;
  loaded.LoadFromStream(s);
  EXPECT_EQ(s.Position(), s.Size());

  EXPECT_TRUE(loaded.TableFlag());
  ASSERT_EQ(loaded.FileCount(), 3);
  for (int32_t n = 0; n < 3; ++n) {
    EXPECT_EQ(loaded.FileDesc(n).Description, d.FileDesc(n).Description);
    EXPECT_EQ(loaded.FileDesc(n).Extension, d.FileDesc(n).Extension);
    EXPECT_EQ(loaded.FileDesc(n).BlockSize, d.FileDesc(n).BlockSize);
    EXPECT_EQ(loaded.FileDesc(n).FileType, d.FileDesc(n).FileType);
    EXPECT_EQ(loaded.FileDesc(n).Number, n);
  }
  EXPECT_EQ(loaded.BlobFileNumber(), 1);
  EXPECT_EQ(loaded.DataBlockSize(), 8192);
  ASSERT_EQ(loaded.FieldCount(), 5);
  for (int32_t n = 0; n < 5; ++n) {
    EXPECT_EQ(loaded.FieldDesc(n).Number, n);
    EXPECT_EQ(Parts(loaded.FieldDesc(n)), Parts(d.FieldDesc(n)));
  }
  const TqdDictValidity* lv = loaded.FieldValidity(1);
  ASSERT_NE(lv, nullptr);
  EXPECT_EQ(lv->MinimumValue, v.MinimumValue);
  EXPECT_EQ(lv->MaximumValue, v.MaximumValue);
  EXPECT_EQ(lv->DefaultValue, v.DefaultValue);
  EXPECT_EQ(lv->Picture.View(), "&&&");
  const TqdDictValidity* lmax = loaded.FieldValidity(2);
  ASSERT_NE(lmax, nullptr);
  EXPECT_FALSE(lmax->HasMinimum);
  EXPECT_EQ(lmax->MaximumValue, onlyMax.MaximumValue);
  EXPECT_EQ(loaded.LogicalRecordLength(), d.LogicalRecordLength());
  ASSERT_EQ(loaded.IndexCount(), 3);
  EXPECT_EQ(loaded.IndexName(0), "Seq. Access Index");
  for (int32_t n = 1; n < 3; ++n) {
    EXPECT_EQ(loaded.IndexDesc(n).Number, n);
    EXPECT_EQ(Parts(loaded.IndexDesc(n)), Parts(d.IndexDesc(n)));
  }

  // Saving the loaded dictionary gives the same bytes again.
  TqdMemoryStream again;
  loaded.SaveToStream(again);
  EXPECT_EQ(std::vector<uint8_t>(again.Bytes().begin(), again.Bytes().end()),
            std::vector<uint8_t>(s.Bytes().begin(), s.Bytes().end()));
}

TEST(DictStream, SaveWritesNothingWhenValidateFails) {
  TqdDataDictionary d;
  TqdMemoryStream s;
  EXPECT_THROW(d.SaveToStream(s), EqdException);
  EXPECT_EQ(s.Size(), 0u);
}

TEST(DictStream, LoadReplacesEverythingButIndexZero) {
  TqdDataDictionary d;
  d.AddFile("", "BLB", 4096, kFileTypeBlob);
  d.AddField("Old", "", fkInt32, 0, 0, false);
  d.AddUserIndex("OldIndex", "", 0, 4, true, true, true);
  TqdMemoryStream s(OneFieldStream());
  d.LoadFromStream(s);
  EXPECT_EQ(d.FileCount(), 1);
  EXPECT_EQ(d.BlobFileNumber(), 0);
  EXPECT_EQ(d.FieldNumberOf("Old"), -1);
  EXPECT_EQ(d.IndexCount(), 1);
  EXPECT_EQ(d.IndexName(0), "Seq. Access Index");
}

TEST(DictStream, OverlongStringsAreCutToTheirCapacity) {
  TqdTaggedWriter w;
  w.WriteBoolean(false);
  w.WriteInteger(1);
  w.WriteString(std::string(100, 'd'));
  w.WriteString("LONGEXT");
  w.WriteInteger(4096);
  w.WriteInteger(0);
  w.WriteInteger(1);
  // A long-string tag for the name.
  std::vector<uint8_t> b(w.Bytes().begin(), w.Bytes().end());
  b.insert(b.end(), {0x0C, 40, 0, 0, 0});
  b.insert(b.end(), 40, 'n');
  TqdTaggedWriter rest;
  rest.WriteString("");
  for (int32_t v : {10, 0, 0, 4, int32_t{fkInt32}}) rest.WriteInteger(v);
  rest.WriteBoolean(false);
  rest.WriteBoolean(false);
  rest.WriteInteger(4);
  rest.WriteInteger(1);
  b.insert(b.end(), rest.Bytes().begin(), rest.Bytes().end());
  TqdMemoryStream s(b);
  TqdDataDictionary d;
  d.LoadFromStream(s);
  EXPECT_EQ(d.FileDesc(0).Description.View(), std::string(63, 'd'));
  EXPECT_EQ(d.FileDesc(0).Extension.View(), "LON");
  EXPECT_EQ(d.FieldDesc(0).Name.View(), std::string(31, 'n'));
  EXPECT_EQ(s.Position(), b.size());
}

}  // namespace
}  // namespace qd
