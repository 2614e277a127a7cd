// Test stand-ins for the engine-neutral call interface: a cursor that
// serves records from a vector through the read primitives and logs what
// the base asks of it, a recorder of message boxes, and the checks shared by
// the tables of not-supported operations and of property reads.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/endian.h"
#include "callif/QDTTTabl.h"
#include "platform/hooks.h"

namespace qd::test {

// Takes the message boxes shown while it lives.
class BoxRecorder {
 public:
  BoxRecorder() {
    SetMessageBoxHook(
        [this](std::string_view, std::string_view text) { Texts.emplace_back(text); });
  }
  ~BoxRecorder() { SetMessageBoxHook({}); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  static std::string TextFor(std::string_view operation) {
    return "A BDE routine is not supported [" + std::string(operation) + "].";
  }
  std::vector<std::string> Texts;
};

// One operation that is not supported: the name its box shows (nullptr:
// answered quietly, without a box) and a call of it.
template <class Object>
struct NotSupportedCase {
  const char* operation;
  std::function<TqdResult(Object&)> call;
};

// Calls each case on a fresh object from `make`: 12289, as the answer and
// as the object's result, and the box naming the operation.
template <class Object, class Make>
void ExpectNotSupported(const std::vector<NotSupportedCase<Object>>& cases, Make make) {
  for (const NotSupportedCase<Object>& c : cases) {
    SCOPED_TRACE(c.operation == nullptr ? "quietly" : c.operation);
    BoxRecorder boxes;
    std::unique_ptr<Object> object = make();
    EXPECT_EQ(c.call(*object), qdErrNotSupported);
    EXPECT_EQ(object->Result(), qdErrNotSupported);
    std::vector<std::string> expected;
    if (c.operation != nullptr) expected.push_back(BoxRecorder::TextFor(c.operation));
    EXPECT_EQ(boxes.Texts, expected);
  }
}

// One property read into a 10-byte buffer of 0xEE bytes.
struct PropCase {
  uint32_t property;
  uint16_t bufferSize;
  TqdResult result;
  uint16_t length;             // 99: left as it was
  std::vector<uint8_t> bytes;  // the buffer afterwards
};

template <class Object, class Make>
void ExpectPropAnswers(const std::vector<PropCase>& cases, Make make) {
  BoxRecorder boxes;
  for (const PropCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.property << "/" << c.bufferSize);
    std::unique_ptr<Object> object = make();
    std::vector<uint8_t> buffer(10, 0xEE);
    uint16_t length = 99;
    EXPECT_EQ(object->GetProp(c.property, buffer.data(), length, c.bufferSize), c.result);
    EXPECT_EQ(length, c.length);
    EXPECT_EQ(buffer, c.bytes);
  }
  EXPECT_TRUE(boxes.Texts.empty());  // an unknown property is answered quietly
}

// Records hold their 32-bit value in the first 4 bytes. The position runs
// from -1 (before the first record) to the count (after the last); a
// bookmark is the position.
class FakeCursor : public TttBaseTable {
 public:
  FakeCursor(TttCollectionItem* parent, TttCollection* collection, std::vector<int32_t> values,
             std::string_view name = "FAKE", int32_t translationMode = 0)
      : TttBaseTable(parent, collection, name, nullptr, 0, 0, 0, translationMode),
        Values(std::move(values)) {}

  int32_t RecordLength() override { return Length; }
  int32_t BookmarkSize() override { return 4; }
  bool RecordVisible(const uint8_t* record) override {
    return Hidden.count(GetInt32LE(record)) == 0;
  }

  TqdResult ReadNext(int32_t lock, uint8_t* record, uint8_t* properties) override {
    return Move(+1, "next", lock, record, properties);
  }
  TqdResult ReadPrior(int32_t lock, uint8_t* record, uint8_t* properties) override {
    return Move(-1, "prior", lock, record, properties);
  }
  TqdResult ReadCurrent(int32_t lock, uint8_t* record, uint8_t*) override {
    Log.push_back("current:" + std::to_string(lock) + (record == nullptr ? ":nobuffer" : ""));
    if (Position < 0 || Position >= Count()) return SetResult(qdErrNoCurrRec);
    Copy(record);
    return SetResult(qdOK);
  }

  TqdResult GetBookMark(uint8_t* bookmark) override {
    Log.push_back("getbookmark");
    if (Fails("getbookmark")) return SetResult(Failures["getbookmark"]);
    PutInt32LE(bookmark, Position);
    return SetResult(qdOK);
  }
  TqdResult SetToBookmark(const uint8_t* bookmark) override {
    Log.push_back("setbookmark");
    if (Fails("setbookmark")) return SetResult(Failures["setbookmark"]);
    Position = GetInt32LE(bookmark);
    return SetResult(qdOK);
  }
  TqdResult SetToBegin() override {
    Log.push_back("begin");
    if (Fails("begin")) return SetResult(Failures["begin"]);
    Position = -1;
    return SetResult(qdOK);
  }
  TqdResult SetToEnd() override {
    Log.push_back("end");
    Position = Count();
    return SetResult(qdOK);
  }
  TqdResult InsertRecord(int32_t lock, uint8_t* record) override {
    Log.push_back("insert:" + std::to_string(lock));
    if (Inserted.size() == FailInsertAt) return SetResult(Failures["insert"]);
    Inserted.push_back(GetInt32LE(record));
    return SetResult(qdOK);
  }
  TqdResult RelRecordLock(bool all) override {
    Log.push_back(all ? "release:all" : "release:current");
    return SetResult(qdOK);
  }

  std::vector<int32_t> Values;
  std::set<int32_t> Hidden;
  int32_t Position = -1;
  int32_t Length = 4;
  // A read that would land on this position fails with ReadFailure.
  int32_t FailReadAt = -2;
  TqdResult ReadFailure = qdErrNetTimeout;
  size_t FailInsertAt = SIZE_MAX;
  std::map<std::string, TqdResult> Failures;
  std::vector<std::string> Log;
  std::vector<int32_t> Inserted;

 private:
  int32_t Count() const { return static_cast<int32_t>(Values.size()); }
  bool Fails(const std::string& step) const { return Failures.count(step) != 0; }
  void Copy(uint8_t* record) const {
    if (record != nullptr) PutInt32LE(record, Values[static_cast<size_t>(Position)]);
  }
  TqdResult Move(int step, const char* name, int32_t lock, uint8_t* record, uint8_t*) {
    Log.push_back(std::string(name) + ":" + std::to_string(lock) +
                  (record == nullptr ? ":nobuffer" : ""));
    if (Position + step == FailReadAt) return SetResult(ReadFailure);
    Position += step;
    if (Position >= Count()) {
      Position = Count();
      return SetResult(qdErrEOF);
    }
    if (Position < 0) {
      Position = -1;
      return SetResult(qdErrBOF);
    }
    Copy(record);
    return SetResult(qdOK);
  }
};

}  // namespace qd::test
