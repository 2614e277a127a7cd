// TqdBlobStream: a stream over one BLOB field of a table's current record,
// read and written through the client engine. The table component keeps
// no record buffers of its own, so what the stream needs of the current
// record (the buffer, whether the table filters or edits, the field's
// flags) is handed to it by whoever holds the record.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qd {

class TqdTable;

enum class TqdBlobStreamMode { Read, Write, ReadWrite };

// The BLOB field of the current record.
struct TqdBlobField {
  std::string Name;
  int32_t Number = 0;  // 1-based
  bool ReadOnly = false;
  bool Modified = false;  // set by a stream that wrote
};

// The current record of the table.
struct TqdBlobRecord {
  uint8_t* Buffer = nullptr;  // none: the table has no current record
  bool Filtering = false;
  bool Editing = false;  // in edit or insert state
  // Told when a stream has written the field.
  std::function<void(TqdBlobField&)> FieldChanged;
};

class TqdBlobStream {
 public:
  // Opens the BLOB (read-only for reading a field not yet changed in this
  // record, else read-write); 54577 while filtering, 54578 for writing a
  // read-only field, 54579 for writing outside edit or insert state. A
  // write-mode stream empties the BLOB at once.
  TqdBlobStream(TqdTable& table, TqdBlobField& field, TqdBlobStreamMode mode, TqdBlobRecord record);
  // A written stream marks the field modified and tells FieldChanged (what
  // that throws does not leave here); an unwritten one over an unmodified
  // field frees the BLOB.
  ~TqdBlobStream();
  TqdBlobStream(const TqdBlobStream&) = delete;
  TqdBlobStream& operator=(const TqdBlobStream&) = delete;

  // The bytes read (0 at the end, or past it).
  int32_t Read(void* buffer, int32_t count);
  int32_t Write(const void* buffer, int32_t count);
  // Origin 0 from the start, 1 from here, 2 from the end; the new position.
  int64_t Seek(int64_t offset, int origin);
  // Cuts the BLOB at the position.
  void Truncate();
  int64_t Position() const { return position_; }

 private:
  TqdTable& table_;
  TqdBlobField& field_;
  TqdBlobStreamMode mode_;
  TqdBlobRecord record_;
  int64_t position_ = 0;
  bool opened_ = false;
  bool written_ = false;
};

}  // namespace qd
