// A qd-server process for the integration tests: started with a config
// file, its endpoints read from its first lines of output (standard output
// and the log on standard error together), stopped with a signal of the
// test's choice.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace qd::test {

class ServerProcess {
 public:
  ServerProcess(const std::string& binary, const std::string& config, const std::string& socketPath) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      // A test that dies must not leave its server running: it would hold
      // the test's output pipes open and keep the test runner waiting.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      dup2(out[1], 1);
      dup2(out[1], 2);  // the log too
      close(out[0]);
      close(out[1]);
      setenv("QUILLDRIVE_SINGLE_USER_SOCKET", socketPath.c_str(), 1);
      execl(binary.c_str(), binary.c_str(), "--config", config.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    ReadUntil("serving");
  }
  ~ServerProcess() {
    Signal(SIGKILL);
    if (out_ >= 0) close(out_);
  }

  // Reads output until a line contains `marker` or 20 s pass; true when seen.
  bool ReadUntil(const std::string& marker) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (output_.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      if (ReadSome(100) < 0) break;
    }
    return output_.find(marker) != std::string::npos;
  }
  // Reads what the server has written until it is quiet for 200 ms.
  void ReadAvailable() {
    while (ReadSome(200) > 0) {
    }
  }
  pid_t Pid() const { return pid_; }
  uint16_t TcpPort() const { return PortAfter("TCP/IP port "); }
  uint16_t SpxPort() const { return PortAfter("SPX on TCP port "); }
  // Sends `sig` and waits for the exit; the exit status (or -1).
  int Signal(int sig) {
    if (pid_ <= 0) return -1;
    kill(pid_, sig);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& Output() const { return output_; }

 private:
  // The number written after `marker` in the output, or 0.
  uint16_t PortAfter(const std::string& marker) const {
    size_t at = output_.find(marker);
    return at == std::string::npos ? 0 : static_cast<uint16_t>(std::stoi(output_.substr(at + marker.size())));
  }
  // Waits up to `ms` for output and appends it: the bytes read, 0 when
  // none came, -1 at the end of the output.
  int ReadSome(int ms) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return 0;
    char buffer[4096];
    ssize_t n = read(out_, buffer, sizeof buffer);
    if (n <= 0) return -1;
    output_.append(buffer, static_cast<size_t>(n));
    return static_cast<int>(n);
  }

  pid_t pid_ = -1;
  int out_ = -1;
  std::string output_;
};

}  // namespace qd::test
