// LoadFromStream over streams a faulty or hostile peer could send: each is
// refused with a read error, leaves the dictionary cleared, and is never
// read past its end (the sanitizer build checks the last part).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "dict/QDLLDict.h"
#include "dict/dict_stream.h"

namespace qd {
namespace {

void WriteFiles(TqdTaggedWriter& w, int32_t count) {
  w.WriteBoolean(false);
  w.WriteInteger(count);
  for (int32_t n = 0; n < count; ++n) {
    w.WriteString("file");
    w.WriteString("F" + std::to_string(n));
    w.WriteInteger(4096);
    w.WriteInteger(n == 0 ? 0 : 5);
  }
}

// The units default to the ones a field of the type and length has.
int32_t UnitsFor(int32_t type, int32_t length) {
  if (type == fkByteArray) return length;
  if (type >= fkShortString && type <= fkNullStringAlt) return length - 1;
  return 10;
}

void WriteField(TqdTaggedWriter& w, int32_t offset, int32_t length, int32_t type = fkInt32,
                bool withMinimum = false, int32_t units = -1) {
  w.WriteString("F" + std::to_string(offset));
  w.WriteString("");
  if (units < 0) units = UnitsFor(type, length);
  for (int32_t v : {units, 0, offset, length, type}) w.WriteInteger(v);
  w.WriteBoolean(false);
  w.WriteBoolean(withMinimum);
  if (!withMinimum) return;
  w.WriteString("pic");
  w.WriteBoolean(true);
  w.WriteBoolean(false);
  w.WriteBoolean(false);
  w.WriteRaw(std::vector<uint8_t>(static_cast<size_t>(length), 0x41).data(), static_cast<size_t>(length));
}

// One file, two fkInt32 fields, record length 8.
void WriteTwoFields(TqdTaggedWriter& w) {
  WriteFiles(w, 1);
  w.WriteInteger(2);
  WriteField(w, 0, 4);
  WriteField(w, 4, 4);
  w.WriteInteger(8);
}

void WriteIndex(TqdTaggedWriter& w, int32_t keyLength, std::vector<int32_t> fields,
                bool userDefined = false) {
  w.WriteString("I" + std::to_string(keyLength));
  w.WriteString("");
  w.WriteInteger(0);
  w.WriteInteger(keyLength);
  w.WriteInteger(userDefined ? -1 : static_cast<int32_t>(fields.size()));
  if (!userDefined) {
    for (int32_t f : fields) w.WriteInteger(f);
  }
  w.WriteBoolean(true);
  w.WriteBoolean(true);
  w.WriteBoolean(false);
}

// A stream of one file and the one field given, cut behind the field.
std::function<void(TqdTaggedWriter&)> OneField(int32_t offset, int32_t length, int32_t type = fkInt32,
                                               bool withMinimum = false, int32_t units = -1) {
  return [=](TqdTaggedWriter& w) {
    WriteFiles(w, 1);
    w.WriteInteger(1);
    WriteField(w, offset, length, type, withMinimum, units);
  };
}

struct BadStream {
  const char* What;
  std::function<void(TqdTaggedWriter&)> Write;
  std::string Message;
};

const std::string kBad = "Invalid dictionary stream: ";

const BadStream kBadStreams[] = {
    {"empty stream", [](TqdTaggedWriter&) {}, "Stream read error"},
    {"integer with a wrong tag", [](TqdTaggedWriter& w) { w.WriteRaw("\x08\x05\x01", 3); },
     "Invalid property value"},
    {"string with a wrong tag",
     [](TqdTaggedWriter& w) {
       w.WriteBoolean(false);
       w.WriteInteger(1);
       w.WriteInteger(7);
     },
     "Invalid property value"},
    {"long string with a negative length", [](TqdTaggedWriter& w) { w.WriteRaw("\x08\x02\x01\x0C\xFF\xFF\xFF\xFF", 8); },
     "Invalid property value"},
    {"long string longer than the stream", [](TqdTaggedWriter& w) { w.WriteRaw("\x08\x02\x01\x0C\xFF\xFF\xFF\x7F" "abc", 11); },
     "Stream read error"},
    {"short string longer than the stream", [](TqdTaggedWriter& w) { w.WriteRaw("\x08\x02\x01\x06\x09" "abc", 8); },
     "Stream read error"},
    {"negative file count", [](TqdTaggedWriter& w) { WriteFiles(w, -1); }, kBad + "file count -1 outside 0..258"},
    {"absurd file count", [](TqdTaggedWriter& w) { WriteFiles(w, 100000); }, kBad + "file count 100000 outside 0..258"},
    {"file type beyond a byte",
     [](TqdTaggedWriter& w) {
       w.WriteBoolean(false);
       w.WriteInteger(1);
       w.WriteString("");
       w.WriteString("QDD");
       w.WriteInteger(4096);
       w.WriteInteger(256);
     },
     kBad + "file type 256 is not a byte"},
    {"negative field count",
     [](TqdTaggedWriter& w) {
       WriteFiles(w, 1);
       w.WriteInteger(-3);
     },
     kBad + "field count -3 outside 0..29095"},
    {"more fields than fit the largest block",
     [](TqdTaggedWriter& w) {
       WriteFiles(w, 1);
       w.WriteInteger(29096);
     },
     kBad + "field count 29096 outside 0..29095"},
    {"fewer fields than counted",
     [](TqdTaggedWriter& w) {
       WriteFiles(w, 1);
       w.WriteInteger(3);
       WriteField(w, 0, 4);
     },
     "Stream read error"},
    {"negative field length",
     OneField(0, -4),
     kBad + "field 0 at offset 0 with length -4"},
    {"field beyond the largest block",
     OneField(32766, 4),
     kBad + "field 0 at offset 32766 with length 4"},
    {"field type beyond a byte",
     OneField(0, 4, 300),
     kBad + "field type 300 is not a byte"},
    {"double field of one byte",
     OneField(0, 1, fkDouble),
     kBad + "field 0 of type 11 has length 1"},
    {"text field with more characters than bytes",
     OneField(0, 5, fkShortString, false, 1000),
     kBad + "field 0 of type 46 has length 5"},
    {"byte array with units beyond the cap",
     OneField(0, 0, fkByteArray, false, 0x7FFFFFFF),
     kBad + "field 0 of type 45 has length 0"},
    {"field type that does not exist",
     OneField(0, 4, 30),
     kBad + "field 0 of type 30 has length 4"},
    {"validity values longer than a value area",
     OneField(0, 257, fkByteArray, true),
     kBad + "field 0 has validity values of 257 bytes (at most 256)"},
    {"field behind the record length",
     [](TqdTaggedWriter& w) {
       WriteFiles(w, 1);
       w.WriteInteger(2);
       WriteField(w, 0, 4);
       WriteField(w, 4, 4);
       w.WriteInteger(6);
     },
     kBad + "field 1 ends behind the record length 6"},
    {"negative record length",
     [](TqdTaggedWriter& w) {
       WriteFiles(w, 1);
       w.WriteInteger(0);
       w.WriteInteger(-1);
     },
     kBad + "record length -1 outside 0..32768"},
    {"index count without index 0",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(0);
     },
     kBad + "index count 0 outside 1..256"},
    {"more than 256 indexes",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(257);
     },
     kBad + "index count 257 outside 1..256"},
    {"more than 16 key fields",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(2);
       WriteIndex(w, 4 * 17 + 3, std::vector<int32_t>(17, 0));
     },
     kBad + "index 1 has 17 key fields (1..16)"},
    {"composite index without key fields",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(2);
       WriteIndex(w, 0, {});
     },
     kBad + "index 1 has 0 key fields (1..16)"},
    {"key field that does not exist",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(2);
       WriteIndex(w, 5, {2});
     },
     kBad + "index 1 refers to field 2"},
    {"key length that does not match its fields",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(2);
       WriteIndex(w, 4, {0, 1});
     },
     kBad + "index 1 has key length 4 for key fields of 9 bytes"},
    {"user-defined key of no bytes",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(2);
       WriteIndex(w, 0, {}, true);
     },
     kBad + "index 1 has key length 0 (1..1024)"},
    {"user-defined key too long",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(2);
       WriteIndex(w, 70000, {}, true);
     },
     kBad + "index 1 has key length 70000 (1..1024)"},
    {"fewer indexes than counted",
     [](TqdTaggedWriter& w) {
       WriteTwoFields(w);
       w.WriteInteger(3);
       WriteIndex(w, 9, {0, 1});
     },
     "Stream read error"},
};

void ExpectCleared(const TqdDataDictionary& d) {
  EXPECT_EQ(d.FileCount(), 0);
  EXPECT_EQ(d.FieldCount(), 0);
  EXPECT_EQ(d.IndexCount(), 1);
  EXPECT_EQ(d.LogicalRecordLength(), 0);
  EXPECT_EQ(d.BlobFileNumber(), 0);
  EXPECT_EQ(d.IndexName(0), "Seq. Access Index");
}

TEST(DictBadStream, EveryBadStreamIsRefused) {
  for (const BadStream& c : kBadStreams) {
    SCOPED_TRACE(c.What);
    TqdTaggedWriter w;
    c.Write(w);
    // Hold the bytes in a buffer of exactly their size, so that any read
    // past them is caught by the sanitizer.
    TqdMemoryStream s(w.Bytes().data(), w.Bytes().size());
    s.Buffer().shrink_to_fit();
    TqdDataDictionary d;
    d.AddField("Before", "", fkInt32, 0, 0, false);
    try {
      d.LoadFromStream(s);
      ADD_FAILURE() << "accepted";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
    ExpectCleared(d);
    EXPECT_LE(s.Position(), s.Size());
  }
}

TEST(DictBadStream, AcceptedNeighboursOfTheBadCases) {
  // The limits themselves are accepted.
  TqdTaggedWriter w;
  WriteFiles(w, 1);
  w.WriteInteger(2);
  WriteField(w, 0, 256, fkByteArray, true);
  WriteField(w, 256, 4);
  w.WriteInteger(260);
  w.WriteInteger(3);
  WriteIndex(w, 4 * 16 + 2, std::vector<int32_t>(16, 1));
  WriteIndex(w, 1024, {}, true);
  TqdMemoryStream s(w.Bytes().data(), w.Bytes().size());
  TqdDataDictionary d;
  d.LoadFromStream(s);
  EXPECT_EQ(d.FieldValidity(0)->MinimumValue[255], 0x41);
  EXPECT_EQ(d.IndexKeyLength(1), 66);
  EXPECT_EQ(d.IndexKeyLength(2), 1024);
  EXPECT_EQ(s.Position(), s.Size());
}

// A valid stream with every kind of value in it.
std::vector<uint8_t> RichStream() {
  TqdDataDictionary d;
  d.AddFile("blobs", "BLB", 4096, kFileTypeBlob);
  d.AddField("ID", "", fkInt32, 10, 0, true);
  d.AddField("Name", "name", fkShortString, 20, 0, false);
  TqdDictValidity v;
  v.HasMinimum = v.HasDefault = true;
  v.Picture.Assign("*");
  d.SetFieldValidity(1, v);
  const int32_t keys[] = {1, 0};
  d.AddCompositeIndex("ByName", "", 0, keys, true, true, false);
  d.AddUserIndex("User", "", 1, 8, false, true, false);
  TqdMemoryStream s;
  d.SaveToStream(s);
  return std::vector<uint8_t>(s.Bytes().begin(), s.Bytes().end());
}

TEST(DictBadStream, EveryTruncationIsAStreamReadError) {
  const std::vector<uint8_t> full = RichStream();
  for (size_t size = 0; size < full.size(); ++size) {
    TqdMemoryStream s(full.data(), size);
    s.Buffer().shrink_to_fit();
    TqdDataDictionary d;
    try {
      d.LoadFromStream(s);
      ADD_FAILURE() << "accepted " << size << " bytes";
    } catch (const EReadError& e) {
      EXPECT_EQ(e.Message(), "Stream read error") << size;
    }
    ExpectCleared(d);
  }
}

// Any single byte changed: the dictionary loads and keeps its promises, or
// the stream is refused with a read error.
TEST(DictBadStream, SingleByteDamageNeverBreaksTheDictionary) {
  const std::vector<uint8_t> full = RichStream();
  for (size_t at = 0; at < full.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x0C, 0x7F, 0x80, 0xFF}) {
      std::vector<uint8_t> bytes = full;
      bytes[at] = value;
      TqdMemoryStream s(bytes.data(), bytes.size());
      s.Buffer().shrink_to_fit();
      TqdDataDictionary d;
      try {
        d.LoadFromStream(s);
      } catch (const EReadError&) {
        ExpectCleared(d);
        continue;
      }
      ASSERT_LE(d.LogicalRecordLength(), kMaxBlockSize);
      for (int32_t n = 0; n < d.FieldCount(); ++n) {
        const TqdDictField& f = d.FieldDesc(n);
        ASSERT_LE(f.Offset + f.Length, d.LogicalRecordLength()) << at;
      }
      std::vector<uint8_t> record(static_cast<size_t>(d.RecordSize()), 0x5A);
      for (int32_t i = 0; i < d.IndexCount(); ++i) {
        std::vector<uint8_t> key(static_cast<size_t>(d.IndexKeyLength(i)));
        d.BuildCompositeKey(i, record.data(), key.data());
      }
    }
  }
}

}  // namespace
}  // namespace qd
