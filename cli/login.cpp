#include "cli/login.h"

#include "callif/QDCLSess.h"
#include "callif/dialog_hooks.h"

namespace qd {
namespace {

struct ConnectionSeen {
  TqdResult Result = qdOK;
  std::string Server;
};
ConnectionSeen& Seen() {
  static ConnectionSeen seen;
  return seen;
}

void OnConnection(TqdClientSession* session, bool starting, TqdResult result) {
  if (starting) return;
  Seen().Result = result;
  if (session != nullptr) Seen().Server = session->ServerName();
}

bool AskOnTerminal(const TqdLoginAnswers& answers, const std::string& server, TqdNetName& user,
                   TqdNetName& password) {
  std::string suggested = user.Str();
  std::optional<std::string> name =
      answers.AskLine("User name for " + server + (suggested.empty() ? "" : " [" + suggested + "]") + ": ");
  if (!name) return false;
  if (!name->empty()) user.Assign(*name);
  std::optional<std::string> secret = answers.AskSecret("Password: ");
  if (!secret) return false;
  password.Assign(*secret);
  return true;
}

}  // namespace

TqdRunLogin::TqdRunLogin(const TqdLoginAnswers& answers) {
  Seen() = ConnectionSeen{};
  SetConnectionHook(OnConnection);
  SetLoginRetryCount(answers.CanPrompt ? kDefaultLoginRetries : 0);
  if (answers.CanPrompt) {
    SetLoginDialogHook([answers](const std::string& server, TqdNetName& user, TqdNetName& password) {
      return AskOnTerminal(answers, server, user, password);
    });
  }
  if (!answers.User.empty()) {
    std::optional<std::string> password = answers.Password;
    if (!password && answers.CanPrompt) password = answers.AskSecret("Password for " + answers.User + ": ");
    SetPresetCredentials(answers.User, password.value_or(""));
  }
}

TqdRunLogin::~TqdRunLogin() {
  SetPresetCredentials("", "");
  SetLoginDialogHook({});
  SetLoginRetryCount(kDefaultLoginRetries);
  SetConnectionHook(nullptr);
}

TqdResult TqdRunLogin::LastConnection() const { return Seen().Result; }
std::string TqdRunLogin::ServerName() const { return Seen().Server; }

}  // namespace qd
