// Questions on the terminal for the login: a line, or a secret read with
// the echo off (and put back on, also when the read fails). The question
// goes to standard error, the answer comes from standard input.
// Thread rules: the run's thread only.
#pragma once

#include <optional>
#include <string>

namespace qd {

// Nothing at the end of the input.
std::optional<std::string> AskLineOnTerminal(const std::string& prompt);
std::optional<std::string> AskSecretOnTerminal(const std::string& prompt);

}  // namespace qd
