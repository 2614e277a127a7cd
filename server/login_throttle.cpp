#include "server/login_throttle.h"

#include <algorithm>
#include <cctype>

namespace qd {
namespace {

std::string Lower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// `a` is at or after `b` on the wrapping tick count.
bool AtOrAfter(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) >= 0; }

}  // namespace

uint32_t TqdLoginThrottle::DelayAfter(int failures) {
  if (failures <= 0) return 0;
  if (failures > 8) return kLoginDelayMaxMs;
  return std::min<uint32_t>(kLoginDelayFirstMs << (failures - 1), kLoginDelayMaxMs);
}

bool TqdLoginThrottle::Free(const Table& table, const std::string& key, uint32_t now) {
  auto it = table.find(key);
  return it == table.end() || AtOrAfter(now, it->second.NotBefore);
}

bool TqdLoginThrottle::MayAnswer(const std::string& user, const std::string& address, uint32_t now) const {
  return Free(users_, Lower(user), now) && Free(addresses_, address, now);
}

void TqdLoginThrottle::Note(Table& table, const std::string& key, uint32_t now) {
  if (table.size() >= kMaxThrottledKeys && table.find(key) == table.end()) {
    // Full of keys (a guesser who varies them): the one failed longest ago goes.
    auto oldest = std::min_element(table.begin(), table.end(), [now](const auto& a, const auto& b) {
      return now - a.second.LastFailure > now - b.second.LastFailure;
    });
    table.erase(oldest);
  }
  Entry& entry = table[key];
  ++entry.Failures;
  entry.LastFailure = now;
  entry.NotBefore = now + DelayAfter(entry.Failures);
}

void TqdLoginThrottle::Failed(const std::string& user, const std::string& address, uint32_t now) {
  Note(users_, Lower(user), now);
  Note(addresses_, address, now);
}

void TqdLoginThrottle::Forget(uint32_t now) {
  for (Table* table : {&users_, &addresses_})
    std::erase_if(*table, [now](const auto& entry) { return now - entry.second.LastFailure >= kLoginMemoryMs; });
}

}  // namespace qd
