#include <cstdio>
#include <string>

#include "app/command.h"

namespace app {

// Defined in the command's own file.
int RunCommand(const GlobalOptions&, const std::vector<std::string>&);
int RecordCommand(const GlobalOptions&, const std::vector<std::string>&);
int BroadcastCommand(const GlobalOptions&, const std::vector<std::string>&);
int RegisterCommand(const GlobalOptions&, const std::vector<std::string>&);
int LoginCommand(const GlobalOptions&, const std::vector<std::string>&);
int LogoutCommand(const GlobalOptions&, const std::vector<std::string>&);
int WhoamiCommand(const GlobalOptions&, const std::vector<std::string>&);
int PublishCommand(const GlobalOptions&, const std::vector<std::string>&);
int TimelineCommand(const GlobalOptions&, const std::vector<std::string>&);
int ContactsCommand(const GlobalOptions&, const std::vector<std::string>&);
int SegmentCommand(const GlobalOptions&, const std::vector<std::string>&);
int UploadCommand(const GlobalOptions&, const std::vector<std::string>&);
int QueueCommand(const GlobalOptions&, const std::vector<std::string>&);

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"run", "", "start the application and keep it running until SIGTERM or Ctrl-C", RunCommand},
      {"record", "[--source test|camera|FILE] [--duration SECONDS] [--out DIR]",
       "record video and audio files (sample files first when missing); Ctrl-C stops early",
       RecordCommand},
      {"broadcast",
       "[--source test|camera|FILE] [--duration SECONDS] [--title T] [--channel C] "
       "[--private ID,...]",
       "broadcast live: record, publish, stream while recording, then finish the upload; "
       "Ctrl-C stops",
       BroadcastCommand},
      {"register", "(--email E | --mobile M) --password P --name N",
       "create an account on the service and sign in with it", RegisterCommand},
      {"login", "(--email E | --mobile M) --password P", "sign in to the service", LoginCommand},
      {"logout", "", "sign out here and on the service", LogoutCommand},
      {"whoami", "", "show who is signed in (exit 1 when nobody is)", WhoamiCommand},
      {"publish", "[--title T] [--channel C] [--private ID,...]",
       "ask the service to publish a broadcast; prints its answer as one line of JSON",
       PublishCommand},
      {"timeline", "mine|friends|square [--channel C] [--sort hot|new] [--older]",
       "list a timeline, newest first: at once from the cache, then refreshed", TimelineCommand},
      {"contacts", "[list | add ID | remove ID | block ID | unblock ID | search TEXT]",
       "show or change your contacts and blacklist, or look for users", ContactsCommand},
      {"segment",
       "[--video V] --audio A [--video-sample VS] [--audio-sample AS] [--frame-rate N] --out DIR",
       "cut finished recordings into the transport-stream pieces an upload sends", SegmentCommand},
      {"upload",
       "--url PUBLISH_URL [--token T] [--user ID] [--video V] --audio A [--video-sample VS] "
       "[--audio-sample AS]",
       "upload a recording through the upload queue, with progress; run again to resume",
       UploadCommand},
      {"queue",
       "[list | start ID | stop ID | rm ID] [--user ID] [--token T] [--video-sample VS] "
       "[--audio-sample AS]",
       "show the upload queue, or start, stop or remove one of its tasks", QueueCommand},
  };
  return commands;
}

int UsageError(std::string_view message) {
  std::fprintf(stderr, "selvo: %.*s (see 'selvo --help')\n", static_cast<int>(message.size()),
               message.data());
  return 2;
}

int Failure(std::string_view message) {
  std::fprintf(stderr, "selvo: %.*s\n", static_cast<int>(message.size()), message.data());
  return 1;
}

}  // namespace app
