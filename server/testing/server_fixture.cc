#include "server/testing/server_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace server_testing {

std::string MakeTempDir(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::string ServerBinary() {
  if (const char* bin = std::getenv("SELVO_SERVER_BIN"); bin && *bin) return bin;
  if (const char* dir = std::getenv("SELVO_BIN_DIR"); dir && *dir) {
    return std::string(dir) + "/selvo-server";
  }
  return std::string(SELVO_DEFAULT_BIN_DIR) + "/selvo-server";
}

namespace {

// Runs a program and waits; its exit status.
int Run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TlsFiles MakeSelfSignedCertificate(const std::string& dir) {
  TlsFiles files{dir + "/cert.pem", dir + "/key.pem"};
  int rc = Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                "-nodes", "-keyout", files.key, "-out", files.cert, "-days", "2", "-subj",
                "/CN=selvo-server test", "-addext",
                "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost", "-addext",
                "basicConstraints=critical,CA:TRUE"});
  if (rc != 0) throw std::runtime_error("openssl could not make a test certificate");
  return files;
}

ServerProcess::ServerProcess(ServerOptions options) : options_(std::move(options)) {
  if (options_.data_dir.empty()) {
    data_dir_ = MakeTempDir("selvo-server-test-");
    own_data_dir_ = true;
  } else {
    data_dir_ = options_.data_dir;
  }
  server_data_dir_ = data_dir_ + "/data";
  if (options_.tls) tls_ = MakeSelfSignedCertificate(data_dir_);
  Start();
}

ServerProcess::~ServerProcess() {
  Stop();
  if (own_data_dir_) RemoveTree(data_dir_);
}

void ServerProcess::Start() {
  std::vector<std::string> argv = {ServerBinary(), "--listen", "127.0.0.1:0", "--data",
                                   server_data_dir_};
  if (options_.tls) {
    argv.insert(argv.end(), {"--tls-cert", tls_.cert, "--tls-key", tls_.key});
  }
  if (options_.activate_mobile_signups) argv.push_back("--activate-mobile-signups");
  argv.insert(argv.end(), options_.extra_args.begin(), options_.extra_args.end());
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // The server must not outlive a test that crashed or was killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    dup2(fds[1], STDOUT_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid_ < 0) {
    close(fds[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0]);
  }
  // The first line: "listening on URL".
  std::string line;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (line.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[256];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  const std::string prefix = "listening on ";
  if (!line.starts_with(prefix) || line.find('\n') == std::string::npos) {
    Kill();
    throw std::runtime_error("selvo-server did not start (first line: \"" + line + "\")");
  }
  url_ = line.substr(prefix.size(), line.find('\n') - prefix.size());
}

int ServerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ServerProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

void ServerProcess::Restart() {
  Stop();
  Start();
}

}  // namespace server_testing
