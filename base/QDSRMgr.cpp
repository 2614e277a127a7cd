#include "base/QDSRMgr.h"

#include "base/QDLLExcp.h"
#include "base/endian.h"
#include "base/str0.h"
#include "base/utf16.h"

#include <cstring>

namespace qd {
namespace {

enum ReaderText : int32_t {
  kStringNotFound = 1,
  kCannotLockResource = 2,
  kResourceNotFound = 3,
  kUnableToOpen = 4,
  kInvalidResource = 5,
};

thread_local bool t_openingReaderStrings = false;

// The reader's own failures are reported with texts of its own table; while
// that table is itself being opened, the fixed English texts stand in.
std::string ReaderText(int32_t id) {
  static const char* const kFallback[] = {"",
                                          "String not found: %d",
                                          "Cannot lock resource",
                                          "String resource not found: %s",
                                          "Unable to open string resource: %s",
                                          "Invalid BWString resource"};
  if (!t_openingReaderStrings) {
    try {
      std::string text = ReaderStrings().ReadText(id);
      if (!text.empty()) return text;
    } catch (const EqdStringResourceError&) {
      // The reader's own table is unusable; the fixed texts stand in.
    }
  }
  return kFallback[id];
}

}  // namespace

TqdStringResource::TqdStringResource(const char* name) { OpenResourceTable(name); }

TqdStringResource::TqdStringResource(std::span<const uint8_t> table) {
  table_ = table;
  try {
    Validate("");
  } catch (...) {
    table_ = {};
    throw;
  }
}

void TqdStringResource::OpenResourceTable(const char* name) {
  CloseResourceTable();
  if (name == nullptr) return;
  std::string shortName(name, strnlen(name, 255));
  std::span<const uint8_t> bytes = FindEmbeddedStringTable(shortName);
  if (bytes.empty())
    throw EqdStringResourceError(FormatEngineText(ReaderText(kResourceNotFound), {shortName}));
  table_ = bytes;
  try {
    Validate(shortName);
  } catch (...) {
    table_ = {};
    throw;
  }
}

void TqdStringResource::CloseResourceTable() { table_ = {}; }

// Everything a lookup later trusts is checked once here: the magic, that the
// entries fit the block, that they are sorted, and that every text lies
// inside the block.
void TqdStringResource::Validate(std::string_view) const {
  auto invalid = [] { return EqdStringResourceError(ReaderText(kInvalidResource)); };
  if (table_.size() < kStr0HeaderSize || std::memcmp(table_.data(), kStr0Magic, 4) != 0)
    throw invalid();
  uint64_t count = GetUInt32LE(table_.data() + 4);
  if (count > (table_.size() - kStr0HeaderSize) / kStr0EntrySize) throw invalid();
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* entry = table_.data() + kStr0HeaderSize + kStr0EntrySize * i;
    uint64_t offset = GetUInt32LE(entry + 4);
    uint64_t bytes = static_cast<uint64_t>(GetUInt32LE(entry + 8)) * 2;
    if (offset > table_.size() || bytes > table_.size() - offset) throw invalid();
    if (i > 0 && GetInt32LE(entry - kStr0EntrySize) >= GetInt32LE(entry)) throw invalid();
  }
}

size_t TqdStringResource::Count() const {
  return table_.empty() ? 0 : GetUInt32LE(table_.data() + 4);
}

bool TqdStringResource::FindEntry(int32_t id, TqdStringEntry* entry) const {
  int64_t low = 0;
  int64_t high = static_cast<int64_t>(Count()) - 1;
  while (high >= low) {
    int64_t middle = (low + high) / 2;
    const uint8_t* p = table_.data() + kStr0HeaderSize + kStr0EntrySize * middle;
    int32_t middleId = GetInt32LE(p);
    if (middleId == id) {
      *entry = {middleId, GetUInt32LE(p + 4), GetUInt32LE(p + 8)};
      return true;
    }
    if (middleId < id)
      low = middle + 1;
    else
      high = middle - 1;
  }
  if (RaiseIfMissing)
    throw EqdStringResourceError(FormatEngineText(ReaderText(kStringNotFound), {id}));
  return false;
}

std::string TqdStringResource::ReadText(int32_t id) const {
  TqdStringEntry entry{};
  if (!FindEntry(id, &entry)) return {};
  return Utf16LEToUtf8(table_.data() + entry.Offset, entry.Length);
}

char* TqdStringResource::ReadTextInto(int32_t id, char* buffer, size_t capacity) const {
  if (capacity == 0) return buffer;
  buffer[0] = '\0';
  TqdStringEntry entry{};
  if (!FindEntry(id, &entry)) return buffer;
  const uint8_t* units = table_.data() + entry.Offset;
  size_t n = entry.Length;
  auto isHighSurrogate = [&](size_t i) {
    uint16_t u = GetUInt16LE(units + 2 * i);
    return u >= 0xD800 && u <= 0xDBFF;
  };
  while (n > 0 && Utf8SizeOfUtf16LE(units, n) >= capacity) {
    --n;
    // Never keep the first half of a pair whose second half was cut.
    if (n > 0 && isHighSurrogate(n - 1)) --n;
  }
  std::string text = Utf16LEToUtf8(units, n);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return buffer;
}

const TqdStringResource& ReaderStrings() {
  static const TqdStringResource reader = [] {
    t_openingReaderStrings = true;
    struct Reset {
      ~Reset() { t_openingReaderStrings = false; }
    } reset;
    return TqdStringResource("QDSRMGR_STRINGS");
  }();
  return reader;
}
namespace {

// One reader per table, opened on first use and kept for the process's life.
template <const char* kTableName>
const TqdStringResource& ReaderOf() {
  static const TqdStringResource reader(kTableName);
  return reader;
}

constexpr char kGeneral[] = "QD_GENERAL_STRINGS";
constexpr char kNetBIOS[] = "QD_NETBIOS_ERROR_STRINGS";
constexpr char kWinsock[] = "QD_WINSOCK_ERROR_STRINGS";
constexpr char kClient[] = "QD_CLIENT_STRINGS";
constexpr char kResultCodes[] = "QD_BDE_ERROR_STRINGS";
constexpr char kDataset[] = "QD_DATASET_ERROR_STRINGS";

}  // namespace

const TqdStringResource& GeneralStrings() { return ReaderOf<kGeneral>(); }
const TqdStringResource& NetBIOSStrings() { return ReaderOf<kNetBIOS>(); }
const TqdStringResource& WinsockStrings() { return ReaderOf<kWinsock>(); }
const TqdStringResource& ClientStrings() { return ReaderOf<kClient>(); }
const TqdStringResource& ResultCodeStrings() { return ReaderOf<kResultCodes>(); }
const TqdStringResource& DatasetErrorStrings() { return ReaderOf<kDataset>(); }

}  // namespace qd
