#include "cli/names.h"

#include <charconv>
#include <strings.h>

namespace qd {

std::optional<size_t> FindName(const std::vector<std::string>& names, const std::string& name) {
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return i;
  for (size_t i = 0; i < names.size(); ++i)
    if (strcasecmp(names[i].c_str(), name.c_str()) == 0) return i;
  return std::nullopt;
}

std::optional<size_t> FindIndex(const std::vector<TqdIndexEntry>& entries, const std::string& nameOrNumber) {
  std::vector<std::string> names;
  for (const TqdIndexEntry& entry : entries) names.push_back(entry.Name);
  if (std::optional<size_t> byName = FindName(names, nameOrNumber)) return byName;
  int32_t number = 0;
  const char* end = nameOrNumber.data() + nameOrNumber.size();
  auto [at, ec] = std::from_chars(nameOrNumber.data(), end, number);
  if (nameOrNumber.empty() || ec != std::errc() || at != end) return std::nullopt;
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].Number == number) return i;
  return std::nullopt;
}

}  // namespace qd
