#include "platform/settings.h"

#include <ini.h>
#include <sys/stat.h>

#include <cstdlib>

#include "base/shortstr.h"

namespace qd {
namespace {

struct Lookup {
  std::string_view section;
  std::string_view key;
  std::optional<std::string> value;
};

// Qt writes the blanks of section names as %20.
std::string DecodeSectionName(std::string_view name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && name.substr(i, 3) == "%20") {
      out += ' ';
      i += 2;
    } else {
      out += name[i];
    }
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareShortTextNoCase(a, b, a.size()) == 0;
}

int Handler(void* user, const char* section, const char* name, const char* value) {
  auto* lookup = static_cast<Lookup*>(user);
  if (SameName(DecodeSectionName(section), lookup->section) && SameName(name, lookup->key)) {
    std::string text(value);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    lookup->value = std::move(text);  // the last occurrence wins
  }
  return 1;
}

bool IsRegularFile(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::optional<std::string> FindSettingsFile() {
  const char* env = std::getenv("XDG_CONFIG_DIRS");
  std::string_view dirs = (env != nullptr && *env != '\0') ? env : "/etc/xdg";
  while (!dirs.empty()) {
    size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    if (dir.empty()) continue;
    std::string path = std::string(dir) + "/" + std::string(kSettingsRelativePath);
    if (IsRegularFile(path)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> ReadSettingsValueFrom(const std::string& path, std::string_view section,
                                                 std::string_view key) {
  Lookup lookup{section, key, std::nullopt};
  // A file with a syntax error still yields the values read before it.
  if (ini_parse(path.c_str(), &Handler, &lookup) < 0) return std::nullopt;
  return lookup.value;
}

std::optional<std::string> ReadSettingsValue(std::string_view section, std::string_view key) {
  std::optional<std::string> path = FindSettingsFile();
  if (!path) return std::nullopt;
  return ReadSettingsValueFrom(*path, section, key);
}

}  // namespace qd
