// The fixture of the engine tests: the comms engine against an in-test
// server over TCP loopback (ephemeral port), over SPX (the IPX/SPX
// emulation on loopback) or over the single-user socket in a temporary
// directory, and a fake tick source for the deadlines.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>

#include "base/ticks.h"
#include "comms/QDClComm.h"
#include "comms/keepalive.h"
#include "test_peer.h"
#include "tests/support/netbios_loopback.h"

namespace qd::test {

using Bytes = std::vector<uint8_t>;

// What "at once" means in a test: far less than the engine's one-hour reply
// time-out, yet generous for busy cores under the sanitizers.
inline constexpr auto kAtOnce = std::chrono::seconds(30);

// A private directory for the single-user socket of one test.
class SocketDirectory {
 public:
  SocketDirectory() {
    static int counter = 0;
    dir_ = std::filesystem::temp_directory_path() / ("qd_comms_" + std::to_string(getpid()) + "_" + std::to_string(++counter));
    std::filesystem::create_directories(dir_);
    setenv("QUILLDRIVE_SINGLE_USER_SOCKET", (dir_ / "su").c_str(), 1);
  }
  ~SocketDirectory() {
    unsetenv("QUILLDRIVE_SINGLE_USER_SOCKET");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

 private:
  std::filesystem::path dir_;
};

class EngineTest : public ::testing::TestWithParam<PeerTransport> {
 protected:
  void TearDown() override {
    engine_.reset();
    peer_.reset();
    ResetKeepAliveSettings();
    ConfigureNetBIOS(TqdNetBIOSConfig{});  // stops the emulation of this test
  }
  bool Winsock() const { return GetParam() == PeerTransport::kTCP || GetParam() == PeerTransport::kIPXSPX; }

  void StartPeer(PeerBehaviour behaviour = {}) {
    // A fresh emulation for each peer: no name or session of an earlier one.
    engine_.reset();
    peer_.reset();
    if (GetParam() == PeerTransport::kNetBIOS) ConfigureNetBIOS(LoopbackNetBIOS());
    peer_ = std::make_unique<TestPeer>(GetParam(), std::move(behaviour));
    engine_ = std::make_unique<TqdClientCommsEngine>("PC1", ProtocolClassOf(GetParam()));
    engine_->Startup();
    if (Winsock()) static_cast<TqdWinsockProtocol&>(engine_->Transport()).Endpoints.StreamPort = peer_->Port();
  }
  TqdResult Attach(std::string_view password = "secret") {
    return engine_->Attach(std::string("QDTEST@") + LoopbackAddress(GetParam()), "bob", password);
  }
  // Lets the client handle its messages until `done` holds (false when it
  // has not held within kAtOnce).
  bool PumpClientUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + kAtOnce;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      engine_->Transport().Breathe(10);
    }
    return true;
  }
  size_t CountReceived(uint32_t id) {
    auto ids = peer_->Received();
    return static_cast<size_t>(std::count(ids.begin(), ids.end(), id));
  }

  SocketDirectory socketDirectory_;
  std::unique_ptr<TestPeer> peer_;
  std::unique_ptr<TqdClientCommsEngine> engine_;
};

// The transports every engine test runs over.
inline auto AllTransports() {
  return ::testing::Values(PeerTransport::kTCP, PeerTransport::kIPXSPX, PeerTransport::kSingleUser,
                           PeerTransport::kNetBIOS);
}

// The transport of a parameterised engine test, as its name.
inline std::string TransportName(const ::testing::TestParamInfo<PeerTransport>& info) {
  switch (info.param) {
    case PeerTransport::kTCP: return "TCP";
    case PeerTransport::kIPXSPX: return "IPXSPX";
    case PeerTransport::kNetBIOS: return "NetBIOS";
    default: return "SingleUser";
  }
}

// A tick source that the tests move by hand; Install and Uninstall bracket
// its use. The peer's thread reads it too.
struct FakeClock {
  static inline std::atomic<uint32_t> Now{1000};
  static uint32_t Ticks() { return Now; }
  static void Install(uint32_t now = 1000) {
    Now = now;
    SetTickSource(&Ticks);
  }
  static void Uninstall() { SetTickSource(nullptr); }
};

}  // namespace qd::test
