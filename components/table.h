// TqdTable: the dataset component for one server table. It joins the tree
// through the proxy it makes and owns (its TableName, DatabaseName and
// SessionName are the proxy's), holds a cursor while open, and builds its
// field and index definitions from what the cursor received of the table's
// dictionary. On a closed table the definitions are read through a
// temporary cursor, inside a database reference, that is closed again.
// Record navigation is not offered.
// Thread rules: the user-interface thread only.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "callif/QDTTBapi.h"
#include "components/blob_stream.h"
#include "components/index_entry.h"
#include "framework/dataset.h"

namespace qd {

class TqdDatabase;
class TqdTableProxy;

class TqdTable final : public TqdDataSet {
 public:
  explicit TqdTable(TqdComponent* owner);
  // Closes the table and frees its proxy.
  ~TqdTable() override;
  std::string_view ClassName() const override { return "TqdTable"; }

  // Read back as the base name: C:\DATA\ORDERS.DAT gives ORDERS.
  const std::string& TableName() const;
  void SetTableName(std::string_view name);
  std::string DatabaseName();
  void SetDatabaseName(std::string_view name);
  const std::string& SessionName() const;
  void SetSessionName(std::string_view name);
  bool Exclusive() const { return exclusive_; }
  void SetExclusive(bool exclusive);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  const std::string& IndexName() const { return indexName_; }
  // On an open table, switches the cursor (54575 for a name it lacks).
  void SetIndexName(std::string_view name);
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(std::string_view names);
  std::string Version() const;
  void SetVersion(std::string_view) {}

  // The named indexes, in index-number order, each with its number.
  void ListIndexes(std::vector<TqdIndexEntry>& list);
  // The names of ListIndexes. A position in this list is not an index
  // number when the table has an index without a name.
  void ListIndexNames(std::vector<std::string>& list);
  // Reads the index (and field) definitions when they are not up to date.
  void UpdateIndexDefs();
  void UpdateFieldDefs();

  // A stream over a BLOB field of the current record (see TqdBlobStream).
  std::unique_ptr<TqdBlobStream> CreateBlobStream(TqdBlobField& field, TqdBlobStreamMode mode, TqdBlobRecord record) {
    return std::make_unique<TqdBlobStream>(*this, field, mode, std::move(record));
  }

  // The cursor while open, else nullptr.
  hDBICur Handle() const { return cursor_; }
  TqdTableProxy& Proxy() { return *proxy_; }
  // The proxy's database, looked up when not yet attached; nullptr when none.
  TqdDatabase* Database();
  int32_t DatabaseOpenCount() const { return databaseOpenCount_; }
  bool Closing() const { return closing_; }
  int32_t RecordSize() const { return recordSize_; }
  int32_t BookmarkSize() const { return bookmarkSize_; }

  // A cursor on the table (tcCreateHandle): a server table that is read
  // only answers 10763, after which ReadOnly is set and the table opened
  // read-only.
  hDBICur CreateHandle(const char* indexName);
  // Counted opens of the database on behalf of this table.
  void OpenDatabaseReference();
  void CloseDatabaseReference();

  void Loaded() override;

 protected:
  void OpenCursor() override;
  void InternalOpen() override;
  void CloseCursor() override;
  void PropertyChanged() override;

 private:
  static constexpr int kKeyBufferCount = 6;
  static constexpr int32_t kKeyBufferExtra = 6;

  // Runs `work` with the held cursor, or with a temporary one inside a
  // database reference that are both closed again.
  void WithCursor(const std::function<void(hDBICur)>& work);
  void BuildFieldDefs(hDBICur cursor);
  void BuildIndexDefs(hDBICur cursor);
  // The index the chosen name or field names stand for: its name and number.
  TqdIndexEntry ChosenIndex();
  void SwitchToChosenIndex();
  void CloseHandle();

  std::unique_ptr<TqdTableProxy> proxy_;
  hDBICur cursor_ = nullptr;
  int32_t databaseOpenCount_ = 0;
  bool closing_ = false;
  bool exclusive_ = false;
  bool readOnly_ = false;
  std::string indexName_;
  std::string indexFieldNames_;
  bool byFieldNames_ = false;  // which of the two was set last
  int32_t recordSize_ = 0;
  int32_t bookmarkSize_ = 0;
  std::array<std::vector<uint8_t>, kKeyBufferCount> keyBuffers_;
};

}  // namespace qd
