// DirectoryPieceSink: a PieceSink that writes the pieces of one stream as DIR/SSSSSS-PP.ts
// (segment number with six digits, piece number with two).
//
// The pieces go into a staging directory beside DIR ("DIR.partial-XXXXXX"), which becomes
// DIR in one rename when the stream is closed: DIR appears with every piece or not at all.
// DIR must not exist, or be an empty directory. A sink that is discarded, or destroyed
// before the stream was closed, removes its staging directory.
//
// Each piece is written by a thread of the sink while the caller builds the next one (the
// caller keeps the bytes unchanged until its next call, as PieceSink says); a write that
// failed is reported by the next Piece call, or by committed() after Close.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/piece_sink.h"

namespace selvo {

class DirectoryPieceSink : public PieceSink {
 public:
  explicit DirectoryPieceSink(std::string directory);
  ~DirectoryPieceSink() override;
  DirectoryPieceSink(const DirectoryPieceSink&) = delete;
  DirectoryPieceSink& operator=(const DirectoryPieceSink&) = delete;

  SinkStatus Open(const std::string& video_path) override;
  SinkStatus Piece(uint32_t segment, uint32_t piece, const uint8_t* data, size_t size) override;
  // Waits for the last piece and moves the pieces into place; committed() tells whether
  // everything worked.
  void Close() override;

  // Removes the staging directory and everything in it (nothing once committed).
  void Discard();

  // The file name of a piece, without the directory.
  static std::string PieceName(uint32_t segment, uint32_t piece);

  bool committed() const { return committed_; }
  // Pieces handed over so far, by file name.
  const std::vector<std::string>& written() const { return written_; }
  // What went wrong ("<what> failed: <error>"), once a call failed.
  const std::string& error() const { return error_; }

 private:
  struct Job {
    std::string path;
    const uint8_t* data = nullptr;
    size_t size = 0;
  };
  void WriterLoop();
  // Waits until the writer is idle; false if a write failed (error_ says why).
  bool WaitForWriter();

  std::string directory_;
  std::string staging_;
  std::vector<std::string> written_;
  bool committed_ = false;
  std::string error_;

  std::mutex mutex_;
  std::condition_variable changed_;
  bool busy_ = false;  // a job is posted and not finished
  bool quit_ = false;
  bool failed_ = false;  // a job failed; error_ holds its message
  Job job_;
  std::thread writer_;
};

}  // namespace selvo
