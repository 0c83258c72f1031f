#include "platform/testing/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

int StatusOf(int raw) {
  if (WIFEXITED(raw)) return WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
  return -1;
}

}  // namespace

Subprocess::Subprocess(std::vector<std::string> argv, std::vector<std::string> extra_env,
                       std::string input) {
  int out_pipe[2], err_pipe[2], in_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0 ||
      ::pipe2(in_pipe, O_CLOEXEC) != 0) {
    std::perror("pipe2");
    std::abort();
  }
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), extra_env.begin(), extra_env.end());
  std::vector<char*> env_ptrs, argv_ptrs;
  for (auto& e : env) env_ptrs.push_back(e.data());
  env_ptrs.push_back(nullptr);
  for (auto& a : argv) argv_ptrs.push_back(a.data());
  argv_ptrs.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    // A test's blocked signals must not be inherited by the program.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(argv_ptrs[0], argv_ptrs.data(), env_ptrs.data());
    std::fprintf(stderr, "cannot run %s: %s\n", argv_ptrs[0], std::strerror(errno));
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  if (!input.empty()) (void)!::write(in_pipe[1], input.data(), input.size());
  ::close(in_pipe[1]);
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
}

Subprocess::~Subprocess() {
  if (!status_ && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
  if (err_fd_ >= 0) ::close(err_fd_);
}

void Subprocess::Signal(int signo) {
  if (!status_) ::kill(pid_, signo);
}

// Reads what is available within `timeout`; false when both streams ended.
bool Subprocess::Pump(std::chrono::milliseconds timeout) {
  pollfd fds[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
  int n = ::poll(fds, 2, static_cast<int>(timeout.count()));
  if (n <= 0) return out_fd_ >= 0 || err_fd_ >= 0;
  int* fd_fields[2] = {&out_fd_, &err_fd_};
  std::string* sinks[2] = {&out_, &err_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    char buffer[4096];
    ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
    if (got > 0) {
      sinks[i]->append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      ::close(fds[i].fd);
      *fd_fields[i] = -1;
    }
  }
  return out_fd_ >= 0 || err_fd_ >= 0;
}

std::optional<std::string> Subprocess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    size_t newline = out_.find('\n', out_consumed_);
    if (newline != std::string::npos) {
      std::string line = out_.substr(out_consumed_, newline - out_consumed_);
      out_consumed_ = newline + 1;
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || out_fd_ < 0) return std::nullopt;
    Pump(left);
  }
}

std::optional<int> Subprocess::Wait(std::chrono::milliseconds timeout) {
  if (status_) return status_;
  const auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    bool open = Pump(std::min(left, std::chrono::milliseconds(50)));
    int raw = 0;
    if (!open && ::waitpid(pid_, &raw, 0) == pid_) {
      status_ = StatusOf(raw);
      return status_;
    }
    if (open && ::waitpid(pid_, &raw, WNOHANG) == pid_) {
      while (Pump(std::chrono::milliseconds(100))) {
      }
      status_ = StatusOf(raw);
      return status_;
    }
  }
  return std::nullopt;
}

int RunProgram(std::vector<std::string> argv, std::string* out, std::string* err,
               std::chrono::milliseconds timeout) {
  Subprocess process(std::move(argv));
  auto status = process.Wait(timeout);
  if (out) *out = process.out();
  if (err) *err = process.err();
  return status.value_or(-1);
}

std::string BinaryPath(const std::string& name) {
  const char* dir = std::getenv("SELVO_BIN_DIR");
  return std::string(dir && *dir ? dir : "build/bin") + "/" + name;
}

}  // namespace platform
