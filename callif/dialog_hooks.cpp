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

void SetLoginDialogHook(TqdPlainLoginDialogHook hook) {
  if (!hook) {
    LoginHook() = nullptr;
    return;
  }
  LoginHook() = [plain = std::move(hook)](const std::string& serverName, const std::string&, TqdNetName& userName,
                                          TqdNetName& password) { return plain(serverName, userName, password); };
}

void SetLoginDialogHook(std::nullptr_t) { LoginHook() = nullptr; }

void SetServerDialogHook(TqdServerDialogHook hook) { ServerHook() = std::move(hook); }

bool RunLoginDialog(const std::string& serverName, const std::string& message, TqdNetName& userName,
                    TqdNetName& password) {
  return LoginHook() ? LoginHook()(serverName, message, userName, password) : false;
}

bool RunServerDialog(const std::vector<std::string>& serverNames, std::string& chosen) {
  return ServerHook() ? ServerHook()(serverNames, chosen) : false;
}

}  // namespace qd
