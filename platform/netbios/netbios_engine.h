// The NetBIOS emulation's state and I/O thread (see netbios.h): per LANA its
// name table, sockets and sessions; the NCBs that wait for the network; and
// the completions that the I/O thread hands back.
// Thread rules: every member is guarded by mutex_; completions are posted
// outside it, on the I/O thread.
#pragma once

#include <netinet/in.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/netbios/nbt_packets.h"
#include "platform/netbios/netbios.h"

namespace qd {

class TqdNetBIOSEngine {
 public:
  explicit TqdNetBIOSEngine(const TqdNetBIOSConfig& config);
  ~TqdNetBIOSEngine();  // pending NCBs complete with NRC_CMDCAN
  uint8_t Submit(NCB* ncb);

 private:
  enum class SessionState { Connecting, AwaitingAnswer, AwaitingRequest, Open };
  struct Session {
    int Fd = -1;
    SessionState State = SessionState::Open;
    TqdNetBIOSName Local{};
    TqdNetBIOSName Remote{};
    NCB* Call = nullptr;                 // the call or listen that opens it
    std::vector<uint8_t> Input;          // bytes read, not yet a whole packet
    std::deque<std::vector<uint8_t>> Inbox;  // whole messages nobody asked for yet
    std::deque<NCB*> Receives;
    std::deque<std::pair<NCB*, std::vector<uint8_t>>> Sends;  // packet bytes still to write
  };
  struct Lana {
    in_addr Address{};
    int NameFd = -1;      // the shared name port: requests of others
    int RequestFd = -1;   // our requests, and the answers to them
    int DatagramFd = -1;  // the shared datagram port
    int ListenFd = -1;    // the session port, opened by the first listen
    std::map<uint8_t, TqdNetBIOSName> Names;  // by name number
    std::map<uint8_t, Session> Sessions;      // by LSN
    uint8_t LastLsn = 0;                      // the number given last
    std::deque<NCB*> Listens;
    std::deque<NCB*> DatagramReceives;
  };
  // An NCB that waits for name service answers until its deadline.
  struct NameWait {
    NCB* Ncb;
    uint16_t Id;
    uint64_t Deadline;
  };

  void Run();
  // Queues the completion for the I/O thread. REQUIRES: mutex_ held.
  void Complete(NCB* ncb, uint8_t code);
  // Posts completions and marks them done; on the I/O thread, unlocked.
  void Deliver(const std::vector<NCB*>& done);
  void Wake();
  uint8_t Start(NCB* ncb, Lana& lana);     // an asynchronous command
  uint8_t Cancel(NCB* target);
  uint8_t HangUp(Lana& lana, uint8_t lsn);
  void AddName(NCB* ncb, Lana& lana);
  void SendDatagram(NCB* ncb, Lana& lana);
  void SendName(Lana& lana, const TqdNamePacket& packet, int fd, const sockaddr_in& to);
  // The I/O thread's handlers.
  void ReadNames(Lana& lana, int fd);
  void ReadDatagrams(Lana& lana);
  void Accept(Lana& lana);
  void SessionEvent(Lana& lana, uint8_t lsn, uint32_t events);
  void ReadSession(Lana& lana, uint8_t lsn);
  void ExpireWaits(uint64_t now);
  void Answered(Lana& lana, const TqdNamePacket& answer);
  // Sessions (netbios_sessions.cpp).
  void StartCall(NCB* ncb, Lana& lana, uint32_t address);
  uint8_t StartListen(NCB* ncb, Lana& lana);
  uint8_t StartTransfer(NCB* ncb, Lana& lana);  // a send or a receive
  void OpenSession(Lana& lana, int fd, Session session);
  void PacketArrived(Lana& lana, uint8_t lsn, uint8_t type, std::vector<uint8_t> body);
  void DeliverMessages(Session& s);
  bool Flush(Lana& lana, uint8_t lsn);
  void CloseSession(Lana& lana, uint8_t lsn, uint8_t code);
  void Watch(Lana& lana, uint8_t lsn);
  uint8_t FreeLsn(Lana& lana);
  Lana* LanaOf(uint8_t number);

  TqdNetBIOSConfig config_;
  std::mutex mutex_;
  std::condition_variable done_cv_;  // a completion was delivered
  std::vector<Lana> lanas_;
  std::vector<NameWait> waits_;
  std::vector<NCB*> done_;  // completed, not yet posted
  uint16_t nextId_ = 1;
  int epoll_ = -1;
  int wake_ = -1;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace qd
