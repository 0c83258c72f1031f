#include "server/backend.h"

#include <cstdio>
#include <ctime>
#include <regex>
#include <stdexcept>

#include "server/crypto.h"
#include "server/durable_dir.h"
#include "server/identity_rules.h"
#include "server/schema.h"

namespace server {
namespace {

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

constexpr int kReaders = 4;

// GET requests read only, except a search with a position, which stores it.
bool IsReadOnly(const ApiRoute& route) {
  return std::string_view(route.method) == "GET" && std::string_view(route.path) != "/api/user/search";
}

std::string DatabasePath(const std::string& data_dir) { return data_dir + "/selvo.db"; }

bool IsStreamKey(const std::string& text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

HttpResponse Bytes(std::string content_type, std::string body, const char* cache_control) {
  HttpResponse response;
  response.content_type = std::move(content_type);
  response.body = std::move(body);
  response.headers.emplace_back("Cache-Control", cache_control);
  response.headers.emplace_back("Access-Control-Allow-Origin", "*");
  return response;
}

}  // namespace

Backend::Backend(BackendOptions options)
    : options_(std::move(options)), media_(options_.data_dir + "/media", options_.limits) {
  std::string error;
  if (!DurableDir(options_.data_dir).Create(&error)) throw std::runtime_error(error);
  db_ = std::make_unique<SqliteDb>(DatabasePath(options_.data_dir));
  CreateSchema(*db_);
  for (int i = 0; i < kReaders; ++i) {
    readers_.push_back(std::make_unique<SqliteDb>(DatabasePath(options_.data_dir)));
    readers_.back()->Exec("PRAGMA query_only=1");
  }
  std::vector<ApiRoute> routes;
  AddAccountRoutes(routes);
  AddUserRoutes(routes);
  AddVideoRoutes(routes);
  AddTimelineRoutes(routes);
  AddMessageRoutes(routes);
  for (const ApiRoute& route : routes) routes_[{route.method, route.path}] = route;
}

Backend::~Backend() = default;

class Backend::ReaderLease {
 public:
  explicit ReaderLease(Backend& backend) : backend_(backend) {
    std::unique_lock lock(backend_.readers_mutex_);
    backend_.reader_free_.wait(lock, [&] { return !backend_.readers_.empty(); });
    db_ = std::move(backend_.readers_.back());
    backend_.readers_.pop_back();
  }
  ~ReaderLease() {
    {
      std::lock_guard lock(backend_.readers_mutex_);
      backend_.readers_.push_back(std::move(db_));
    }
    backend_.reader_free_.notify_one();
  }
  SqliteDb& db() { return *db_; }

 private:
  Backend& backend_;
  std::unique_ptr<SqliteDb> db_;
};

HttpResponse Backend::Handle(const HttpRequest& request) {
  try {
    const std::string& path = request.path;
    if (path.starts_with("/api/") || path.starts_with("/webapi/")) return HandleApi(request);
    if (path.starts_with("/ingest/")) return HandleIngest(request);
    return HandleOrigin(request);
  } catch (const ApiError& error) {
    return ErrorResponse(error.status, error.msg);
  } catch (const ConstraintError& error) {
    return ErrorResponse(409, "the change conflicts with stored data");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "selvo-server: %s %s failed: %s\n", request.method.c_str(),
                 request.path.c_str(), error.what());
    return ErrorResponse(500, "internal error");
  }
}

int64_t Backend::KnownTokenUser(const std::string* token) {
  if (!token || token->empty() || token->size() > 256) return 0;
  std::lock_guard lock(tokens_mutex_);
  auto it = token_users_.find(TokenDigest(*token));
  return it == token_users_.end() ? 0 : it->second;
}

int64_t Backend::UserOfToken(SqliteDb& db, const std::string* token) {
  if (!token || token->empty() || token->size() > 256) return 0;
  std::string digest = TokenDigest(*token);
  uint64_t generation;
  {
    std::lock_guard lock(tokens_mutex_);
    if (auto it = token_users_.find(digest); it != token_users_.end()) return it->second;
    generation = token_generation_;
  }
  auto q = db.Prepare("SELECT user_id FROM tokens WHERE token_hash=?1");
  q.Bind(1, digest);
  if (!q.Step()) return 0;
  std::lock_guard lock(tokens_mutex_);
  // A logout since the read may have revoked what it saw: do not remember it.
  if (generation == token_generation_) {
    if (token_users_.size() > 100000) token_users_.clear();
    token_users_[digest] = q.Int(0);
  }
  return q.Int(0);
}

HttpResponse Backend::HandleApi(const HttpRequest& request) {
  std::string method = request.method == "HEAD" ? "GET" : request.method;
  auto it = routes_.find({method, request.path});
  if (it == routes_.end()) {
    for (const auto& [key, route] : routes_) {
      if (key.second == request.path) Fail(405, request.method + " is not allowed on " + request.path);
    }
    Fail(404, "no endpoint " + request.path);
  }
  const ApiRoute& route = it->second;
  std::optional<ReaderLease> reader;
  std::unique_lock<std::mutex> writer;
  if (IsReadOnly(route)) {
    reader.emplace(*this);
  } else {
    writer = std::unique_lock(db_mutex_);
  }
  SqliteDb& db = reader ? reader->db() : *db_;
  ApiContext ctx{request, Params(request.params), 0, db, media_, options_.settings, Now()};
  switch (route.access) {
    case ApiRoute::Access::kToken:
      ctx.viewer = UserOfToken(db, request.Header("x-access-token"));
      if (ctx.viewer == 0) Fail(401, "the access token is not valid: sign in again");
      break;
    case ApiRoute::Access::kAnonymous:
      ReadSignedIdentity(ctx.params, {"app"});
      break;
    case ApiRoute::Access::kIdentity:
      break;
  }
  // Every request is one transaction: a refusal halfway leaves nothing behind,
  // and a read sees one consistent state.
  Transaction transaction(db, reader ? Transaction::kRead : Transaction::kWrite);
  platform::Value answer = route.handler(ctx);
  transaction.Commit();
  if (std::string_view(route.path) == "/api/auth/logout") {
    std::lock_guard lock(tokens_mutex_);
    token_users_.erase(TokenDigest(*request.Header("x-access-token")));
    ++token_generation_;
  }
  return JsonResponse(answer);
}

std::optional<int64_t> Backend::StreamOwner(StreamId stream, const std::string& key) {
  if (!IsStreamKey(key)) return std::nullopt;
  if (auto known = media_.KnownOwner(stream)) {
    if (known->second != key) return std::nullopt;
    return known->first;
  }
  ReaderLease reader(*this);
  auto q = reader.db().Prepare(stream.kind == StreamId::Kind::kVideo
                            ? "SELECT owner_id, stream_key FROM videos WHERE id=?1"
                            : "SELECT user_id, stream_key FROM comments WHERE id=?1 AND ctype='voice'");
  q.Bind(1, stream.id);
  if (!q.Step()) return std::nullopt;
  media_.RememberOwner(stream, q.Int(0), q.Text(1));
  if (q.Text(1) != key) return std::nullopt;
  return q.Int(0);
}

namespace {

// "/<prefix>/(video|voice)/<id>/<rest>" split into its parts.
struct MediaPath {
  StreamId stream;
  std::string rest;
};

std::optional<MediaPath> ParseMediaPath(const std::string& path, std::string_view prefix) {
  static const std::regex kPattern("^/(video|voice)/([1-9][0-9]{0,15})/([0-9A-Za-z_.]{1,80})$");
  if (!path.starts_with(prefix)) return std::nullopt;
  std::smatch match;
  std::string tail = path.substr(prefix.size());
  if (!std::regex_match(tail, match, kPattern)) return std::nullopt;
  MediaPath parsed;
  parsed.stream.kind = match[1] == "video" ? StreamId::Kind::kVideo : StreamId::Kind::kVoice;
  parsed.stream.id = std::stoll(match[2]);
  parsed.rest = match[3];
  return parsed;
}

std::optional<int> SmallInt(const std::multimap<std::string, std::string>& params,
                            const std::string& name) {
  auto [first, last] = params.equal_range(name);
  if (first == last || std::next(first) != last) return std::nullopt;
  const std::string& text = first->second;
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return std::stoi(text);
}

}  // namespace

HttpResponse Backend::HandleIngest(const HttpRequest& request) {
  auto parsed = ParseMediaPath(request.path, "/ingest");
  if (!parsed) Fail(404, "no ingest stream " + request.path);
  auto owner = StreamOwner(parsed->stream, parsed->rest);
  if (!owner) Fail(404, "no ingest stream " + request.path);
  int64_t user = KnownTokenUser(request.Header("access-token"));
  if (user == 0) {
    ReaderLease reader(*this);
    user = UserOfToken(reader.db(), request.Header("access-token"));
  }
  if (user == 0 || user != *owner) Fail(401, "the Access-Token is not the stream owner's");
  auto cmd = SmallInt(request.params, "cmd");
  if (!cmd) Fail(400, "parameter \"cmd\" must be 0, 1 or 2");
  IngestResult result;
  switch (*cmd) {
    case 0:
      result = media_.Open(parsed->stream, request.body);
      break;
    case 1:
      result = media_.Close(parsed->stream);
      break;
    case 2: {
      auto seg = SmallInt(request.params, "seg");
      auto sec = SmallInt(request.params, "sec");
      if (!seg || !sec) Fail(400, "cmd=2 needs integer \"seg\" and \"sec\"");
      if (request.body.empty()) Fail(400, "cmd=2 needs the piece as its body");
      result = media_.AddPiece(parsed->stream, *seg, *sec, request.body);
      break;
    }
    default:
      Fail(400, "parameter \"cmd\" must be 0, 1 or 2");
  }
  if (result.status != 200) return ErrorResponse(result.status, result.msg);
  StreamInfo info = media_.Info(parsed->stream);
  platform::Value answer;
  answer.Set("pieces", info.pieces);
  answer.Set("ended", info.ended);
  return JsonResponse(answer);
}

HttpResponse Backend::HandleOrigin(const HttpRequest& request) {
  if (request.method != "GET" && request.method != "HEAD") {
    Fail(405, request.method + " is not allowed on " + request.path);
  }
  const std::string& path = request.path;
  if (path == "/") {
    platform::Value answer;
    answer.Set("service", "selvo-server");
    return JsonResponse(answer);
  }
  if (path.starts_with("/media/avatars/")) {
    std::string name = path.substr(15);
    if (!DurableDir::IsSafeName(name)) Fail(404, "no such avatar");
    auto data = DurableDir(options_.settings.avatar_dir).ReadFile(name);
    if (!data) Fail(404, "no such avatar");
    return Bytes(name.ends_with(".png") ? "image/png" : "image/jpeg", std::move(*data),
                 "public, max-age=31536000, immutable");
  }
  if (path.starts_with("/watch/")) {
    static const std::regex kWatch("^/watch/([1-9][0-9]{0,15})/([0-9a-f]{32})$");
    std::smatch match;
    if (!std::regex_match(path, match, kWatch)) Fail(404, "no such video");
    StreamId stream{StreamId::Kind::kVideo, std::stoll(match[1])};
    if (!StreamOwner(stream, match[2])) Fail(404, "no such video");
    std::string title;
    {
      ReaderLease reader(*this);
      auto q = reader.db().Prepare("SELECT title FROM videos WHERE id=?1");
      q.Bind(1, stream.id);
      if (q.Step()) title = q.Text(0);
    }
    std::string stem = match[2];
    return Bytes("text/html; charset=utf-8", WatchPage(title, stem + ".m3u8", stem + "_280x210.jpg"),
                 "no-cache");
  }
  auto parsed = ParseMediaPath(path, "/hls");
  if (!parsed) Fail(404, "nothing at " + path);
  // The stream key, then what is asked for: ".m3u8", "_280x210.jpg" or "_<file>.ts".
  static const std::regex kName("^([0-9a-f]{32})(\\.m3u8|_280x210\\.jpg|_([1-9][0-9]{0,8})\\.ts)$");
  std::smatch match;
  if (!std::regex_match(parsed->rest, match, kName) || !StreamOwner(parsed->stream, match[1])) {
    Fail(404, "nothing at " + path);
  }
  std::string kind = match[2];
  if (kind == ".m3u8") {
    return Bytes("application/vnd.apple.mpegurl", media_.Playlist(parsed->stream, match[1].str()),
                 "no-cache");
  }
  if (kind == "_280x210.jpg") {
    auto thumbnail = media_.Thumbnail(parsed->stream);
    if (!thumbnail) Fail(404, "the stream has no thumbnail");
    return Bytes(thumbnail->first, std::move(thumbnail->second), "public, max-age=60");
  }
  auto segment = media_.Segment(parsed->stream, std::stoi(match[3]));
  if (!segment) Fail(404, "no such piece");
  // A file number is never reused, so a piece's content never changes.
  return Bytes("video/MP2T", std::move(*segment), "public, max-age=31536000, immutable");
}

bool Backend::ActivateIdentity(const std::string& data_dir, const std::string& provider,
                               const std::string& identity) {
  SqliteDb db(DatabasePath(data_dir));
  CreateSchema(db);
  auto q = db.Prepare("UPDATE identities SET activated=1 WHERE provider=?1 AND identity=?2");
  q.Bind(1, provider).Bind(2, identity).Run();
  return db.Changes() > 0;
}

std::vector<std::string> Backend::InactiveIdentities(const std::string& data_dir) {
  SqliteDb db(DatabasePath(data_dir));
  CreateSchema(db);
  auto q = db.Prepare("SELECT provider, identity FROM identities WHERE activated=0 ORDER BY created_ts");
  std::vector<std::string> lines;
  while (q.Step()) lines.push_back(q.Text(0) + " " + q.Text(1));
  return lines;
}

}  // namespace server
