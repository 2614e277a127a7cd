#include "platform/user_name.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace qd {

std::string GetNetUserName() {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 4096);
  passwd entry{};
  passwd* result = nullptr;
  while (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &result) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (result == nullptr || result->pw_name == nullptr) return {};
  return result->pw_name;
}

}  // namespace qd
