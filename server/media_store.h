// The HLS ingest and origin storage: per stream (a video or a voice comment)
// the accepted transport-stream pieces on disk, a journal of what was accepted,
// the thumbnail, and the playlist viewers read.
//
// Pieces are numbered by the uploader as (seg, sec): ten pieces per segment,
// the first of each segment opening with the stream tables. Position
// n = (seg - 1) * 10 + sec. A piece for position n is accepted when n is at
// most one past the last accepted position: n == last + 1 extends the stream,
// n <= last replaces the stream from n on (the uploader lost an answer, or
// resumed from an older saved position and rebuilt its pieces). Skipping ahead
// is refused, so the stream never has holes, and the playlist lists each
// position once, so no viewer gets a piece twice.
//
// Durability: a piece's file is flushed, then a journal line naming it is
// appended and flushed, and only then is it accepted. After a crash the
// journal is replayed; a piece whose journal line is missing was never
// answered with success.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

struct StreamId {
  enum class Kind { kVideo, kVoice };
  Kind kind;
  int64_t id;
  bool operator<(const StreamId& o) const { return kind != o.kind ? kind < o.kind : id < o.id; }
};

struct MediaLimits {
  size_t max_piece_bytes = 4 << 20;
  uint64_t max_stream_bytes = uint64_t{2} << 30;
  size_t max_thumbnail_bytes = 2 << 20;
};

// The outcome of an ingest command: an HTTP status and, for refusals, why.
struct IngestResult {
  int status = 200;
  std::string msg;
};

struct StreamInfo {
  bool opened = false;
  bool ended = false;
  int pieces = 0;
  int64_t duration_us = 0;
};

class MediaStore {
 public:
  MediaStore(std::string root, MediaLimits limits);
  ~MediaStore();

  IngestResult Open(StreamId stream, std::string_view thumbnail);
  IngestResult AddPiece(StreamId stream, int seg, int sec, std::string_view data);
  IngestResult Close(StreamId stream);

  // The playlist text; segment URIs are "<name>_<file>.ts". An unopened stream
  // gives an empty live playlist.
  std::string Playlist(StreamId stream, std::string_view name);
  // A stored piece as viewers get it: pieces that do not open with the stream
  // tables get those of their segment put in front, so that every HLS segment
  // can be decoded on its own (players join a live stream anywhere).
  std::optional<std::string> Segment(StreamId stream, int file);
  // The thumbnail and its content type ("image/jpeg" or "image/png").
  std::optional<std::pair<std::string, std::string>> Thumbnail(StreamId stream);
  StreamInfo Info(StreamId stream);
  // Forgets the stream and deletes its files.
  void Remove(StreamId stream);

  // The owner and key of a stream, kept here so that ingest and viewers need
  // not ask the database for every piece; Remove forgets them.
  void RememberOwner(StreamId stream, int64_t owner, const std::string& key);
  std::optional<std::pair<int64_t, std::string>> KnownOwner(StreamId stream);

 private:
  struct Stream;
  std::shared_ptr<Stream> Get(StreamId stream);
  std::string Directory(StreamId stream) const;

  const std::string root_;
  const MediaLimits limits_;
  std::mutex mutex_;  // guards streams_
  std::map<StreamId, std::shared_ptr<Stream>> streams_;
  std::map<StreamId, std::pair<int64_t, std::string>> owners_;  // guarded by mutex_
};

}  // namespace server
