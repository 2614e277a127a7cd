// The login and server-selection dialogs, reached through hooks that the
// graphical program installs at start. Without a hook a dialog counts as
// cancelled, so a program without a window never waits for a user.
// Thread rules: install hooks at program start, before other threads run.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "base/shortstr.h"

namespace qd {

// Shows the server name, the message (why the dialog is shown again, as
// "Unknown user name or password."; empty for none) and both edits filled
// with the current values; true (with the new values) when the user
// confirmed.
using TqdLoginDialogHook = std::function<bool(const std::string& serverName, const std::string& message,
                                              TqdNetName& userName, TqdNetName& password)>;
// A login hook that shows no message.
using TqdPlainLoginDialogHook =
    std::function<bool(const std::string& serverName, TqdNetName& userName, TqdNetName& password)>;
// Shows the names (sorted) with the first selected; true with the chosen
// name when the user confirmed.
using TqdServerDialogHook = std::function<bool(const std::vector<std::string>& serverNames, std::string& chosen)>;

// An empty function (or {}) removes the hook.
void SetLoginDialogHook(TqdLoginDialogHook hook);
void SetLoginDialogHook(TqdPlainLoginDialogHook hook);
void SetLoginDialogHook(std::nullptr_t);
void SetServerDialogHook(TqdServerDialogHook hook);

bool RunLoginDialog(const std::string& serverName, const std::string& message, TqdNetName& userName,
                    TqdNetName& password);
bool RunServerDialog(const std::vector<std::string>& serverNames, std::string& chosen);

}  // namespace qd
