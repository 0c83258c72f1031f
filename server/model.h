// The service's JSON objects, built from the database, and the rules shared by
// the endpoint groups: who may see a video, the URLs handed out, messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/value.h"
#include "server/api_context.h"

namespace server {

constexpr size_t kMaxNameChars = 64;
constexpr size_t kMaxUrlChars = 1024;
constexpr size_t kMaxIdentityChars = 254;
constexpr size_t kMaxTitleChars = 140;
constexpr size_t kMaxCommentChars = 1000;
constexpr size_t kMaxTokenChars = 2048;
constexpr int64_t kMaxId = INT64_C(9007199254740991);  // exact in every JSON reader

// A "None" for a missing avatar, as the clients expect in video and comment objects.
std::string AvatarOrNone(const std::string& url);

// The URLs of a stream; `key` is the random part that makes them unguessable.
std::string VideoPublishUrl(const std::string& base, int64_t vid, const std::string& key);
std::string VideoPlayUrl(const std::string& base, int64_t vid, const std::string& key);
std::string VideoWebUrl(const std::string& base, int64_t vid, const std::string& key);
std::string VoicePublishUrl(const std::string& base, int64_t cid, const std::string& key);
std::string VoicePlayUrl(const std::string& base, int64_t cid, const std::string& key);

// Whether a user exists.
bool UserExists(SqliteDb& db, int64_t uid);
// Whether `owner` has put `user` on the blacklist.
bool IsBlocked(SqliteDb& db, int64_t owner, int64_t user);

// The user object: "_id", "login_meta", "bindings", "profile". Bindings of
// other users leave out e-mail addresses and every social-network secret;
// `own` (the signed-in user himself) gets them all.
platform::Value UserObject(SqliteDb& db, int64_t uid, bool own);
// The login answer with a fresh access token (or none for an inactive account).
platform::Value LoginResponse(SqliteDb& db, int64_t uid, const std::string& provider,
                              const std::string& identity, const std::string* token);
// Makes and stores a new access token for `uid`.
std::string IssueToken(SqliteDb& db, int64_t uid, int64_t now);

// SQL condition: video row "v" can be seen by the user bound to ?1 (0: anyone).
extern const char* const kVisibleToViewer;
// The columns VideoObject reads, for "SELECT ... FROM videos v".
extern const char* const kVideoColumns;
platform::Value VideoObject(ApiContext& ctx, const Statement& row);
// The video's owner and stream key when it exists and the viewer may see it;
// refuses with 404 otherwise (a private video is not revealed).
struct VideoRef {
  int64_t id;
  int64_t owner;
  std::string key;
  std::string title;
};
VideoRef VisibleVideo(ApiContext& ctx, int64_t vid);
// The video when the viewer owns it; 404 when missing or not visible, 403 when not his.
VideoRef OwnVideo(ApiContext& ctx, int64_t vid);

// Stores an inbox message for `to` unless `to` has blacklisted the sender.
void AddMessage(SqliteDb& db, int64_t to, std::string_view mtype, int64_t from,
                std::string_view text, std::optional<int64_t> vid, std::optional<int64_t> cid,
                int64_t now);

// Newest-first paging by id: reads "before" and "after" (0 = not given).
struct Page {
  int64_t before = 0;  // only ids below it
  int64_t after = 0;   // only ids above it
};
Page ReadPage(ApiContext& ctx);

}  // namespace server
