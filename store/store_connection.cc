// Opening and closing the user cache database, and the process-wide paths.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/file_system.h"
#include "store/storelib_internal.h"

namespace storelib {
namespace {

struct StoreState {
  std::mutex mutex;
  sqlite3* db = nullptr;
  std::string database_path;
  std::string avatar_directory;
  std::string thumbnail_directory;
};

StoreState& State() {
  static auto* state = new StoreState();  // used until the process ends
  return *state;
}

constexpr char kRoomTable[] =
    "CREATE TABLE IF NOT EXISTS %s(videoId INTEGER PRIMARY KEY DESC,userId INTEGER,"
    "isPublicVideo INTEGER DEFAULT 0,videoIsHidden INTEGER DEFAULT 0,userScreenName TEXT,"
    "title TEXT,channel TEXT,publishUtc INTEGER DEFAULT 0,watchesCount INTEGER DEFAULT 0,"
    "liked INTEGER DEFAULT 0,likesCount INTEGER DEFAULT 0,commentsCount INTEGER DEFAULT 0,"
    "playUrl TEXT,thumbnailUrl TEXT,webPlayUrl TEXT,ownerAvatarUrl TEXT,"
    "rotationDegree INTEGER DEFAULT 0)";
constexpr char kMessageTable[] =
    "CREATE TABLE IF NOT EXISTS message_table(mid INTEGER PRIMARY KEY, message TEXT)";
constexpr char kPublishTable[] =
    "CREATE TABLE IF NOT EXISTS %s(uuid TEXT PRIMARY KEY,videoId INTEGER DEFAULT 0,title TEXT,"
    "channel TEXT,longitude REAL,latitude REAL,rotationDegree INTEGER DEFAULT 0,receivers TEXT)";

std::string Format(const char* pattern, const char* table) {
  char buffer[1024];
  std::snprintf(buffer, sizeof buffer, pattern, table);
  return buffer;
}

void EnsureDirectory(const std::string& path) {
  auto& fs = platform::DefaultFileSystem();
  auto info = fs.Stat(path);
  if (!info || !info->is_directory) fs.CreateDirectories(path);  // failure shows later
}

}  // namespace

namespace internal {

LockedConnection::LockedConnection() : lock_(State().mutex), db_(State().db) {}

void TrimTable(sqlite3* db, const char* table, const char* key, const char* order) {
  int64_t count = 0;
  {
    store::SqliteStatement statement(db, std::string("select count(*) from ") + table);
    if (statement.Next()) count = statement.Int64(0);
  }
  if (count <= kMaxRowsKept) return;
  store::SqliteStatement trim(db, std::string("delete from ") + table + " where " + key +
                                      " in(select " + key + " from " + table + " order by " +
                                      order + " limit :excess)");
  trim.Bind(":excess", count - kMaxRowsKept).Run();
}

}  // namespace internal

bool OpenStore(uint64_t userId, const std::string& directory) {
  StoreState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.db != nullptr) {
    sqlite3_close_v2(state.db);
    state.db = nullptr;
  }
  char name[64];
  std::snprintf(name, sizeof name, "/usercache_%" PRIu64 ".db", userId);
  state.database_path = directory + name;
  state.avatar_directory = directory + "/AvatarCache";
  state.thumbnail_directory = directory + "/ThumbnailCache";
  EnsureDirectory(state.avatar_directory);
  EnsureDirectory(state.thumbnail_directory);

  sqlite3* db = nullptr;
  int rc =
      sqlite3_open_v2(state.database_path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_close_v2(db);
    return false;
  }
  sqlite3_busy_timeout(db, 2000);
  // A cache: write-ahead logging without a flush per change keeps every write
  // cheap; a crash may lose the last changes but never tears the file.
  store::ExecuteSql(db, "PRAGMA journal_mode=WAL");
  store::ExecuteSql(db, "PRAGMA synchronous=NORMAL");
  state.db = db;
  for (const std::string& sql :
       {Format(kRoomTable, "my_video_room"), Format(kRoomTable, "buddy_video_room"),
        std::string(kMessageTable), Format(kPublishTable, "publish_video")}) {
    if (!store::SqliteStatement(db, sql).Run()) return false;
  }
  return true;
}

void CloseStore() {
  StoreState& state = State();
  std::lock_guard lock(state.mutex);
  // Cursors still open keep their statements; the connection goes with the last.
  if (state.db != nullptr) sqlite3_close_v2(state.db);
  state.db = nullptr;
}

bool IsStoreOpen() { return internal::LockedConnection().db() != nullptr; }

std::string DatabasePath() {
  std::lock_guard lock(State().mutex);
  return State().database_path;
}

std::string AvatarCacheDirectory() {
  std::lock_guard lock(State().mutex);
  return State().avatar_directory;
}

std::string ThumbnailCacheDirectory() {
  std::lock_guard lock(State().mutex);
  return State().thumbnail_directory;
}

std::string BuddyAvatarPrefix() { return AvatarCacheDirectory() + "/buddy_"; }

void ReleaseTimeLineResult(TimeLineResult* result) {
  if (result == nullptr) return;
  internal::LockedConnection connection;
  delete result;
}

}  // namespace storelib
