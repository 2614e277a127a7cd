// The settings file as a client reads it: the input becomes the one
// settings file of a private XDG_CONFIG_DIRS, and every reader of the
// client configuration (transport, server name, ports and addresses, the
// IPX/SPX emulation, NetBIOS) takes its values from it.
// Thread rules: libFuzzer calls the target from one thread.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "comms/QDCLCfg.h"
#include "platform/netbios/netbios.h"
#include "platform/settings.h"

namespace {

std::filesystem::path g_file;

void RemoveDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(g_file.parent_path().parent_path(), ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qd-fuzz-settings-" + std::to_string(getpid()));
  g_file = dir / std::string(qd::kSettingsRelativePath);
  std::filesystem::create_directories(g_file.parent_path());
  setenv("XDG_CONFIG_DIRS", dir.c_str(), 1);
  std::atexit(RemoveDirectory);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (FILE* f = std::fopen(g_file.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  const qd::TqdProtocolClass* protocol = nullptr;
  std::string name;
  qd::GetDefaultProtocol(protocol, name);
  qd::GetDefaultServerName();
  qd::GetClientEndpoints();
  qd::GetClientIpxEmulation();
  qd::NetBIOSConfigFromSettings(qd::kClientConfigurationSection);
  return 0;
}
