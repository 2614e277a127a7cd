// A transport in the test's hand, for faults a real peer cannot make on
// cue: Call always connects, every part the engine sends goes to a script,
// which may answer at once (as if the answer had arrived) or fail as a
// socket does (hang up, then raise). It answers attach, login and detach by
// itself unless the script takes them.
// Thread rules: as every transport; used on the test's thread only.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "base/QDLLExcp.h"
#include "comms/QDLLProt.h"
#include "comms/QDNetMsg.h"
#include "comms/protocol_class.h"
#include "platform/socket_errors.h"

namespace qd::test {

class ScriptedTransport : public TqdBaseCommsProtocol {
 public:
  ScriptedTransport(std::string_view name, uint8_t mode) : TqdBaseCommsProtocol(name, mode) {
    maxMsgSize_ = 4096;
    needsPartAck_ = false;
    CreateNotifyWindow();
  }

  // Sees each part the engine sends (clear, header included); answers true
  // when it handled the part, else the transport's own answers apply.
  std::function<bool(ScriptedTransport&, TqdConnectionHandle, const TqdMsgHeader&)> OnSend;
  // Runs at the start of every breathing turn.
  std::function<void(ScriptedTransport&, TqdConnectionHandle)> OnBreathe;

  void Startup() override {}
  TqdConnectionHandle Call(std::string_view) override {
    auto* connection = new TqdConnection(*this, "scripted");
    AddConnection(connection);
    current_ = connection->Handle();
    return current_;
  }
  void Listen() override {}
  void SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) override {
    if (FindConnection(handle) == nullptr || size < kMsgHeaderSize) return;
    TqdMsgHeader header = DecodeMsgHeader(data);
    if (OnSend && OnSend(*this, handle, header)) return;
    if (header.LastPart == 0) return;
    if (header.MsgID == msgAttach) {
      uint8_t reply[kAttachReplySize];
      EncodeAttachReply({77, kClientVersion, 0x1234567, 5000, 2500, 5, false}, reply);
      Answer(handle, msgAttach, 0, reply);
    } else if (header.MsgID == msgConfirmLogin || header.MsgID == msgDetach) {
      Answer(handle, header.MsgID, 0, {});
    }
  }
  void StartDatagramListen() override {}
  void SendDatagram(std::string_view, const uint8_t*, size_t) override {}
  void StopDatagramListen() override {}
  void Breathe(int32_t waitMs) override {
    if (OnBreathe) OnBreathe(*this, current_);
    TqdBaseCommsProtocol::Breathe(waitMs);
  }

  // Hands the engine a one-part reply as if it had just arrived.
  void Answer(TqdConnectionHandle handle, TqdMsgID msgId, uint16_t resultCode, std::span<const uint8_t> data) {
    TqdMsgHeader header;
    header.MsgID = msgId;
    header.MsgLen = static_cast<uint32_t>(kMsgHeaderSize + data.size());
    header.TotalSize = static_cast<uint32_t>(data.size());
    header.ResultCode = resultCode;
    std::vector<uint8_t> part(header.MsgLen);
    EncodeMsgHeader(header, part.data());
    std::copy(data.begin(), data.end(), part.begin() + kMsgHeaderSize);
    KeyFor(FindConnection(handle)).ScramblePart(part.data(), part.size());  // as the peer sends it
    HandleReceivedMessage(handle, part.data(), part.size());
  }
  // Fails as a socket whose peer reset the connection.
  [[noreturn]] void FailWithReset(TqdConnectionHandle handle, bool hangUp = true) {
    if (hangUp) HangUp(handle);
    throw EqdWinsockException::CreateForWinsockCode(WinsockErrorFromErrno(ECONNRESET));
  }

 private:
  TqdConnectionHandle current_ = 0;
};

inline const TqdProtocolClass& ScriptedProtocolClass() {
  static const TqdProtocolClass scripted{
      "Scripted", [](std::string_view name, uint8_t mode) -> std::unique_ptr<TqdBaseCommsProtocol> {
        return std::make_unique<ScriptedTransport>(name, mode);
      }};
  return scripted;
}

}  // namespace qd::test
