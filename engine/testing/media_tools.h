// Test helper for end-to-end media tests: recordings made by the ffmpeg tool (through
// engine/testdata/make_recordings.sh) and checks run with ffmpeg on what we produce.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace selvo::testing {

// Quotes a word for /bin/sh.
inline std::string Quote(const std::string& word) {
  std::string out = "'";
  for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct CommandResult {
  int status = -1;  // exit status, or -1 if it did not exit normally
  std::string out;
  std::string err;
};

// Runs `command` with /bin/sh, collecting its standard output and error.
inline CommandResult RunShell(const std::string& command) {
  char err_path[] = "/tmp/selvo-test-stderr-XXXXXX";
  const int err_fd = ::mkstemp(err_path);
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>" + Quote(err_path)).c_str(), "r");
  if (pipe) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::ifstream err(err_path);
  result.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
  if (err_fd >= 0) ::close(err_fd);
  ::unlink(err_path);
  return result;
}

inline std::string SourceDir() {
  const char* env = std::getenv("SELVO_SOURCE_DIR");
  return env && *env ? env : SELVO_TEST_SOURCE_DIR;
}

inline std::string BinDir() {
  const char* env = std::getenv("SELVO_BIN_DIR");
  return env && *env ? env : SELVO_TEST_BIN_DIR;
}

// The recording `name` (a recipe of make_recordings.sh). Recordings are made once per
// build directory and shared by every test process; returns "" if making it failed.
inline std::string Recording(const std::string& name) {
  const std::string dir = SELVO_TEST_RECORDINGS_DIR;
  const std::string path = dir + "/" + name + ".mov";
  struct stat info;
  if (::stat(path.c_str(), &info) == 0) return path;
  const CommandResult made =
      RunShell("bash " + Quote(SourceDir() + "/engine/testdata/make_recordings.sh") + " " +
               Quote(dir) + " " + Quote(name));
  if (made.status != 0) {
    std::fprintf(stderr, "making recording %s failed: %s\n", name.c_str(), made.err.c_str());
    return "";
  }
  return path;
}

// The per-frame hashes ffmpeg's framemd5 muxer gives for `input_options` (for example
// "-i f.ts -map 0:v"), without timestamps, so streams from different containers compare.
// `warnings` receives what ffmpeg said at level warning.
inline std::vector<std::string> FrameHashes(const std::string& input_options,
                                            std::string* warnings = nullptr) {
  const CommandResult result =
      RunShell("ffmpeg -nostdin -v warning " + input_options + " -f framemd5 -");
  if (warnings) *warnings = result.err;
  std::vector<std::string> hashes;
  std::istringstream lines(result.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) {
      const size_t first = cell.find_first_not_of(' ');
      fields.push_back(first == std::string::npos ? "" : cell.substr(first));
    }
    if (fields.size() >= 6) hashes.push_back(fields[5]);
  }
  return hashes;
}

}  // namespace selvo::testing
