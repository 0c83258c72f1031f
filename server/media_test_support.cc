#include "server/media_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>

#include "server/testing/server_fixture.h"

extern char** environ;

namespace media_test {

ProgramOutput RunProgram(const std::vector<std::string>& argv) {
  ProgramOutput result;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (rc == 0) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 && poll(fds, 2, -1) > 0) {
      for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        char buffer[4096];
        ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0) {
          fds[i].fd = -1;
          --open;
        } else {
          (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
        }
      }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  close(out[0]);
  close(err[0]);
  return result;
}

namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int Pid(const std::string& ts, size_t offset) {
  return ((ts[offset + 1] & 0x1F) << 8) | static_cast<unsigned char>(ts[offset + 2]);
}

// The PTS of a packet that starts a PES with one, else -1.
int64_t PesPts(const std::string& ts, size_t offset) {
  const auto* p = reinterpret_cast<const unsigned char*>(ts.data() + offset);
  if (!(p[1] & 0x40)) return -1;
  size_t payload = 4;
  if (p[3] & 0x20) payload += 1 + p[4];
  if (!(p[3] & 0x10) || payload + 14 > 188) return -1;
  const unsigned char* pes = p + payload;
  if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || !(pes[7] & 0x80)) return -1;
  return (static_cast<int64_t>(pes[9] & 0x0E) << 29) | (pes[10] << 22) | ((pes[11] & 0xFE) << 14) |
         (pes[12] << 7) | (pes[13] >> 1);
}

// Cuts one continuous transport stream the way the recorder's engine does:
// a piece per second of the timing stream (video, else audio), continuity
// counters running on across pieces, and the program tables only at the
// start of every tenth piece.
std::vector<std::string> CutIntoPieces(const std::string& ts, bool audio_only) {
  const int timing_pid = audio_only ? 0x0101 : 0x0100;
  std::string tables;
  for (size_t offset = 0; offset + 188 <= ts.size() && tables.size() < 3 * 188; offset += 188) {
    int pid = Pid(ts, offset);
    bool seen = false;
    for (size_t t = 0; t < tables.size(); t += 188) seen = seen || Pid(tables, t) == pid;
    if ((pid == 0x0000 || pid == 0x0011 || pid == 0x1000) && !seen) tables += ts.substr(offset, 188);
  }
  std::vector<std::string> pieces;
  int64_t first_pts = -1;
  for (size_t offset = 0; offset + 188 <= ts.size(); offset += 188) {
    int pid = Pid(ts, offset);
    if (pid == 0x0000 || pid == 0x0011 || pid == 0x1000) continue;
    int64_t pts = pid == timing_pid ? PesPts(ts, offset) : -1;
    if (pts >= 0 && first_pts < 0) first_pts = pts;
    bool next_second = pts >= 0 && pts - first_pts >= static_cast<int64_t>(pieces.size()) * 90000;
    if (pieces.empty() || next_second) {
      pieces.push_back(pieces.size() % 10 == 0 ? tables : std::string());
    }
    pieces.back() += ts.substr(offset, 188);
  }
  return pieces;
}

}  // namespace

const std::vector<std::string>& Pieces(int seconds, bool audio_only) {
  static std::map<std::pair<int, bool>, std::vector<std::string>> made;
  auto& pieces = made[{seconds, audio_only}];
  if (!pieces.empty()) return pieces;
  std::string dir = server_testing::MakeTempDir("selvo-pieces-");
  std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-nostdin"};
  if (!audio_only) {
    argv.insert(argv.end(), {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10"});
  }
  argv.insert(argv.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050", "-t",
                           std::to_string(seconds)});
  if (!audio_only) {
    argv.insert(argv.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-g", "10", "-keyint_min",
                             "10", "-sc_threshold", "0", "-pix_fmt", "yuv420p"});
  }
  argv.insert(argv.end(), {"-c:a", "aac", "-ac", "1", "-b:a", "32k"});
  // The recorder's PIDs: audio on 0x0101 also when it is the only stream.
  if (audio_only) argv.insert(argv.end(), {"-streamid", "0:257"});
  argv.insert(argv.end(), {"-f", "mpegts", dir + "/stream.ts"});
  ProgramOutput made_by = RunProgram(argv);
  if (made_by.status != 0) throw std::runtime_error("ffmpeg failed: " + made_by.err);
  pieces = CutIntoPieces(ReadAll(dir + "/stream.ts"), audio_only);
  server_testing::RemoveTree(dir);
  return pieces;
}

server_testing::HttpAnswer OpenStream(server_testing::HttpClient& client, const std::string& url,
                                      const std::string& token, const std::string& thumbnail) {
  return client.Send("PUT", url + "?cmd=0", thumbnail,
                     {"Content-Type: video/MP2T", "HLS-Version: 1.2", "Access-Token: " + token});
}

server_testing::HttpAnswer SendPiece(server_testing::HttpClient& client, const std::string& url,
                                     const std::string& token, int n, const std::string& data) {
  std::string query = "?cmd=2&seg=" + std::to_string((n - 1) / 10 + 1) +
                      "&sec=" + std::to_string((n - 1) % 10 + 1);
  return client.Send("PUT", url + query, data,
                     {"Content-Type: video/MP2T", "HLS-Version: 1.2", "Access-Token: " + token});
}

server_testing::HttpAnswer CloseStream(server_testing::HttpClient& client, const std::string& url,
                                       const std::string& token) {
  return client.Send("HEAD", url + "?cmd=1", "",
                     {"Content-Type: video/MP2T", "HLS-Version: 1.2", "Access-Token: " + token});
}

std::vector<std::string> PlaylistUris(const std::string& playlist) {
  std::vector<std::string> uris;
  std::istringstream text(playlist);
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line[0] != '#') uris.push_back(line);
  }
  return uris;
}

}  // namespace media_test
