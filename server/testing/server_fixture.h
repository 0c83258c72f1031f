// Runs the real selvo-server for integration tests, over real HTTP(S) on
// loopback.
//
//   #include "server/testing/server_fixture.h"
//   #include "server/testing/http_client.h"
//
//   // One server for the whole test binary or suite keeps tests quick:
//   class MyTest : public ::testing::Test {
//    protected:
//     static void SetUpTestSuite() { server_ = new server_testing::ServerProcess(); }
//     static void TearDownTestSuite() { delete server_; }  // SIGTERM, waits, removes its data
//     static server_testing::ServerProcess* server_;
//   };
//   server_testing::ServerProcess* MyTest::server_ = nullptr;
//
//   TEST_F(MyTest, SignsUp) {
//     server_testing::HttpClient client(server_->url());
//     auto account = server_testing::RegisterEmailUser(client, "ann@example.com", "secret1", "Ann");
//     client.set_token(account.token);
//     EXPECT_EQ(client.Get("/api/user/settings").status, 200);
//   }
//
// The process is build/bin/selvo-server (found through $SELVO_SERVER_BIN, else
// $SELVO_BIN_DIR, which ctest sets, else the build tree it was compiled in),
// started on 127.0.0.1 port 0 with a fresh temporary data directory; url() is
// read from its first output line. Mobile sign-ups are active at once unless
// ServerOptions::activate_mobile_signups is false.
//
// TLS: ServerOptions{.tls = true} makes a self-signed certificate for
// 127.0.0.1 and localhost (with the openssl tool) and serves https; clients
// verify it with ca_file() and must fail without it.
//
// Crash tests: Kill() sends SIGKILL; Restart() starts the server again on the
// same data directory (a new port: take url() again).
//
// The server is killed when the thread that started it ends (also when the
// test crashes), so start it from a thread that outlives its use, normally
// the main thread.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace server_testing {

struct TlsFiles {
  std::string cert;  // PEM certificate; it is its own CA: clients trust this file
  std::string key;   // PEM private key
};

// Writes a self-signed certificate for 127.0.0.1, ::1 and localhost, valid for
// two days, into `dir` (cert.pem, key.pem). Throws std::runtime_error.
TlsFiles MakeSelfSignedCertificate(const std::string& dir);

// The selvo-server binary to run.
std::string ServerBinary();

struct ServerOptions {
  bool tls = false;
  bool activate_mobile_signups = true;
  std::string data_dir;  // empty: a fresh temporary directory, removed afterwards
  std::vector<std::string> extra_args;  // more selvo-server options
};

class ServerProcess {
 public:
  // Starts the server and waits (at most 30 s) for its first line. Throws
  // std::runtime_error when it does not come up.
  explicit ServerProcess(ServerOptions options = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  const std::string& url() const { return url_; }  // "http://127.0.0.1:PORT" or https
  // The server's --data directory.
  const std::string& data_dir() const { return server_data_dir_; }
  const std::string& ca_file() const { return tls_.cert; }  // empty without TLS
  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }

  // SIGTERM and wait; the exit status (-1 when it died of a signal or was not running).
  int Stop();
  // SIGKILL and wait.
  void Kill();
  // Starts again on the same data directory and certificate.
  void Restart();

 private:
  void Start();

  ServerOptions options_;
  std::string data_dir_;  // holds the server's data and the certificate
  std::string server_data_dir_;
  bool own_data_dir_ = false;
  TlsFiles tls_;
  std::string url_;
  pid_t pid_ = -1;
};

// A fresh directory under $TMPDIR (or /tmp); the caller removes it.
std::string MakeTempDir(const std::string& prefix);
void RemoveTree(const std::string& path);

}  // namespace server_testing
