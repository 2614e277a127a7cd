// The network user name: the login name of the effective user.
// Thread rules: safe from any thread.
#pragma once

#include <string>

namespace qd {

// Empty when the user has no entry in the password database.
std::string GetNetUserName();

}  // namespace qd
