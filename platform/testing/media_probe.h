// Test helpers that look at media files the way other programs do: ffprobe's
// view of the streams, ffmpeg's decoded pictures, and the top-level boxes of a
// QuickTime file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// ffprobe's fields ("codec_name", "width", ...) of every stream of a file;
// empty when ffprobe cannot read it.
std::vector<std::map<std::string, std::string>> ProbeStreams(const std::string& path);

// Decodes the whole file with ffmpeg; true when it exits 0 and says nothing on
// its error output. `errors` gets what it said.
bool DecodesCleanly(const std::string& path, std::string* errors = nullptr);

// The luma planes of every decoded picture, at the stream's size.
std::vector<std::vector<uint8_t>> DecodeLuma(const std::string& path, int width, int height);

// Top-level boxes of a QuickTime / ISO file as (type, offset, size); a size of
// 0 (to the end) stops the walk.
struct Box {
  std::string type;
  uint64_t offset = 0;
  uint64_t size = 0;
};
std::vector<Box> TopLevelBoxes(const std::string& data);

// The full path of a program found on PATH (the name itself when not found).
std::string ToolPath(const std::string& name);

// The whole file ("" when unreadable).
std::string ReadWholeFile(const std::string& path);

}  // namespace platform
