// Subprocess: starts a program for an end-to-end test, with its standard output
// and error captured, and lets the test signal it, read lines as they come and
// wait for it with a time-out.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Subprocess {
 public:
  // Starts `argv` with `extra_env` ("NAME=value") added to this process's
  // environment and `input` written to its standard input (then closed).
  explicit Subprocess(std::vector<std::string> argv, std::vector<std::string> extra_env = {},
                      std::string input = {});
  ~Subprocess();  // kills the process if it still runs
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int signo);

  // The next line of standard output (without the newline), or nullopt when the
  // output ended or `timeout` passed.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);

  // Waits for the exit; returns the exit status, 128 + signal when a signal
  // killed it, or nullopt at the time-out (the process is then left running).
  std::optional<int> Wait(std::chrono::milliseconds timeout);

  // Everything read so far (Wait reads to the end).
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  bool Pump(std::chrono::milliseconds timeout);

  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
  size_t out_consumed_ = 0;
  std::optional<int> status_;
};

// Runs a program to its end (at most `timeout`) and returns its exit status.
int RunProgram(std::vector<std::string> argv, std::string* out = nullptr, std::string* err = nullptr,
               std::chrono::milliseconds timeout = std::chrono::seconds(60));

// Path of an executable of this build's bin directory (SELVO_BIN_DIR).
std::string BinaryPath(const std::string& name);

}  // namespace platform
