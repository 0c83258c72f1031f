// DirectoryPieceSink: a PieceSink that writes each piece to DIR/SSSSSS-PP.ts (segment
// number with six digits, piece number with two).
//
// Every piece is written to a hidden temporary file in DIR and renamed into place, so a
// piece file is always complete. Discard() removes the pieces of this stream again, for a
// caller that failed half-way and wants to leave nothing behind.
#pragma once

#include <string>
#include <vector>

#include "engine/piece_sink.h"

namespace selvo {

class DirectoryPieceSink : public PieceSink {
 public:
  explicit DirectoryPieceSink(std::string directory);
  ~DirectoryPieceSink() override;

  // Creates the directory when it does not exist (its parent must).
  SinkStatus Open(const std::string& video_path) override;
  SinkStatus Piece(uint32_t segment, uint32_t piece, const uint8_t* data, size_t size) override;
  void Close() override;

  // Removes every piece written so far (and the directory, if Open created it and it is
  // empty again).
  void Discard();

  // The file name of a piece, without the directory.
  static std::string PieceName(uint32_t segment, uint32_t piece);

  const std::vector<std::string>& written() const { return written_; }
  bool closed() const { return closed_; }
  // What went wrong in the last failed call ("<what> failed: <error>").
  const std::string& error() const { return error_; }

 private:
  std::string directory_;
  std::vector<std::string> written_;
  bool created_directory_ = false;
  bool closed_ = false;
  std::string error_;
};

}  // namespace selvo
