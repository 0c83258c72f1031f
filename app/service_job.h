// What the commands that talk to the service share: running a job inside the
// application host, reading the signed-in state, and the text of a failure.
#pragma once

#include <functional>
#include <string>

#include "app/application_host.h"
#include "app/command.h"
#include "platform/value.h"

namespace app {

// Runs `job` on the main queue of a launched application; `finish` ends it
// with an exit status. Checks --ca-file first (exit 1 when unreadable).
int RunServiceJob(
    const GlobalOptions& options,
    std::function<void(const ApplicationHost& host, ApplicationHost::Finish finish)> job);

// Why a request failed: the service's "msg" when the error has one, else its
// "code", else that no usable answer came from `server`.
std::string FailureText(const platform::Value& error, const std::string& server);

// Text from the network made fit for one line of output: control characters
// become spaces.
std::string OneLine(std::string text);

// Prints "selvo: <message>" on stderr and finishes with status 1.
void Fail(const ApplicationHost::Finish& finish, const std::string& message);

}  // namespace app
