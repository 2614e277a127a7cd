#include "base/names.h"

namespace qd {

bool IsIdentifierText(std::string_view text, size_t max) {
  if (text.empty() || text.size() > max) return false;
  for (char c : text) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool IsValidBlockSize(int64_t n) { return n == 4096 || n == 8192 || n == 16384 || n == 32768; }

bool IsValidExtension(std::string_view text) { return IsIdentifierText(text.substr(0, 3), 3); }

bool IsValidKeyLength(int64_t n) {
  uint16_t low = static_cast<uint16_t>(static_cast<uint64_t>(n) & 0xFFFFu);
  return low >= 1 && low <= 1024;
}

std::string ExtractBaseTableName(std::string_view path) {
  // Positions are 1-based, as in a short string; 0 means not found.
  const size_t length = path.size();
  size_t dotPos = 0;
  size_t slashPos = 0;
  for (size_t i = length; i >= 1 && (dotPos == 0 || slashPos == 0); --i) {
    char c = path[i - 1];
    if (c == '.' && dotPos == 0) {
      dotPos = i;
    } else if (c == '\\') {
      slashPos = i;
      if (dotPos == 0) dotPos = length + 1;
    }
  }
  if (dotPos == 0) dotPos = length + 1;
  size_t count = dotPos - slashPos - 1;
  if (count > kTableNameCapacity) count = kTableNameCapacity;
  return std::string(path.substr(slashPos, count));
}

}  // namespace qd
