// NginxHLSClient: the upload stream of one task run, spoken to the service's HLS ingest
// server over HTTP(S) with libcurl's easy interface.
//
//   cmd=0  start or resume the stream: the thumbnail JPEG (video path + ".jpg") as a PUT
//          body; without a thumbnail a bodiless request first and then an empty PUT; an
//          audio-only stream sends the bodiless request only
//   cmd=2  one piece, PUT to "<url>?cmd=2&seg=S&sec=P"
//   cmd=1  close the stream (bodiless; the answer is not examined)
// Bodiless requests are HEAD requests. Every request carries the same headers: an empty
// "Expect:", "Content-Type: video/MP2T", "HLS-Version: 1.2", "Access-Token: <token>",
// "User-Agent: <agent>" and "Content-Length: <body length>".
//
// Answers: 200 is success, 401 a refused token, 413 a refused piece, anything else (or a
// failed transfer) a failure. Certificates are verified (with the configured CA bundle).
// A transfer ends early when the task's stop flag rises (checked from libcurl's progress
// callback), when connecting takes too long, or when it moves too slowly for too long.
// Each client is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/piece_sink.h"
#include "engine/streaming_library.h"

namespace selvo {

class NginxHLSClient final : public PieceSink {
 public:
  explicit NginxHLSClient(const SinkParams& params);
  ~NginxHLSClient() override;
  NginxHLSClient(const NginxHLSClient&) = delete;
  NginxHLSClient& operator=(const NginxHLSClient&) = delete;

  // PieceSink: the start, one piece, the close.
  SinkStatus Open(const std::string& video_path) override;
  SinkStatus Piece(uint32_t segment, uint32_t piece, const uint8_t* data, size_t size) override;
  void Close() override;

  // One cmd=2 piece: 0 accepted, 2 refused token (401), 3 refused piece (413), 1 anything
  // else.
  int SendStream(const uint8_t* data, size_t length, uint32_t segment, uint32_t piece);

  // The status of the last answer (0 when none came) and, after a failed transfer, what
  // went wrong ("<what> failed: <error>").
  long last_status() const { return last_status_; }
  const std::string& last_error() const { return last_error_; }

  // The upload source of a request, as libcurl's read and seek callbacks see it.
  struct Source {
    const uint8_t* start = nullptr;
    size_t total = 0;
    const uint8_t* cursor = nullptr;
    size_t remaining = 0;
  };
  static size_t CurlReadFunction(char* buffer, size_t size, size_t count, void* source);
  static int CurlSeekFunction(void* source, int64_t offset, int origin);

 private:
  // PUT of `length` bytes to "<url><query>"; the answer as a sink status.
  SinkStatus Upload(const std::string& query, const uint8_t* data, size_t length);
  // HEAD to "<url><query>"; the answer as a sink status.
  SinkStatus Bodiless(const std::string& query);
  // Options every request shares; then perform. Sets last_status_ and last_error_.
  SinkStatus Perform(const std::string& url, size_t content_length, const std::string& what);

  const SinkParams params_;
  const std::atomic<int>* const stop_;
  void* curl_ = nullptr;  // CURL*
  long last_status_ = 0;
  std::string last_error_;
};

}  // namespace selvo
