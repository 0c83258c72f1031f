#include "app/service_job.h"

#include <unistd.h>

#include <cstdio>

namespace app {

int RunServiceJob(
    const GlobalOptions& options,
    std::function<void(const ApplicationHost& host, ApplicationHost::Finish finish)> job) {
  if (options.ca_file && ::access(options.ca_file->c_str(), R_OK) != 0) {
    return Failure("cannot read the CA file " + *options.ca_file);
  }
  ApplicationHost host(options);
  return host.Run([&host, job = std::move(job)](ApplicationHost::Finish finish) {
    job(host, std::move(finish));
  });
}

std::string FailureText(const platform::Value& error, const std::string& server) {
  const platform::Value& msg = error["msg"];
  if (msg.is_string() && !msg.AsString().empty()) return msg.AsString();
  if (error.Contains("code")) return "the service answered with code " + error["code"].AsString();
  return "no usable answer from " + server;
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return text;
}

void Fail(const ApplicationHost::Finish& finish, const std::string& message) {
  std::fprintf(stderr, "selvo: %s\n", message.c_str());
  finish(1);
}

}  // namespace app
