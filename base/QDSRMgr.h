// TqdStringResource: reads texts by number from a STR0 string table embedded
// in the program, and the seven process-wide readers.
// Thread rules: a reader holds read-only bytes that stay mapped for its whole
// life, so lookups from any thread may run at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qd {

struct TqdStringEntry {
  int32_t Id;
  uint32_t Offset;  // from the start of the table
  uint32_t Length;  // UTF-16 units
};

class TqdStringResource {
 public:
  // Opens the embedded table `name`; a nullptr name gives a reader without a
  // table. Raises EqdStringResourceError when the table is missing or its
  // bytes are not a sound STR0 table.
  explicit TqdStringResource(const char* name);
  // Reads a table from bytes the caller keeps alive (tests, other sources).
  explicit TqdStringResource(std::span<const uint8_t> table);

  void OpenResourceTable(const char* name);
  void CloseResourceTable();

  // UTF-8 text of `id`; empty when the id is absent.
  std::string ReadText(int32_t id) const;
  // The same as a zero-terminated string in `buffer`, cut on a character
  // boundary so that it fits `capacity` bytes with its terminator.
  char* ReadTextInto(int32_t id, char* buffer, size_t capacity) const;
  bool FindEntry(int32_t id, TqdStringEntry* entry) const;

  bool HasTable() const { return !table_.empty(); }
  size_t Count() const;

  bool RaiseIfMissing = false;

 private:
  void Validate(std::string_view name) const;

  std::span<const uint8_t> table_;
};

// Looks up the bytes of an embedded table; empty when there is none.
std::span<const uint8_t> FindEmbeddedStringTable(std::string_view name);

const TqdStringResource& ReaderStrings();
const TqdStringResource& GeneralStrings();
const TqdStringResource& NetBIOSStrings();
const TqdStringResource& WinsockStrings();
const TqdStringResource& ClientStrings();
const TqdStringResource& ResultCodeStrings();
const TqdStringResource& DatasetErrorStrings();

}  // namespace qd
