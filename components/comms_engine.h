// TqdCommsEngine: the tree's level 1. While open it owns the client comms
// engine, made over the transport its Protocol names and started; its
// children are the sessions that talk through it. The engines are kept in
// the process-wide list (QDDB.h); a new one joins it.
//
// Default flags: one engine is the default at a time; the engine named
// "[automatic]" is made default again whenever no other is. Each engine has
// one default session: its first session until another is chosen.
// Thread rules: the user-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/shortstr.h"
#include "comms/QDClComm.h"
#include "comms/protocol_class.h"
#include "components/QDDBBase.h"

namespace qd {

class TqdSession;

enum class TqdProtocolType : uint8_t {
  ptSingleUser = 0,
  ptTCPIP = 1,
  ptIPXSPX = 2,
  ptNetBIOS = 3,
  ptRegistry = 4,  // the transport the client configuration names
};

inline constexpr const char* kAutomaticName = "[automatic]";

class TqdCommsEngine final : public TqdDBListItem {
 public:
  explicit TqdCommsEngine(TqdComponent* owner);
  ~TqdCommsEngine() override;
  std::string_view ClassName() const override { return "TqdCommsEngine"; }

  const std::string& CommsEngineName() const { return OwnName(); }
  // Raises 54542 when another engine has the name already.
  void SetCommsEngineName(std::string_view name);
  bool IsDefault() const { return isDefault_; }
  void SetIsDefault(bool isDefault);
  TqdProtocolType Protocol() const { return protocol_; }
  void SetProtocol(TqdProtocolType protocol);
  std::string ServerName() const { return serverName_.Str(); }
  void SetServerName(std::string_view name);  // at most 63 characters
  std::string UserName() const { return userName_.Str(); }
  void SetUserName(std::string_view name);  // at most 31 characters

  // Present while open.
  TqdClientCommsEngine* ClientCommsEngine() const { return clientCommsEngine_.get(); }
  // Its first session whose default flag is set; else its first session,
  // which is then marked default; nullptr without sessions.
  TqdSession* DefaultSessionOf();
  void SetDefaultSession(TqdSession* session, bool isDefault);
  int SessionCount() { return Children().Count(); }
  TqdSession* Sessions(int index);

 protected:
  void DoOpen() override;
  void DoClose() override;
  void ChildAdded(TqdDBListItem* child) override;
  void ChildRemoved(TqdDBListItem* child) override;
  [[noreturn]] void RaiseMustBeClosed() override;
  [[noreturn]] void RaiseMustBeOpen() override;

 private:
  const TqdProtocolClass& ProtocolClass();

  bool isDefault_ = false;
  TqdProtocolType protocol_ = TqdProtocolType::ptSingleUser;
  TqdNetAddress serverName_;
  TqdNetName userName_;
  std::unique_ptr<TqdClientCommsEngine> clientCommsEngine_;
  const TqdProtocolClass* registryClass_ = nullptr;  // read on the first open
};

}  // namespace qd
