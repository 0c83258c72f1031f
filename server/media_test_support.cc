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

// Drops the program tables (PAT, SDT, PMT packets) that open a piece.
std::string WithoutLeadingTables(const std::string& piece) {
  size_t offset = 0;
  while (offset + 188 <= piece.size()) {
    int pid = ((piece[offset + 1] & 0x1F) << 8) | static_cast<unsigned char>(piece[offset + 2]);
    if (pid != 0x0000 && pid != 0x0011 && pid != 0x1000) break;
    offset += 188;
  }
  return piece.substr(offset);
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
  argv.insert(argv.end(), {"-c:a", "aac", "-ac", "1", "-b:a", "32k", "-f", "segment",
                           "-segment_time", "1", "-segment_format", "mpegts",
                           dir + "/piece%04d.ts"});
  ProgramOutput made_by = RunProgram(argv);
  if (made_by.status != 0) throw std::runtime_error("ffmpeg failed: " + made_by.err);
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (size_t i = 0; i < files.size(); ++i) {
    std::string piece = ReadAll(files[i]);
    pieces.push_back(i % 10 == 0 ? piece : WithoutLeadingTables(piece));
  }
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
