// TqdNetBIOSProtocol: message parts over NetBIOS sessions (one part per
// message, at most 4096 bytes, each acknowledged), discovery over NetBIOS
// datagrams, on every LANA, through the platform's Netbios call
// (platform/netbios/netbios.h). Every command is asynchronous; its
// completion reaches the notify window as message 5104 and is handled on the
// transport's thread. Pending NCBs are cancelled and their completions
// awaited before their buffers are freed; a connection's sends queue behind
// the one in flight; a failed send or receive hangs the connection up.
// Thread rules: as every transport (QDLLProt.h); the emulation's I/O thread
// only posts 5104.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "comms/QDLLProt.h"
#include "platform/netbios/netbios.h"

namespace qd {

inline constexpr uint32_t kNetBIOSMaxMsgSize = 4096;
inline constexpr uint32_t kNetBIOSCompletionMessage = 0x0400 + 4080;  // 5104
inline constexpr int32_t kNetBIOSCallWaitMs = 5000;
// How long registering or deleting a name, or a datagram send, may take.
inline constexpr int32_t kNetBIOSNameWaitMs = 30000;
inline constexpr size_t kNetBIOSDatagramSize = 128;

// An NCB with its buffer, known to its transport by a number so that a
// completion message that outlives it finds nothing.
class TqdNetBIOSProtocol;
struct TqdNcb {
  NCB Ncb;
  TqdNetBIOSProtocol* Owner = nullptr;
  uint32_t Id = 0;
  bool Notify = true;  // the completion goes to the window
  std::vector<uint8_t> Buffer;
};

class TqdNetBIOSConnection : public TqdConnection {
 public:
  TqdNetBIOSConnection(TqdBaseCommsProtocol& owner, std::string_view remoteName, uint8_t lana, uint8_t lsn);
  ~TqdNetBIOSConnection() override;
  void Close() override;  // cancels its NCBs, waits for them, hangs the session up

  uint8_t Lana;
  uint8_t Lsn;
  TqdNcb* Receive = nullptr;
  TqdNcb* Send = nullptr;
  std::deque<std::vector<uint8_t>> Queued;  // scrambled parts behind the send in flight
  bool Sending = false;                     // until the send's completion is handled
};

class TqdNetBIOSProtocol : public TqdBaseCommsProtocol {
 public:
  // Raises EqdNetBIOSException (string 132) when NetBIOS is absent.
  TqdNetBIOSProtocol(std::string_view name, uint8_t mode);
  ~TqdNetBIOSProtocol() override;

  void Startup() override;
  TqdConnectionHandle Call(std::string_view address) override;
  void Listen() override;
  void SendMsg(TqdConnectionHandle handle, const uint8_t* data, size_t size) override;
  void StartDatagramListen() override;
  void SendDatagram(std::string_view address, const uint8_t* data, size_t size) override;
  void StopDatagramListen() override;

  const std::vector<uint8_t>& Lanas() const { return lanas_; }

  // Used by the connections.
  TqdNcb* NewNcb(uint8_t lana, size_t bufferSize, bool notify);
  void FreeNcb(TqdNcb*& ncb);  // cancels it if pending and waits for it first
  // Issues `ncb` asynchronously; its immediate code (0 or 36 when taken).
  uint8_t StartNcb(TqdNcb& ncb, uint8_t command);
  void Issue(TqdNcb& ncb, uint8_t command);  // the same, raising on an immediate error

 protected:
  intptr_t WindowProc(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  void ReceivePausedChanged(TqdConnection& connection) override;

 private:
  struct LanaState {
    uint8_t NameNumber = 0;
    TqdNcb* Listen = nullptr;
    TqdNcb* Receive[2] = {};  // directed, broadcast
    TqdNcb* Send[2] = {};
  };
  void Completed(TqdNcb& ncb);
  // The emulation marks an NCB done just after posting its completion; a
  // handler that issues it again waits for that first.
  static void AwaitDone(TqdNcb& ncb);
  void Received(TqdNcb& ncb);
  void Accepted(TqdNcb& ncb, uint8_t lana);
  void DatagramArrived(TqdNcb& ncb);
  // Issues the next queued part; false when that failed and the connection
  // was hung up (with the code in `code`).
  bool SendNext(TqdNetBIOSConnection& c, uint8_t& code);
  // Breathes until `ncb` completes or `ms` pass; false on time-out.
  bool WaitFor(TqdNcb& ncb, int32_t ms);
  // Cancels a pending NCB and waits (without breathing) for its completion.
  static void CancelAndWait(TqdNcb& ncb);
  // Posts the connection's receive; false when that failed and the
  // connection was hung up.
  bool PostReceive(TqdNetBIOSConnection& c);
  TqdNetBIOSConnection* ConnectionOf(uint8_t lana, uint8_t lsn);
  static void Posted(NCB* ncb);

  std::vector<uint8_t> lanas_;
  std::vector<LanaState> state_;
  std::map<uint32_t, std::unique_ptr<TqdNcb>> ncbs_;  // every NCB of the transport, by Id
  uint32_t nextId_ = 1;
  TqdNcb* control_ = nullptr;
  bool datagramListening_ = false;
};

}  // namespace qd
