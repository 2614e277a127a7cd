#include "server/store_place.h"

#include <sys/stat.h>

#include <cerrno>

#include "server/path_guard.h"
#include "server/server_results.h"
#include "server/sqlite_db.h"

namespace qd {
namespace {

enum class Kind { Missing, Directory, Regular, Other };

// Never follows a final symbolic link: a link is Other.
Kind Inspect(const std::string& path, TqdFileIdentity& id) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? Kind::Missing : Kind::Other;
  id = {st.st_dev, st.st_ino};
  if (S_ISDIR(st.st_mode)) return Kind::Directory;
  return S_ISREG(st.st_mode) ? Kind::Regular : Kind::Other;
}

[[noreturn]] void Refuse(const std::string& what) {
  throw EqdStorageError(qdErrServerFileOpen, what);
}

}  // namespace

TqdStorePlace::TqdStorePlace(const std::string& directory)
    : directory_(directory), file_(directory + "/" + kStoreFileName) {
  if (CanonicalDirectory(directory) != directory)
    Refuse("not a directory in canonical form: " + directory);
  if (Inspect(directory_, directoryId_) != Kind::Directory) Refuse("not a directory: " + directory);
  TqdFileIdentity fileId;
  Kind kind = Inspect(file_, fileId);
  if (kind == Kind::Regular) {
    fileId_ = fileId;
  } else if (kind != Kind::Missing) {
    Refuse("not a regular file: " + file_);
  }
}

void TqdStorePlace::Settle() {
  TqdFileIdentity directoryId, fileId;
  if (Inspect(directory_, directoryId) != Kind::Directory || directoryId != directoryId_)
    Refuse("the directory changed while its store was opened: " + directory_);
  if (Inspect(file_, fileId) != Kind::Regular || (fileId_ && fileId != *fileId_))
    Refuse("the store file changed while it was opened: " + file_);
  fileId_ = fileId;
}

bool TqdStorePlace::Unchanged() const {
  TqdFileIdentity directoryId, fileId;
  return Inspect(directory_, directoryId) == Kind::Directory && directoryId == directoryId_ &&
         Inspect(file_, fileId) == Kind::Regular && fileId_ && fileId == *fileId_;
}

}  // namespace qd
