#include "platform/testing/media_probe.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/testing/subprocess.h"

namespace platform {

std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& path) {
  std::string out, err;
  std::vector<std::map<std::string, std::string>> streams;
  if (RunProgram({ToolPath("ffprobe"), "-v", "error", "-show_streams", "-of", "default=nw=0", path},
                 &out, &err) != 0) {
    return streams;
  }
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "[STREAM]") {
      streams.emplace_back();
    } else if (auto eq = line.find('='); eq != std::string::npos && !streams.empty()) {
      streams.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
  }
  return streams;
}

bool DecodesCleanly(const std::string& path, std::string* errors) {
  std::string out, err;
  int status = RunProgram(
      {ToolPath("ffmpeg"), "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"}, &out, &err);
  if (errors) *errors = err;
  return status == 0 && err.empty();
}

std::vector<std::vector<uint8_t>> DecodeLuma(const std::string& path, int width, int height) {
  std::string out, err;
  std::vector<std::vector<uint8_t>> frames;
  // Passthrough: raw output would otherwise repeat frames to fill gaps in the
  // time stamps, and a repeated frame looks like a recorder fault.
  if (RunProgram({ToolPath("ffmpeg"), "-nostdin", "-v", "error", "-i", path, "-fps_mode",
                  "passthrough", "-f", "rawvideo", "-pix_fmt", "gray", "-"},
                 &out, &err) != 0) {
    return frames;
  }
  const size_t size = static_cast<size_t>(width) * height;
  for (size_t at = 0; at + size <= out.size(); at += size) {
    frames.emplace_back(out.begin() + static_cast<long>(at),
                        out.begin() + static_cast<long>(at + size));
  }
  return frames;
}

std::vector<Box> TopLevelBoxes(const std::string& data) {
  std::vector<Box> boxes;
  uint64_t at = 0;
  auto be32 = [&](uint64_t o) {
    return (uint64_t{static_cast<uint8_t>(data[o])} << 24) |
           (uint64_t{static_cast<uint8_t>(data[o + 1])} << 16) |
           (uint64_t{static_cast<uint8_t>(data[o + 2])} << 8) |
           uint64_t{static_cast<uint8_t>(data[o + 3])};
  };
  while (at + 8 <= data.size()) {
    uint64_t size = be32(at);
    Box box{data.substr(at + 4, 4), at, size};
    if (size == 1 && at + 16 <= data.size()) size = box.size = (be32(at + 8) << 32) | be32(at + 12);
    boxes.push_back(box);
    if (size < 8) break;
    at += size;
  }
  return boxes;
}

std::string ToolPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return name;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream data;
  data << in.rdbuf();
  return data.str();
}

}  // namespace platform
