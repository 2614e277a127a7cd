// The demo data set of `qd-server --make-demo DIR`: two aliases (Sales in
// DIR/sales, Stock in DIR/stock) with tables of assorted fields and
// indexes, M records each of which every tenth is marked deleted, and
// DIR/server.conf serving them (TCP/IP and single user, user demo with
// password demo, secure on).
// Thread rules: runs alone, at program start.
#pragma once

#include <string>

namespace qd {

inline constexpr const char* kDemoUser = "demo";
inline constexpr const char* kDemoPassword = "demo";

// False with a message when something could not be written.
bool MakeDemoData(const std::string& dir, int tables, int records, std::string& error);

}  // namespace qd
