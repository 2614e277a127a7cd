// qd-reindex as a child process for the tests: arguments and extra
// environment in, standard input from /dev/null (no terminal), both output
// streams read as they come, the exit code out; a signal may be sent
// while it runs.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace qd::test {

struct ReindexResult {
  int ExitCode = -1;  // -1: did not end in time, or ended by a signal
  std::string Out;
  std::string Err;
  double Seconds = 0;
};

class ReindexProcess {
 public:
  // An environment value of nullptr removes the variable.
  ReindexProcess(const std::vector<std::string>& arguments, const std::map<std::string, const char*>& environment) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return;
    start_ = std::chrono::steady_clock::now();
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      int in = open("/dev/null", O_RDONLY);
      dup2(in, 0);
      dup2(out[1], 1);
      dup2(err[1], 2);
      for (int fd : {out[0], out[1], err[0], err[1], in}) close(fd);
      for (const auto& [name, value] : environment) {
        if (value == nullptr) {
          unsetenv(name.c_str());
        } else {
          setenv(name.c_str(), value, 1);
        }
      }
      std::vector<char*> argv{const_cast<char*>(QD_REINDEX_PATH)};
      for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(QD_REINDEX_PATH, argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~ReindexProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int fd : {out_, err_})
      if (fd >= 0) close(fd);
  }

  // Reads until standard output holds `marker`, the output ends or
  // `seconds` pass; true when seen.
  bool ReadUntil(const std::string& marker, int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (result_.Out.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      if (!ReadSome(100)) break;
    }
    return result_.Out.find(marker) != std::string::npos;
  }
  void Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
  }
  // Reads to the end of both streams and waits for the exit, at most
  // `seconds`; then the process is killed.
  ReindexResult Wait(int seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = -1;
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
      if (ReadSome(100)) continue;
      // Both streams ended; the exit follows.
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      poll(nullptr, 0, 10);
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      status = -1;
    }
    result_.ExitCode = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result_.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    return result_;
  }

 private:
  // False once both streams have ended.
  bool ReadSome(int ms) {
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (out_ < 0 && err_ < 0) return false;
    if (poll(p, 2, ms) <= 0) return true;
    std::string* into[2] = {&result_.Out, &result_.Err};
    int* fds[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
      if (*fds[i] < 0 || (p[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      char buffer[4096];
      ssize_t n = read(*fds[i], buffer, sizeof buffer);
      if (n <= 0) {
        close(*fds[i]);
        *fds[i] = -1;
      } else {
        into[i]->append(buffer, static_cast<size_t>(n));
      }
    }
    return out_ >= 0 || err_ >= 0;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::chrono::steady_clock::time_point start_;
  ReindexResult result_;
};

}  // namespace qd::test
