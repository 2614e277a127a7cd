// Where a store lives: its directory and its file, with the identity
// (device and inode) each had when the store was opened. The directory
// must be given in canonical form (absolute, no "..", no symbolic link on
// the way) and the file must not be a symbolic link, so that a store is
// never opened through a link to a place outside the data directory; the
// identities let an open store notice that its directory or file was
// swapped for another (a link put in its place) before it is used again.
// Thread rules: a place belongs to its store's thread; the checks read the
// file system only.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace qd {

inline constexpr const char* kStoreFileName = "quilldrive.db";

struct TqdFileIdentity {
  dev_t Device = 0;
  ino_t Inode = 0;
  bool operator==(const TqdFileIdentity&) const = default;
};

class TqdStorePlace {
 public:
  // Checks `directory` right before its store is opened. Raises
  // EqdStorageError qdErrServerFileOpen when the directory is not in
  // canonical form or not a directory, or the store file is there but is
  // not a regular file (a link, say).
  explicit TqdStorePlace(const std::string& directory);

  const std::string& Directory() const { return directory_; }
  const std::string& FilePath() const { return file_; }
  bool HasStoreFile() const { return fileId_.has_value(); }

  // After the store was opened: the directory must be the one checked
  // before and the store file a regular file; its identity is kept.
  // Raises as the constructor does.
  void Settle();
  // True while the directory and the store file are the ones settled.
  bool Unchanged() const;

 private:
  std::string directory_;
  std::string file_;
  TqdFileIdentity directoryId_;
  std::optional<TqdFileIdentity> fileId_;
};

}  // namespace qd
