#include "callif/dialog_hooks.h"

namespace qd {

namespace {
TqdLoginDialogHook& LoginHook() {
  static TqdLoginDialogHook hook;
  return hook;
}
TqdServerDialogHook& ServerHook() {
  static TqdServerDialogHook hook;
  return hook;
}
}  // namespace

void SetLoginDialogHook(TqdLoginDialogHook hook) { LoginHook() = std::move(hook); }
void SetServerDialogHook(TqdServerDialogHook hook) { ServerHook() = std::move(hook); }

bool RunLoginDialog(const std::string& serverName, TqdNetName& userName, TqdNetName& password) {
  return LoginHook() ? LoginHook()(serverName, userName, password) : false;
}

bool RunServerDialog(const std::vector<std::string>& serverNames, std::string& chosen) {
  return ServerHook() ? ServerHook()(serverNames, chosen) : false;
}

}  // namespace qd
