// selvo publish [--title T] [--channel C] [--private ID,...]: asks the service
// to publish a new broadcast and prints its answer (the video id, the ingest
// and playlist URLs) as one line of JSON. --private names the receivers of a
// private broadcast: user ids or guests ("provider#identity").
#include <cstdio>

#include "app/args.h"
#include "app/service_job.h"
#include "platform/json.h"
#include "service/video_api_client.h"
#include "shell/geo.h"
#include "shell/session.h"

namespace app {

int PublishCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("title").Value("channel").Value("private");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) return UsageError("publish takes no arguments");
  service::VideoAPIClient::Publish publish;
  publish.title = parser.Get("title");
  publish.channel = parser.Get("channel");
  if (auto receivers = parser.Get("private")) {
    publish.acl = SplitList(*receivers);
    if (publish.acl->empty()) return UsageError("--private needs at least one receiver");
  }
  publish.is_public = !publish.acl;

  return RunServiceJob(options, [&](const ApplicationHost& host, ApplicationHost::Finish finish) {
    if (!shell::InstallStoredLogin()) return Fail(finish, "not signed in");
    publish.latitude = shell::Geo::GetLatitude();
    publish.longitude = shell::Geo::GetLongitude();
    const std::string server = host.ServerUrl();
    service::VideoAPIClient::PublishVideo(
        publish,
        [finish](const platform::Value& response) {
          std::printf("%s\n", platform::ToJson(response).c_str());
          finish(0);
        },
        [finish, server](const platform::Value& e) {
          Fail(finish, "publish failed: " + FailureText(e, server));
        });
  });
}

}  // namespace app
