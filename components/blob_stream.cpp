#include "components/blob_stream.h"

#include "base/QDLLExcp.h"
#include "base/result_codes.h"
#include "callif/QDClEng.h"
#include "components/errors.h"
#include "components/table.h"
#include "framework/app_exceptions.h"

namespace qd {
namespace {

constexpr int32_t kOpenReadOnly = 1, kOpenReadWrite = 0;

}  // namespace

TqdBlobStream::TqdBlobStream(TqdTable& table, TqdBlobField& field, TqdBlobStreamMode mode, TqdBlobRecord record)
    : table_(table), field_(field), mode_(mode), record_(std::move(record)) {
  if (record_.Buffer == nullptr) return;
  if (record_.Filtering) RaiseNodeError(&table_, dsBlobWhileFiltering, {field_.Name});
  if (!field_.Modified) {
    int32_t openMode = kOpenReadOnly;
    if (mode_ != TqdBlobStreamMode::Read) {
      if (field_.ReadOnly) RaiseNodeError(&table_, dsBlobFieldReadOnly, {field_.Name});
      if (!record_.Editing) RaiseNodeError(&table_, dsBlobNotEditing, {field_.Name});
      openMode = kOpenReadWrite;
    }
    CheckResult(ClientEngine()->OpenBlob(table_.Handle(), record_.Buffer, field_.Number, openMode));
  }
  opened_ = true;
  if (mode_ == TqdBlobStreamMode::Write) Truncate();
}

TqdBlobStream::~TqdBlobStream() {
  if (!opened_) return;
  if (written_) {
    field_.Modified = true;
    try {
      if (record_.FieldChanged) record_.FieldChanged(field_);
    } catch (const std::exception& e) {
      HandleApplicationException(e);
    }
  } else if (!field_.Modified && table_.Handle() != nullptr) {
    ClientEngine()->FreeBlob(table_.Handle(), record_.Buffer, field_.Number);
  }
}

// The end of the BLOB (8711) and a position past it (9998) read nothing;
// any other failure raises.
int32_t TqdBlobStream::Read(void* buffer, int32_t count) {
  if (!opened_ || count <= 0) return 0;
  uint32_t read = 0;
  TqdResult result = ClientEngine()->GetBlob(table_.Handle(), record_.Buffer, field_.Number,
                                             static_cast<uint32_t>(position_), static_cast<uint32_t>(count),
                                             static_cast<uint8_t*>(buffer), read);
  if (result == qdErrBlobOffset) return 0;
  if (result != qdOK && result != qdErrEndOfBlob) CheckResult(result);
  position_ += read;
  return static_cast<int32_t>(read);
}

int32_t TqdBlobStream::Write(const void* buffer, int32_t count) {
  if (count < 0) count = 0;
  CheckResult(ClientEngine()->PutBlob(table_.Handle(), record_.Buffer, field_.Number,
                                      static_cast<uint32_t>(position_), static_cast<uint32_t>(count),
                                      static_cast<const uint8_t*>(buffer)));
  position_ += count;
  written_ = true;
  return count;
}

int64_t TqdBlobStream::Seek(int64_t offset, int origin) {
  if (origin == 0) {
    position_ = offset;
  } else if (origin == 1) {
    position_ += offset;
  } else if (origin == 2) {
    uint32_t size = 0;
    CheckResult(ClientEngine()->GetBlobSize(table_.Handle(), record_.Buffer, field_.Number, size));
    position_ = offset + size;
  }
  return position_;
}

void TqdBlobStream::Truncate() {
  CheckResult(ClientEngine()->TruncateBlob(table_.Handle(), record_.Buffer, field_.Number,
                                           static_cast<uint32_t>(position_)));
  written_ = true;
}

}  // namespace qd
