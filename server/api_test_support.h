// The one selvo-server every test of server_api_test talks to, and helpers
// for checking answers.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "server/testing/http_client.h"
#include "server/testing/server_fixture.h"

namespace server_api_test {

using server_testing::Account;
using server_testing::Form;
using server_testing::HttpAnswer;
using server_testing::HttpClient;

// Started at the first call (lists of at most 5 items, mobile sign-ups
// waiting for activation), stopped when the test binary ends.
server_testing::ServerProcess& Server();
constexpr int kListSize = 5;

// A fresh e-mail user with a unique address.
Account NewUser(const std::string& screen_name);
// A client already signed in as `account`.
std::unique_ptr<HttpClient> ClientFor(const Account& account);

// Checks a refusal: the status, a JSON body {"code": status, "msg": ...}
// whose message contains `msg_part`.
::testing::AssertionResult IsError(const HttpAnswer& answer, long status,
                                   const std::string& msg_part = "");
::testing::AssertionResult IsOk(const HttpAnswer& answer);

// Counts rows of a table in the server's database (read-only, beside the
// running server), to check that refused requests stored nothing.
int64_t CountRows(const std::string& table);

}  // namespace server_api_test
