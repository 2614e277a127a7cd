#include "server/path_guard.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace qd {

std::optional<std::string> CanonicalDirectory(const std::string& path) {
  if (path.empty()) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) return std::nullopt;
  struct stat st {};
  if (stat(resolved.get(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return std::string(resolved.get());
}

bool IsWithinDirectory(const std::string& root, const std::string& path) {
  if (root.empty() || path.size() < root.size()) return false;
  if (path.compare(0, root.size(), root) != 0) return false;
  if (path.size() == root.size()) return true;
  return root.back() == '/' || path[root.size()] == '/';
}

std::optional<std::string> LocalFormOfClientPath(std::string_view text) {
  std::string local;
  local.reserve(text.size());
  for (char c : text) {
    if (c == '\0') return std::nullopt;
    local.push_back(c == '\\' ? '/' : c);
  }
  // "C:..." names a drive of the client's machine, not a place on this one.
  if (local.size() >= 2 && local[1] == ':') return std::nullopt;
  return local;
}

std::optional<std::string> ResolveConfinedDirectory(std::string_view clientPath,
                                                    const std::string& baseDir,
                                                    const std::vector<std::string>& roots) {
  auto local = LocalFormOfClientPath(clientPath);
  if (!local || local->empty() || local->size() >= PATH_MAX) return std::nullopt;
  std::string joined = local->front() == '/' ? *local : baseDir + "/" + *local;
  auto canonical = CanonicalDirectory(joined);
  if (!canonical) return std::nullopt;
  for (const std::string& root : roots) {
    if (IsWithinDirectory(root, *canonical)) return canonical;
  }
  return std::nullopt;
}

std::string BaseNameOf(std::string_view name) {
  size_t cut = name.find_last_of("/\\");
  return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

}  // namespace qd
