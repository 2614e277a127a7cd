// A temporary directory for a test, removed with everything in it. A
// directory that cannot be made raises std::system_error: a test must not go
// on with no directory at all.
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

namespace qd::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qdsrvXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
      throw std::system_error(errno, std::generic_category(), "cannot make a temporary directory from " + pattern);
    path_ = pattern;
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
