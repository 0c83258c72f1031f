#include "server/media_store.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "server/durable_dir.h"
#include "server/hls_playlist.h"
#include "server/ts_scan.h"

namespace server {
namespace {

constexpr std::string_view kJournal = "journal";
constexpr int kPiecesPerSegment = 10;
constexpr size_t kMaxCachedStreams = 1024;
// A piece whose own times give no duration is taken as the uploader's nominal second.
constexpr int64_t kNominalPieceUs = 1'000'000;

std::string PieceName(int file) { return std::to_string(file) + ".ts"; }

enum class ImageType { kNone, kJpeg, kPng };

ImageType SniffImage(std::string_view data) {
  if (data.size() >= 3 && std::memcmp(data.data(), "\xFF\xD8\xFF", 3) == 0) return ImageType::kJpeg;
  if (data.size() >= 8 && std::memcmp(data.data(), "\x89PNG\r\n\x1A\n", 8) == 0) {
    return ImageType::kPng;
  }
  return ImageType::kNone;
}

}  // namespace

struct MediaStore::Stream {
  struct File {
    int64_t duration_us = 0;
    uint64_t bytes = 0;
    int tables_file = 0;  // the file whose leading tables this piece's segment uses
  };

  explicit Stream(std::string path) : dir(std::move(path)) {}

  std::mutex mutex;
  DurableDir dir;
  bool opened = false;
  bool ended = false;
  std::string thumbnail;  // "thumbnail.jpg" or "thumbnail.png", empty when none
  std::vector<int> chain;  // chain[n - 1] = file holding position n
  std::map<int, File> files;  // every file ever accepted, also replaced ones
  std::map<int, std::string> tables_cache;  // file -> its leading tables
  int next_file = 1;
  uint64_t chain_bytes = 0;
  std::string playlist_name;
  std::shared_ptr<const std::string> playlist;  // rebuilt on every change

  // Replays the journal; drops a torn last line.
  void Load() {
    auto journal = dir.ReadFile(kJournal);
    if (!journal) return;
    size_t good = journal->rfind('\n');
    good = good == std::string::npos ? 0 : good + 1;
    if (good != journal->size()) dir.Truncate(kJournal, good);
    size_t start = 0;
    while (start < good) {
      size_t end = journal->find('\n', start);
      std::string line = journal->substr(start, end - start);
      start = end + 1;
      int position = 0, file = 0, tables_file = 0;
      long long duration = 0;
      unsigned long long bytes = 0;
      char ext[8] = {};
      if (line == "open") {
        opened = true;
        ended = false;
      } else if (line == "close") {
        ended = true;
      } else if (std::sscanf(line.c_str(), "thumbnail %3s", ext) == 1) {
        thumbnail = std::string("thumbnail.") + ext;
      } else if (std::sscanf(line.c_str(), "piece %d %d %lld %llu %d", &position, &file, &duration,
                             &bytes, &tables_file) == 5 &&
                 position >= 1 && static_cast<size_t>(position) <= chain.size() + 1 && file > 0) {
        Accept(position, file, File{duration, bytes, tables_file});
      }
    }
  }

  void Accept(int position, int file, File record) {
    while (chain.size() >= static_cast<size_t>(position)) {
      chain_bytes -= files[chain.back()].bytes;
      chain.pop_back();
    }
    chain.push_back(file);
    chain_bytes += record.bytes;
    files[file] = record;
    if (file >= next_file) next_file = file + 1;
    playlist.reset();
  }

  // The file whose tables a new piece at `position` would use.
  int TablesFileBefore(int position) const {
    if (position <= 1) return 0;
    return files.at(chain[static_cast<size_t>(position) - 2]).tables_file;
  }

  std::string Tables(int file) {
    if (file == 0) return {};
    if (auto it = tables_cache.find(file); it != tables_cache.end()) return it->second;
    auto data = dir.ReadFile(PieceName(file));
    std::string tables = data ? ScanPiece(*data).tables : std::string();
    tables_cache[file] = tables;
    return tables;
  }

  std::shared_ptr<const std::string> Playlist(std::string_view name) {
    if (!playlist || playlist_name != name) {
      std::vector<PlaylistSegment> segments;
      segments.reserve(chain.size());
      for (int file : chain) {
        segments.push_back({std::string(name) + "_" + std::to_string(file) + ".ts",
                            files[file].duration_us});
      }
      playlist = std::make_shared<const std::string>(BuildMediaPlaylist(segments, ended));
      playlist_name = name;
    }
    return playlist;
  }

  bool Journal(const std::string& line, std::string* error) {
    return dir.Append(kJournal, line + "\n", error);
  }
};

MediaStore::MediaStore(std::string root, MediaLimits limits)
    : root_(std::move(root)), limits_(limits) {}

MediaStore::~MediaStore() = default;

std::string MediaStore::Directory(StreamId stream) const {
  return root_ + (stream.kind == StreamId::Kind::kVideo ? "/video/" : "/voice/") +
         std::to_string(stream.id);
}

std::shared_ptr<MediaStore::Stream> MediaStore::Get(StreamId id) {
  std::lock_guard lock(mutex_);
  auto it = streams_.find(id);
  if (it != streams_.end()) return it->second;
  if (streams_.size() >= kMaxCachedStreams) {
    // Forget streams nobody is using; they are read again from disk when needed.
    for (auto i = streams_.begin(); i != streams_.end();) {
      i = i->second.use_count() == 1 ? streams_.erase(i) : std::next(i);
    }
  }
  auto stream = std::make_shared<Stream>(Directory(id));
  std::lock_guard stream_lock(stream->mutex);
  stream->Load();
  streams_[id] = stream;
  return stream;
}

IngestResult MediaStore::Open(StreamId id, std::string_view thumbnail) {
  ImageType type = SniffImage(thumbnail);
  if (!thumbnail.empty() && type == ImageType::kNone) {
    return {400, "the body of cmd=0 must be a JPEG or PNG thumbnail, or empty"};
  }
  if (thumbnail.size() > limits_.max_thumbnail_bytes) {
    return {413, "the thumbnail is larger than " + std::to_string(limits_.max_thumbnail_bytes) +
                     " bytes"};
  }
  auto stream = Get(id);
  std::lock_guard lock(stream->mutex);
  std::string error;
  if (!stream->dir.Create(&error)) return {500, error};
  if (type != ImageType::kNone) {
    std::string name = type == ImageType::kJpeg ? "thumbnail.jpg" : "thumbnail.png";
    if (!stream->dir.WriteFile(name, thumbnail, &error) ||
        !stream->Journal("thumbnail " + name.substr(10), &error)) {
      return {500, error};
    }
    stream->thumbnail = name;
  }
  if (!stream->opened || stream->ended) {
    if (!stream->Journal("open", &error)) return {500, error};
    stream->opened = true;
    stream->ended = false;
    stream->playlist.reset();
  }
  return {};
}

IngestResult MediaStore::AddPiece(StreamId id, int seg, int sec, std::string_view data) {
  if (seg < 1 || seg > 100'000'000 || sec < 1 || sec > kPiecesPerSegment) {
    return {400, "seg must be 1 or more and sec between 1 and 10"};
  }
  if (data.size() > limits_.max_piece_bytes) {
    return {413, "a piece may hold at most " + std::to_string(limits_.max_piece_bytes) + " bytes"};
  }
  PieceScan scan = ScanPiece(data);
  if (!scan.valid) return {400, scan.error};
  int position = (seg - 1) * kPiecesPerSegment + sec;

  auto stream = Get(id);
  std::lock_guard lock(stream->mutex);
  if (!stream->opened) return {409, "the stream is not open: send cmd=0 first"};
  if (stream->ended) return {409, "the stream was closed: send cmd=0 to reopen it"};
  int last = static_cast<int>(stream->chain.size());
  if (position > last + 1) {
    int next_seg = last / kPiecesPerSegment + 1, next_sec = last % kPiecesPerSegment + 1;
    return {409, "piece seg=" + std::to_string(seg) + " sec=" + std::to_string(sec) +
                     " skips ahead: the next piece is seg=" + std::to_string(next_seg) +
                     " sec=" + std::to_string(next_sec)};
  }
  // Bytes of the stream once positions from `position` on are replaced.
  uint64_t kept = 0;
  for (int n = 1; n < position; ++n) kept += stream->files[stream->chain[n - 1]].bytes;
  if (kept + data.size() > limits_.max_stream_bytes) {
    return {413, "the stream is full (" + std::to_string(limits_.max_stream_bytes) + " bytes)"};
  }

  int file = stream->next_file;
  Stream::File record;
  record.duration_us = scan.EstimatedDurationUs(kNominalPieceUs);
  record.bytes = data.size();
  record.tables_file = scan.tables.empty() ? stream->TablesFileBefore(position) : file;
  std::string error;
  if (!stream->dir.WriteFile(PieceName(file), data, &error)) return {500, error};
  char line[128];
  std::snprintf(line, sizeof line, "piece %d %d %" PRId64 " %" PRIu64 " %d", position, file,
                record.duration_us, record.bytes, record.tables_file);
  if (!stream->Journal(line, &error)) return {500, error};
  if (!scan.tables.empty()) stream->tables_cache[file] = scan.tables;
  stream->Accept(position, file, record);
  return {};
}

IngestResult MediaStore::Close(StreamId id) {
  auto stream = Get(id);
  std::lock_guard lock(stream->mutex);
  if (stream->ended) return {};
  std::string error;
  if (!stream->dir.Create(&error) || !stream->Journal("close", &error)) return {500, error};
  stream->opened = true;
  stream->ended = true;
  stream->playlist.reset();
  return {};
}

std::string MediaStore::Playlist(StreamId id, std::string_view name) {
  auto stream = Get(id);
  std::lock_guard lock(stream->mutex);
  return *stream->Playlist(name);
}

std::optional<std::string> MediaStore::Segment(StreamId id, int file) {
  auto stream = Get(id);
  std::string tables;
  {
    std::lock_guard lock(stream->mutex);
    auto it = stream->files.find(file);
    if (it == stream->files.end()) return std::nullopt;
    if (it->second.tables_file != file) tables = stream->Tables(it->second.tables_file);
  }
  auto data = stream->dir.ReadFile(PieceName(file));
  if (!data) return std::nullopt;
  if (tables.empty()) return data;
  return tables + *data;
}

std::optional<std::pair<std::string, std::string>> MediaStore::Thumbnail(StreamId id) {
  auto stream = Get(id);
  std::string name;
  {
    std::lock_guard lock(stream->mutex);
    name = stream->thumbnail;
  }
  if (name.empty()) return std::nullopt;
  auto data = stream->dir.ReadFile(name);
  if (!data) return std::nullopt;
  return std::make_pair(name.ends_with(".png") ? "image/png" : "image/jpeg", std::move(*data));
}

StreamInfo MediaStore::Info(StreamId id) {
  auto stream = Get(id);
  std::lock_guard lock(stream->mutex);
  StreamInfo info;
  info.opened = stream->opened;
  info.ended = stream->ended;
  info.pieces = static_cast<int>(stream->chain.size());
  for (int file : stream->chain) info.duration_us += stream->files[file].duration_us;
  return info;
}

void MediaStore::RememberOwner(StreamId stream, int64_t owner, const std::string& key) {
  std::lock_guard lock(mutex_);
  if (owners_.size() >= 100000) owners_.clear();
  owners_[stream] = {owner, key};
}

std::optional<std::pair<int64_t, std::string>> MediaStore::KnownOwner(StreamId stream) {
  std::lock_guard lock(mutex_);
  auto it = owners_.find(stream);
  if (it == owners_.end()) return std::nullopt;
  return it->second;
}

void MediaStore::Remove(StreamId id) {
  {
    std::lock_guard lock(mutex_);
    streams_.erase(id);
    owners_.erase(id);
  }
  DurableDir(Directory(id)).RemoveAll();
}

}  // namespace server
