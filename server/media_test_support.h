// Helpers of the ingest and origin tests: real transport-stream pieces made by
// the ffmpeg tool, the ingest protocol spoken over HTTP, and running ffprobe.
#pragma once

#include <string>
#include <vector>

#include "server/testing/http_client.h"

namespace media_test {

struct ProgramOutput {
  int status = -1;  // exit status, -1 when it could not run or died
  std::string out;
  std::string err;
};
// Runs a program (searched in PATH) and collects its output.
ProgramOutput RunProgram(const std::vector<std::string>& argv);

// `seconds` one-second pieces of H.264 (10 fps) and AAC (22050 Hz mono), cut
// by ffmpeg, numbered as the uploader numbers them: the stream tables open
// only the first piece of every ten, as the recorder's engine writes them.
// `audio_only` makes voice-comment pieces. Made once per process and kept.
const std::vector<std::string>& Pieces(int seconds, bool audio_only = false);

// The ingest protocol: cmd=0 with an optional thumbnail, cmd=2 piece n
// (seg = (n - 1) / 10 + 1, sec = (n - 1) % 10 + 1), cmd=1.
server_testing::HttpAnswer OpenStream(server_testing::HttpClient& client, const std::string& url,
                                      const std::string& token, const std::string& thumbnail = "");
server_testing::HttpAnswer SendPiece(server_testing::HttpClient& client, const std::string& url,
                                     const std::string& token, int n, const std::string& data);
server_testing::HttpAnswer CloseStream(server_testing::HttpClient& client, const std::string& url,
                                       const std::string& token);

// Segment URIs listed by a playlist text.
std::vector<std::string> PlaylistUris(const std::string& playlist);

}  // namespace media_test
