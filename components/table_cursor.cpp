// The table's cursor: the database references it holds, obtaining and
// releasing a cursor, opening and closing, and the chosen index.
#include <array>

#include "base/endian.h"
#include "callif/QDClEng.h"
#include "components/QDDB.h"
#include "components/errors.h"
#include "components/flag_guard.h"
#include "components/table.h"
#include "components/table_descriptions.h"
#include "components/with_undo.h"
#include "dict/bde_desc.h"

namespace qd {

void TqdTable::OpenDatabaseReference() {
  TqdDatabase* database = Database();
  if (database == nullptr) RaiseNodeError(this, dsTableHasNoDatabase);
  if (databaseOpenCount_ == 0) database->SetActive(true);
  ++databaseOpenCount_;
}

void TqdTable::CloseDatabaseReference() {
  if (databaseOpenCount_ == 0) RaiseNodeError(this, dsDatabaseRefCount);
  if (--databaseOpenCount_ > 0 || proxy_->DatabaseDestroyed()) return;
  if (TqdDBListItem* database = proxy_->AttachedParent()) database->SetActive(false);
}

hDBICur TqdTable::CreateHandle(const char* indexName) {
  if (TableName().empty()) RaiseNodeError(this, dsNoTableName);
  TqdDatabase* database = Database();
  if (database == nullptr) RaiseNodeError(this, dsTableHasNoDatabase);
  for (;;) {
    hDBICur cursor = nullptr;
    TqdResult result = ClientEngine()->OpenTable(
        database->ClientDatabase(), TableName().c_str(), nullptr, indexName, nullptr, 0,
        readOnly_ ? dbiREADONLY : dbiREADWRITE, exclusive_ ? dbiOPENEXCL : dbiOPENSHARED, xltFIELD, false, nullptr,
        cursor);
    if (result == qdErrTableReadOnly) {
      if (readOnly_) RaiseNodeError(this, dsReadOnlyWhenReadOnly);
      // Set directly: the property would close the proxy this open holds.
      readOnly_ = true;
      continue;
    }
    CheckResult(result);
    return cursor;
  }
}

void TqdTable::OpenCursor() {
  OpenDatabaseReference();
  proxy_->SetActive(true);
  if (TableName().empty()) RaiseNodeError(this, dsNoTableName);
  cursor_ = CreateHandle(nullptr);
  if (cursor_ == nullptr) RaiseNodeError(this, dsNoCursorHandle);
  IndexDefs().Updated = false;
  if (indexName_.empty() && indexFieldNames_.empty()) return;
  try {
    SwitchToChosenIndex();
  } catch (...) {
    CloseHandle();
    throw;
  }
}

void TqdTable::InternalOpen() {
  TqdClientEngine& engine = *ClientEngine();
  std::array<uint8_t, kCursorPropsSize> props{};
  CheckResult(engine.GetCursorProps(cursor_, props.data()));
  recordSize_ = GetUInt16LE(&props[kPropsRecordBufferSizeOffset]);
  bookmarkSize_ = GetUInt16LE(&props[kPropsBookmarkSizeOffset]);
  FieldDefs().Updated = false;
  UpdateFieldDefs();
  // The current index's key fields are what a key search would use.
  std::array<uint8_t, kIndexDescSize> current{};
  CheckResult(engine.GetIndexDesc(cursor_, 0, current.data()));
  for (auto& buffer : keyBuffers_) buffer.assign(static_cast<size_t>(recordSize_ + kKeyBufferExtra), 0);
  CheckResult(engine.SetToBegin(cursor_));
}

void TqdTable::CloseCursor() {
  TqdDataSet::CloseCursor();
  // Whatever the release answers, the cursor is closed all the same.
  if (cursor_ != nullptr) ClientEngine()->RelRecordLock(cursor_, false);
  CloseHandle();
  {
    TqdFlagGuard guard(closing_);
    proxy_->SetActive(false);
  }
  for (auto& buffer : keyBuffers_) buffer.clear();
  if (databaseOpenCount_ > 0) CloseDatabaseReference();
}

void TqdTable::CloseHandle() {
  if (cursor_ == nullptr) return;
  ClientEngine()->CloseCursor(cursor_);
  cursor_ = nullptr;
}

TqdIndexEntry TqdTable::ChosenIndex() {
  UpdateIndexDefs();
  int number = byFieldNames_ ? FindIndexForFields(IndexDefs(), indexFieldNames_) : IndexDefs().IndexOf(indexName_);
  if (number < 0) RaiseNodeError(this, dsIndexNameMissing, {byFieldNames_ ? indexFieldNames_ : indexName_});
  return {IndexDefs()[number].Name, number};
}

void TqdTable::SwitchToChosenIndex() {
  TqdIndexEntry index = ChosenIndex();
  // An index without a name is named by its number.
  int16_t number = index.Name.empty() ? static_cast<int16_t>(index.Number) : 0;
  CheckResult(ClientEngine()->SwitchToIndex(cursor_, index.Name.c_str(), nullptr, number, false));
}

void TqdTable::WithCursor(const std::function<void(hDBICur)>& work) {
  OpenDatabaseReference();
  hDBICur temporary = nullptr;
  WithUndo(
      [&] {
        if (cursor_ == nullptr) temporary = CreateHandle(nullptr);
        work(cursor_ != nullptr ? cursor_ : temporary);
      },
      [&] {
        if (temporary != nullptr) ClientEngine()->CloseCursor(temporary);
        CloseDatabaseReference();
      });
}

}  // namespace qd
