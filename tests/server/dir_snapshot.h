// Every file under a directory with its size and a hash of its content, to
// show that nothing was written there.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>

namespace qd::test {

// Keyed by the path below `dir`; links are recorded, never followed.
inline std::map<std::string, std::string> SnapshotOf(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string name = entry.path().lexically_relative(dir).string();
    if (entry.is_symlink()) {
      files[name] = "link to " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::string bytes(std::istreambuf_iterator<char>(in), {});
      files[name] = std::to_string(bytes.size()) + " bytes, hash " +
                    std::to_string(std::hash<std::string>{}(bytes));
    } else {
      files[name] = "directory";
    }
  }
  return files;
}

}  // namespace qd::test
