// selvo timeline mine|friends|square [--channel C] [--sort hot|new] [--older]:
// a timeline newest first. The own and the friends' room show at once what
// the cache holds, then the list as refreshed from the service; --older then
// also loads the page of older videos. The square works signed out too.
// Durations are measured from the videos' playlists before the refreshed
// list is shown.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/args.h"
#include "app/service_job.h"
#include "engine/media_utils.h"
#include "platform/environment.h"
#include "shell/login_user_info_preferences.h"
#include "shell/selvo_global_preferences.h"
#include "shell/session.h"
#include "store/service_timeline_requests.h"
#include "store/storelib.h"
#include "store/timeline_utils.h"

namespace app {
namespace {

using store::TimelineKind;

// Passes requests on and keeps the last failure, which the list itself only
// logs.
class FailureRecorder final : public store::TimelineRequests {
 public:
  explicit FailureRecorder(std::unique_ptr<store::TimelineRequests> requests)
      : requests_(std::move(requests)) {}
  void RequestPage(std::optional<int64_t> before, std::optional<int64_t> after, Success success,
                   Failure failure) override {
    requests_->RequestPage(before, after, std::move(success),
                           [this, failure](const platform::Value& error) {
                             failed_ = true;
                             error_ = error;
                             if (failure) failure(error);
                           });
  }
  // The failure since the last call, if any.
  std::optional<platform::Value> TakeFailure() {
    if (!failed_) return std::nullopt;
    failed_ = false;
    return error_;
  }

 private:
  std::unique_ptr<store::TimelineRequests> requests_;
  bool failed_ = false;
  platform::Value error_;
};

// Durations in seconds, measured from the videos' playlists, by video id.
using Durations = std::map<int64_t, int>;

void PrintList(const std::string& heading, const std::vector<store::VideoItem>& items,
               const Durations& durations = {}) {
  using store::TimelineUtils;
  std::printf("%s: %zu video%s\n", heading.c_str(), items.size(), items.size() == 1 ? "" : "s");
  for (const store::VideoItem& item : items) {
    const auto measured = durations.find(item.videoId);
    const std::string duration = measured != durations.end()
                                     ? TimelineUtils::SecondsDurationTommss(measured->second)
                                     : "--:--";
    std::string stats;
    TimelineUtils::UpdateStatsDataLabel(&stats, item);
    std::string marks;
    if (!item.channel.empty()) marks += " #" + OneLine(item.channel);
    if (!item.isPublicVideo) marks += " (private)";
    if (item.videoIsHidden) marks += " (hidden)";
    std::printf(
        "  %lld  %s  %s  \"%s\" by %s%s\n      %s\n", static_cast<long long>(item.videoId),
        TimelineUtils::MakeDisplayTime(static_cast<int32_t>(item.publishUtc), item.title).c_str(),
        duration.c_str(), OneLine(item.title).c_str(), OneLine(item.userScreenName).c_str(),
        marks.c_str(), stats.c_str());
  }
  std::fflush(stdout);
}

// Downloads the playlist of every listed video and adds up its pieces;
// `done` runs once all have answered. A playlist that cannot be read leaves
// the duration unknown.
void MeasureDurations(const std::vector<store::VideoItem>& items,
                      const std::shared_ptr<Durations>& durations, std::function<void()> done) {
  std::map<std::string, std::vector<int64_t>> videos;  // by playlist URL
  for (const store::VideoItem& item : items) {
    if (!item.playUrl.empty()) videos[item.playUrl].push_back(item.videoId);
  }
  if (videos.empty()) return done();
  auto waiting = std::make_shared<size_t>(videos.size());
  auto answered = [waiting, done] {
    if (--*waiting == 0) done();
  };
  for (const auto& [url, ids] : videos) {
    store::TimelineUtils::DownloadRemoteTextFile(
        url,
        [durations, ids, answered](const std::string& playlist) {
          const int seconds = selvo::MediaUtils::ParseDuarationFromM3U8(playlist.c_str());
          for (int64_t id : ids) (*durations)[id] = seconds;
          answered();
        },
        answered);
  }
}

struct Options {
  TimelineKind kind = TimelineKind::kSquare;
  std::string name;  // for the headings
  std::optional<std::string> channel;
  store::SquareSort sort = store::SquareSort::kNone;
  bool older = false;
};

}  // namespace

int TimelineCommand(const GlobalOptions& global, const std::vector<std::string>& args) {
  ArgParser parser;
  parser.Value("channel").Value("sort").Flag("older");
  if (!parser.Parse(args)) return UsageError(parser.error());
  if (parser.positional().size() != 1) {
    return UsageError("timeline needs one of: mine, friends, square");
  }
  Options options;
  const std::string& which = parser.positional()[0];
  if (which == "mine") {
    options.kind = TimelineKind::kMyVideoRoom;
    options.name = "my videos";
  } else if (which == "friends") {
    options.kind = TimelineKind::kBuddyVideoRoom;
    options.name = "friends' videos";
  } else if (which == "square") {
    options.kind = TimelineKind::kSquare;
    options.name = "square";
  } else {
    return UsageError("unknown timeline '" + which + "': use mine, friends or square");
  }
  if (options.kind != TimelineKind::kSquare && (parser.Has("channel") || parser.Has("sort"))) {
    return UsageError("--channel and --sort apply to the square only");
  }
  if (auto channel = parser.Get("channel")) {
    if (channel->empty()) return UsageError("--channel needs a channel name");
    options.channel = *channel;
    options.name += " #" + *channel;
  }
  if (auto sort = parser.Get("sort")) {
    if (*sort == "hot") {
      options.sort = store::SquareSort::kHot;
    } else if (*sort == "new") {
      options.sort = store::SquareSort::kNew;
    } else {
      return UsageError("--sort takes hot or new");
    }
    options.name += " (" + *sort + ")";
  }
  options.older = parser.Has("older");
  if (options.older && options.sort == store::SquareSort::kHot) {
    return UsageError("the hot square has no older videos; leave out --older");
  }

  std::unique_ptr<FailureRecorder> requests;
  std::unique_ptr<store::TimelineList> list;
  bool store_open = false;
  const int status = RunServiceJob(global, [&](const ApplicationHost& host,
                                               ApplicationHost::Finish finish) {
    const bool signedIn = shell::InstallStoredLogin();
    if (options.kind != TimelineKind::kSquare && !signedIn) return Fail(finish, "not signed in");
    const std::string userId = shell::LoginUserInfoPreferences::UserId();
    switch (options.kind) {
      case TimelineKind::kMyVideoRoom:
        requests =
            std::make_unique<FailureRecorder>(std::make_unique<store::UserRoomRequests>(userId));
        break;
      case TimelineKind::kBuddyVideoRoom:
        requests = std::make_unique<FailureRecorder>(std::make_unique<store::BuddyRoomRequests>());
        break;
      default:
        requests = std::make_unique<FailureRecorder>(
            std::make_unique<store::SquareRequests>(options.channel, options.sort));
    }
    const auto pageSize = static_cast<size_t>(shell::SelvoGlobalPreferences::TimelineListCount());
    list = std::make_unique<store::TimelineList>(options.kind, *requests, pageSize, options.sort);

    if (options.kind != TimelineKind::kSquare) {
      const std::string documents = platform::DefaultEnvironment().DocumentsDirectory();
      store_open = storelib::OpenStore(std::strtoull(userId.c_str(), nullptr, 10), documents);
      if (store_open) {
        list->LoadFromCache();
        if (!list->items().empty()) PrintList(options.name + ", from the cache", list->items());
      } else {
        std::fprintf(stderr, "selvo: the cache database in %s could not be opened\n",
                     documents.c_str());
      }
    }

    const std::string server = host.ServerUrl();
    auto failed = [&, finish, server](const std::string& what) {
      auto error = requests->TakeFailure();
      if (!error) return false;
      Fail(finish, what + " failed: " + FailureText(*error, server));
      return true;
    };
    // The list as it stands after the last load, with its durations.
    auto show = [&, finish](const std::string& heading) {
      auto durations = std::make_shared<Durations>();
      MeasureDurations(list->items(), durations, [&, finish, heading, durations] {
        PrintList(heading, list->items(), *durations);
        finish(0);
      });
    };
    list->LoadLaterVideoItems([&, failed, show] {
      if (failed("timeline")) return;
      if (!options.older) return show(options.name);
      list->LoadEarlierVideoItems([&, failed, show] {
        if (failed("loading older videos")) return;
        show(options.name + ", with older videos");
      });
    });
  });
  if (store_open) storelib::CloseStore();
  return status;
}

}  // namespace app
