// selvo-server's request handling behind the HTTP layer: the service
// endpoints (/api/, /webapi/), HLS ingest (/ingest/), and the origin that
// serves playlists, pieces, thumbnails, avatars and the watch page.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>
#include <string>
#include <utility>

#include "server/api_context.h"
#include "server/http_types.h"
#include "server/media_store.h"
#include "server/sqlite_db.h"

namespace server {

struct BackendOptions {
  std::string data_dir;
  ServiceSettings settings;
  MediaLimits limits;
};

class Backend {
 public:
  // Opens (creating) DIR/selvo.db and DIR/media. Throws std::runtime_error.
  explicit Backend(BackendOptions options);
  ~Backend();

  // Thread-safe: any number of HTTP threads may call it at once.
  HttpResponse Handle(const HttpRequest& request);

  // Developer tools on a data directory (the server may be running).
  // Activates a registered identity; false when it is not registered.
  static bool ActivateIdentity(const std::string& data_dir, const std::string& provider,
                               const std::string& identity);
  // "provider identity" lines of identities waiting for activation.
  static std::vector<std::string> InactiveIdentities(const std::string& data_dir);

 private:
  HttpResponse HandleApi(const HttpRequest& request);
  HttpResponse HandleIngest(const HttpRequest& request);
  HttpResponse HandleOrigin(const HttpRequest& request);
  // A reader connection for the lifetime of the lease.
  class ReaderLease;
  // The user of a valid access token, or 0.
  int64_t UserOfToken(SqliteDb& db, const std::string* token);
  // The same from memory only; 0 when not known there.
  int64_t KnownTokenUser(const std::string* token);
  // The owner of a stream when `key` is its key, else nullopt.
  std::optional<int64_t> StreamOwner(StreamId stream, const std::string& key);

  const BackendOptions options_;
  // Writes go through one connection, one request at a time. Reads (GET
  // requests that change nothing) run at the same time on reader connections:
  // in WAL mode they see the last committed state and never wait for a writer.
  std::mutex db_mutex_;
  std::unique_ptr<SqliteDb> db_;
  std::mutex readers_mutex_;
  std::condition_variable reader_free_;
  std::vector<std::unique_ptr<SqliteDb>> readers_;
  // Token digests seen valid, so the ingest path does not queue behind the
  // database; a logout removes its token.
  std::mutex tokens_mutex_;
  std::unordered_map<std::string, int64_t> token_users_;
  uint64_t token_generation_ = 0;  // counts logouts
  MediaStore media_;
  std::map<std::pair<std::string, std::string>, ApiRoute> routes_;  // (method, path)
};

// The page behind "web_url": plays the broadcast's playlist.
std::string WatchPage(const std::string& title, const std::string& playlist_url,
                      const std::string& thumbnail_url);

}  // namespace server
