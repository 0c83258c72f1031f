// selvo upload: adds a recording to the signed-in user's upload queue and uploads it to
// the ingest URL of a published video, as a file task of the streaming engine, with its
// progress on stderr. Interrupted and run again, it resumes after the last piece the
// server accepted.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/application_host.h"
#include "app/args.h"
#include "app/command.h"
#include "app/recording_checks.h"
#include "app/streaming_engine.h"
#include "app/upload_queue_lock.h"
#include "app/upload_runner.h"
#include "platform/environment.h"

namespace app {

int UploadCommand(const GlobalOptions& options, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("url").Value("token").Value("user").Value("video").Value("audio");
  parser.Value("video-sample").Value("audio-sample");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (!parser.positional().empty()) {
    return UsageError("unexpected argument '" + parser.positional().front() + "'");
  }
  const auto url = parser.Get("url");
  if (!url || url->empty()) return UsageError("upload needs --url PUBLISH_URL");
  if ((url->rfind("http://", 0) != 0 && url->rfind("https://", 0) != 0) ||
      url->find_first_of(" \t\r\n") != std::string::npos || url->size() > 255) {
    return UsageError("--url needs an http:// or https:// URL without blanks");
  }
  const auto audio = parser.Get("audio");
  if (!audio || audio->empty()) return UsageError("upload needs --audio A");
  const auto video = parser.Get("video");
  if (video && video->empty()) return UsageError("option --video needs a file");
  if (!video && parser.Has("video-sample")) return UsageError("--video-sample needs --video");

  UploadRequest request;
  request.url = *url;
  for (const auto& [given, path] :
       {std::pair{audio, &request.audio_path}, std::pair{video, &request.video_path}}) {
    if (!given) continue;
    if (std::string problem = CheckRecording(*given); !problem.empty()) return Failure(problem);
    *path = AbsolutePath(*given);
    if (std::string problem = CheckQueuedPath(*path); !problem.empty()) return Failure(problem);
  }
  for (const auto& [name, path] : {std::pair{"video-sample", &request.video_sample},
                                   std::pair{"audio-sample", &request.audio_sample}}) {
    if (auto given = parser.Get(name)) {
      if (std::string problem = CheckRecording(*given); !problem.empty()) return Failure(problem);
      *path = AbsolutePath(*given);
    }
  }
  if (options.ca_file && ::access(options.ca_file->c_str(), R_OK) != 0) {
    return Failure("cannot read the CA file " + *options.ca_file);
  }

  ApplicationHost host(options);
  std::string error;
  if (!ResolveUploadAccount(parser, &request.access_token, &request.user_id, &error)) {
    return UsageError(error);
  }
  request.new_task_id = platform::DefaultEnvironment().NewUuid();
  std::optional<UploadQueueLock::Holder> holder;
  std::unique_ptr<UploadQueueLock> lock = UploadQueueLock::TryTake(
      platform::DefaultEnvironment().DocumentsDirectory(), UserHexText(request.user_id), &holder);
  if (!lock) {
    return Failure("another selvo process" +
                   (holder ? " (process " + std::to_string(holder->pid) + ")" : std::string()) +
                   " is uploading from this upload queue; wait for it or stop it with "
                   "'selvo queue stop ID'");
  }

  std::unique_ptr<UploadRunner> runner;
  const int status = host.Run([&](ApplicationHost::Finish finish) {
    runner = std::make_unique<UploadRunner>(request, lock.get(), std::move(finish));
    runner->Start();
  });
  if (status > 128) {
    std::fprintf(stderr, "selvo: interrupted; run the same command again to resume the upload\n");
  }
  return status;
}

}  // namespace app
