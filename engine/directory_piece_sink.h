// DirectoryPieceSink: a PieceSink that writes the pieces of one stream as DIR/SSSSSS-PP.ts
// (segment number with six digits, piece number with two).
//
// The pieces go into a staging directory beside DIR ("DIR.partial-XXXXXX"), which becomes
// DIR in one rename when the stream is closed: DIR appears with every piece or not at all.
// DIR must not exist, or be an empty directory. A sink that is discarded, or destroyed
// before the stream was closed, removes its staging directory.
#pragma once

#include <string>
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
  // Moves the pieces into place; committed() tells whether that worked.
  void Close() override;

  // Removes the staging directory and everything in it (nothing once committed).
  void Discard();

  // The file name of a piece, without the directory.
  static std::string PieceName(uint32_t segment, uint32_t piece);

  bool committed() const { return committed_; }
  // Pieces written so far, by file name.
  const std::vector<std::string>& written() const { return written_; }
  // What went wrong in the last failed call ("<what> failed: <error>").
  const std::string& error() const { return error_; }

 private:
  std::string directory_;
  std::string staging_;
  std::vector<std::string> written_;
  bool committed_ = false;
  std::string error_;
};

}  // namespace selvo
