#include "server/api_test_support.h"

#include <sqlite3.h>
#include <unistd.h>

#include <atomic>

namespace server_api_test {
namespace {

server_testing::ServerProcess* server = nullptr;

class StopServer : public ::testing::Environment {
 public:
  void TearDown() override {
    delete server;
    server = nullptr;
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new StopServer);

}  // namespace

server_testing::ServerProcess& Server() {
  if (!server) {
    server_testing::ServerOptions options;
    options.activate_mobile_signups = false;
    options.extra_args = {"--list-size", std::to_string(kListSize), "--contacts-limit", "4"};
    server = new server_testing::ServerProcess(options);
  }
  return *server;
}

Account NewUser(const std::string& screen_name) {
  static std::atomic<int> counter{0};
  HttpClient client(Server().url());
  std::string email = "user" + std::to_string(++counter) + "." + std::to_string(::getpid()) +
                      "@example.com";
  return server_testing::RegisterEmailUser(client, email, "secret-" + screen_name, screen_name);
}

std::unique_ptr<HttpClient> ClientFor(const Account& account) {
  auto client = std::make_unique<HttpClient>(Server().url());
  client->set_token(account.token);
  return client;
}

::testing::AssertionResult IsError(const HttpAnswer& answer, long status, const std::string& msg_part) {
  if (answer.status != status) {
    return ::testing::AssertionFailure() << "status " << answer.status << " (wanted " << status
                                         << "): " << answer.body << answer.error;
  }
  if (!answer.content_type.starts_with("application/json")) {
    return ::testing::AssertionFailure() << "content type " << answer.content_type;
  }
  if (answer.json["code"].AsInt() != status || !answer.json["msg"].is_string()) {
    return ::testing::AssertionFailure() << "body " << answer.body;
  }
  if (answer.json["msg"].AsString().find(msg_part) == std::string::npos) {
    return ::testing::AssertionFailure() << "message \"" << answer.json["msg"].AsString()
                                         << "\" lacks \"" << msg_part << "\"";
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult IsOk(const HttpAnswer& answer) {
  if (answer.status != 200 || !answer.content_type.starts_with("application/json")) {
    return ::testing::AssertionFailure() << "status " << answer.status << " " << answer.content_type
                                         << ": " << answer.body << answer.error;
  }
  return ::testing::AssertionSuccess();
}

int64_t CountRows(const std::string& table) {
  sqlite3* db = nullptr;
  std::string path = Server().data_dir() + "/selvo.db";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return -1;
  }
  sqlite3_busy_timeout(db, 5000);
  sqlite3_stmt* stmt = nullptr;
  // The table name is one of the test's own constants.
  std::string sql = "SELECT COUNT(*) FROM " + table;
  int64_t count = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW) {
    count = sqlite3_column_int64(stmt, 0);
  }
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  return count;
}

}  // namespace server_api_test
