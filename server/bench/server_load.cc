// selvo-server-load: a bounded load on a running selvo-server (loopback only),
// run by scripts/bench/server_load.sh.
//
// For --seconds, --clients threads each loop over the requests a timeline
// screen makes (friends' room, square, comments of a video) and post comments,
// while --streams threads each upload one transport-stream piece per second
// to their own live broadcast and check that the playlist lists it at once.
// Reports requests per second, p50/p99 latencies, failed requests and lost
// pieces; exits 1 when any request failed or any piece was lost.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "server/testing/http_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using server_testing::HttpAnswer;
using server_testing::HttpClient;

struct Options {
  std::string url;
  int clients = 200;
  int streams = 50;
  int seconds = 30;
  int users = 50;
  std::string pieces_dir;
};

struct Samples {
  std::mutex mutex;
  std::vector<double> ms;
  long failures = 0;
  std::string first_failure;
  void Add(double value, bool ok, const std::string& what) {
    std::lock_guard lock(mutex);
    ms.push_back(value);
    if (!ok) {
      if (failures++ == 0) first_failure = what;
    }
  }
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(index, values.size() - 1)];
}

void Report(const char* name, Samples& samples, double seconds) {
  std::printf("%-28s %8zu requests %9.1f/s  p50 %7.2f ms  p99 %7.2f ms  failed %ld\n", name,
              samples.ms.size(), static_cast<double>(samples.ms.size()) / seconds,
              Percentile(samples.ms, 0.50), Percentile(samples.ms, 0.99), samples.failures);
  if (samples.failures) std::printf("  first failure: %s\n", samples.first_failure.c_str());
}

double Since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string Describe(const HttpAnswer& answer) {
  return std::to_string(answer.status) + " " + answer.body.substr(0, 200) + answer.error;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i], value = argv[i + 1];
    if (name == "--url") options.url = value;
    else if (name == "--clients") options.clients = std::stoi(value);
    else if (name == "--streams") options.streams = std::stoi(value);
    else if (name == "--seconds") options.seconds = std::stoi(value);
    else if (name == "--users") options.users = std::stoi(value);
    else if (name == "--pieces-dir") options.pieces_dir = value;
    else {
      std::fprintf(stderr, "selvo-server-load: unknown option %s\n", name.c_str());
      return 2;
    }
  }
  if (options.url.empty() || options.pieces_dir.empty() || options.url.find("://127.") == std::string::npos) {
    std::fprintf(stderr, "usage: selvo-server-load --url http://127.0.0.1:PORT --pieces-dir DIR "
                         "[--clients N] [--streams N] [--seconds N] [--users N]\n"
                         "(loopback servers only)\n");
    return 2;
  }
  std::vector<std::string> pieces;
  {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(options.pieces_dir)) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      std::ifstream in(f, std::ios::binary);
      pieces.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  if (pieces.empty()) {
    std::fprintf(stderr, "selvo-server-load: no pieces in %s\n", options.pieces_dir.c_str());
    return 1;
  }

  // Users who follow each other, each with a broadcast.
  std::printf("setting up %d users...\n", options.users);
  std::vector<server_testing::Account> users;
  std::vector<platform::Value> videos;
  HttpClient setup(options.url);
  std::string run = std::to_string(std::chrono::system_clock::now().time_since_epoch().count());
  for (int i = 0; i < options.users; ++i) {
    users.push_back(server_testing::RegisterEmailUser(
        setup, "load" + std::to_string(i) + "." + run + "@example.com", "secret1", "Load " + std::to_string(i)));
  }
  for (int i = 0; i < options.users; ++i) {
    setup.set_token(users[i].token);
    server_testing::Form friends;
    for (int k = 1; k <= 3; ++k) friends.push_back({"internal[]", std::to_string(users[(i + k) % options.users].uid)});
    setup.Post("/api/user/contacts", friends);
    videos.push_back(server_testing::PublishVideo(setup, users[i]));
  }

  Samples reads, comments, piece_uploads, visibility;
  std::atomic<long> pieces_accepted{0}, pieces_lost{0};
  auto start = Clock::now();
  auto deadline = start + std::chrono::seconds(options.seconds);

  std::vector<std::thread> threads;
  for (int c = 0; c < options.clients; ++c) {
    threads.emplace_back([&, c] {
      HttpClient client(options.url);
      const auto& me = users[static_cast<size_t>(c % options.users)];
      client.set_token(me.token);
      std::mt19937 random(static_cast<unsigned>(c));
      while (Clock::now() < deadline) {
        int pick = static_cast<int>(random() % 10);
        size_t which = random() % videos.size();
        std::string vid = std::to_string(videos[which]["_id"].AsInt());
        std::string owner = std::to_string(users[which].uid);
        auto t0 = Clock::now();
        if (pick < 8) {
          HttpAnswer answer = pick < 4   ? client.Get("/api/timeline/inbox")
                              : pick < 6 ? client.Get("/api/timeline", {{"sort", "new"}})
                                         : client.Get("/api/video/comment", {{"vid", vid}});
          reads.Add(Since(t0), answer.status == 200, Describe(answer));
        } else {
          HttpAnswer answer = client.Post("/api/video/comment",
                                          {{"vid", vid}, {"video_owner_id", owner},
                                           {"ctype", "text"}, {"text", "load comment"}});
          comments.Add(Since(t0), answer.status == 200, Describe(answer));
        }
      }
    });
  }
  for (int s = 0; s < options.streams; ++s) {
    threads.emplace_back([&, s] {
      HttpClient client(options.url);
      const auto& owner = users[static_cast<size_t>(s % options.users)];
      std::string publish = videos[static_cast<size_t>(s % options.users)]["publish_url"].AsString();
      std::string playlist = videos[static_cast<size_t>(s % options.users)]["play_url"].AsString() + ".m3u8";
      if (s >= options.users) {  // more streams than users: publish another
        platform::Value extra = server_testing::PublishVideo(client, owner);
        publish = extra["publish_url"].AsString();
        playlist = extra["play_url"].AsString() + ".m3u8";
      }
      std::vector<std::string> headers = {"Content-Type: video/MP2T", "Access-Token: " + owner.token};
      HttpAnswer opened = client.Send("PUT", publish + "?cmd=0", "", headers);
      piece_uploads.Add(0, opened.status == 200, "open " + Describe(opened));
      // Spread the streams over the second.
      std::this_thread::sleep_for(std::chrono::milliseconds(1000 * s / std::max(1, options.streams)));
      int n = 0;
      auto next = Clock::now();
      while (Clock::now() < deadline) {
        ++n;
        const std::string& piece = pieces[static_cast<size_t>(n - 1) % pieces.size()];
        std::string query = "?cmd=2&seg=" + std::to_string((n - 1) / 10 + 1) + "&sec=" + std::to_string((n - 1) % 10 + 1);
        auto t0 = Clock::now();
        HttpAnswer answer = client.Send("PUT", publish + query, piece, headers);
        piece_uploads.Add(Since(t0), answer.status == 200, Describe(answer));
        if (answer.status == 200) {
          ++pieces_accepted;
          auto accepted = Clock::now();
          HttpAnswer list = client.Send("GET", playlist, "", {});
          size_t listed = 0;
          for (size_t at = list.body.find("#EXTINF"); at != std::string::npos; at = list.body.find("#EXTINF", at + 1)) ++listed;
          visibility.Add(Since(accepted), listed == static_cast<size_t>(n), "piece " + std::to_string(n) + " not listed");
        } else {
          --n;
        }
        next += std::chrono::seconds(1);
        std::this_thread::sleep_until(next);
      }
      HttpAnswer closed = client.Send("HEAD", publish + "?cmd=1", "", headers);
      HttpAnswer final_list = client.Send("GET", playlist, "", {});
      size_t listed = 0;
      for (size_t at = final_list.body.find("#EXTINF"); at != std::string::npos; at = final_list.body.find("#EXTINF", at + 1)) ++listed;
      if (closed.status != 200 || listed != static_cast<size_t>(n) ||
          final_list.body.find("#EXT-X-ENDLIST") == std::string::npos) {
        pieces_lost += std::abs(n - static_cast<long>(listed)) + (closed.status != 200);
      }
    });
  }
  for (auto& t : threads) t.join();
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::printf("\n%d clients and %d ingest streams for %.1f s on %s\n", options.clients, options.streams,
              seconds, options.url.c_str());
  Report("timeline/comment reads", reads, seconds);
  Report("comment posts", comments, seconds);
  Report("piece uploads (cmd=2)", piece_uploads, seconds);
  Report("accepted -> listed", visibility, seconds);
  long total = static_cast<long>(reads.ms.size() + comments.ms.size() + piece_uploads.ms.size() + visibility.ms.size());
  std::vector<double> all = reads.ms;
  all.insert(all.end(), comments.ms.begin(), comments.ms.end());
  all.insert(all.end(), piece_uploads.ms.begin(), piece_uploads.ms.end());
  std::printf("all requests: %ld, %.1f/s, p50 %.2f ms, p99 %.2f ms\n", total,
              static_cast<double>(total) / seconds, Percentile(all, 0.5), Percentile(all, 0.99));
  long failed = reads.failures + comments.failures + piece_uploads.failures + visibility.failures;
  std::printf("pieces accepted: %ld, lost: %ld; failed requests: %ld\n", pieces_accepted.load(),
              pieces_lost.load(), failed);
  return failed == 0 && pieces_lost == 0 ? 0 : 1;
}
