#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/hooks.h"
#include "platform/settings.h"
#include "platform/socket_errors.h"
#include "platform/user_name.h"

namespace qd {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("qd_settings_" + std::to_string(getpid()));
    fs::create_directories(root_ / "b" / "Brackwater");
    fs::create_directories(root_ / "a");
    dirs_ = (root_ / "a").string() + ":" + (root_ / "b").string();
    setenv("XDG_CONFIG_DIRS", dirs_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_DIRS");
    fs::remove_all(root_);
  }
  void Write(const std::string& text) {
    std::ofstream(root_ / "b" / "Brackwater" / "Quilldrive.conf") << text;
  }
  fs::path root_;
  std::string dirs_;
};

TEST_F(SettingsTest, NoFileGivesNoValue) {
  EXPECT_FALSE(FindSettingsFile().has_value());
  EXPECT_FALSE(ReadSettingsValue("Client Configuration", "Protocol").has_value());
}

TEST_F(SettingsTest, FindsTheFirstDirectoryThatHasTheFile) {
  Write("[Client Configuration]\nProtocol=TCP/IP\n");
  EXPECT_EQ(FindSettingsFile(), (root_ / "b" / "Brackwater" / "Quilldrive.conf").string());
}

TEST_F(SettingsTest, ReadsValuesAfreshEachTime) {
  struct Case {
    const char* file;
    const char* section;
    const char* key;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"[Client Configuration]\nProtocol=TCP/IP\n", "Client Configuration", "Protocol", "TCP/IP"},
      {"[client configuration]\nPROTOCOL = NetBIOS\n", "Client Configuration", "Protocol", "NetBIOS"},
      {"[Client%20Configuration]\nServerName=a@b\n", "Client Configuration", "ServerName", "a@b"},
      {"[Client Configuration]\nServerName=\"x, y\"\n", "Client Configuration", "ServerName", "x, y"},
      {"[Other]\nProtocol=TCP/IP\n", "Client Configuration", "Protocol", std::nullopt},
      {"[Client Configuration]\nServerName=\n", "Client Configuration", "ServerName", ""},
      {"garbage without section\n[Client Configuration]\nProtocol=IPX/SPX\n", "Client Configuration",
       "Protocol", "IPX/SPX"},
  };
  for (const Case& c : cases) {
    Write(c.file);
    EXPECT_EQ(ReadSettingsValue(c.section, c.key), c.value) << c.file;
  }
}

TEST(UserNameTest, IsTheEffectiveUsersLoginName) { EXPECT_FALSE(GetNetUserName().empty()); }

TEST(HooksTest, MessageBoxGoesToTheHook) {
  std::string seen;
  SetMessageBoxHook([&](std::string_view caption, std::string_view text) {
    seen = std::string(caption) + "|" + std::string(text);
  });
  ShowMessageBox("Info", "Table.Open");
  EXPECT_EQ(seen, "Info|Table.Open");
  int beeps = 0;
  SetBeepHook([&] { ++beeps; });
  Beep();
  EXPECT_EQ(beeps, 1);
  SetMessageBoxHook({});
  SetBeepHook({});
  Beep();  // without a hook: nothing
}

TEST(SocketErrorsTest, MapsErrnoToWinsockNumbers) {
  struct Case {
    int err;
    int32_t wsa;
  };
  for (Case c : {Case{0, 0}, Case{EWOULDBLOCK, 10035}, Case{ECONNREFUSED, 10061}, Case{ECONNRESET, 10054},
                 Case{EADDRINUSE, 10048}, Case{ETIMEDOUT, 10060}, Case{EPIPE, 10054}, Case{ENOENT, 10014}})
    EXPECT_EQ(WinsockErrorFromErrno(c.err), c.wsa) << c.err;
}

}  // namespace
}  // namespace qd
