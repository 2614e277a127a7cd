// How a run logs in and what it learns of the connection. With --user the
// session's preset credentials are set (the password from QD_PASSWORD, or
// asked on the terminal); otherwise the session logs in as it would for
// the window, with a terminal prompt as its login dialog. Without a
// terminal there is no prompt and no retry, so a refused login ends at
// once. The connection hook keeps the result of the last connection and
// the server it went to.
// Thread rules: the run's thread only; one run at a time per process.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/result_codes.h"

namespace qd {

struct TqdLoginAnswers {
  std::string User;                       // --user; empty when not given
  std::optional<std::string> Password;    // QD_PASSWORD
  bool CanPrompt = false;                 // standard input is a terminal
  std::function<std::optional<std::string>(const std::string& prompt)> AskLine;
  std::function<std::optional<std::string>(const std::string& prompt)> AskSecret;
};

// Sets the process-wide login settings for its lifetime and puts the
// defaults back after.
class TqdRunLogin {
 public:
  explicit TqdRunLogin(const TqdLoginAnswers& answers);
  ~TqdRunLogin();
  TqdRunLogin(const TqdRunLogin&) = delete;
  TqdRunLogin& operator=(const TqdRunLogin&) = delete;

  // The result of the last connection (qdOK before any) and its server.
  TqdResult LastConnection() const;
  std::string ServerName() const;
};

}  // namespace qd
