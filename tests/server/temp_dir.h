// A temporary directory for a test, removed with everything in it.
#pragma once

#include <filesystem>
#include <string>

namespace qd::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qdsrvXXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string Make(const std::string& relative) const {
    std::filesystem::create_directories(path_ + "/" + relative);
    return path_ + "/" + relative;
  }

 private:
  std::string path_;
};

}  // namespace qd::test
