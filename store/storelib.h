// storelib: the signed-in user's cache database ("usercache_<user id>.db" in
// the documents directory) and the two image-cache directories beside it.
//
// The database holds the two cached video timelines (own room and friends'
// room), the message inbox as JSON texts, and the publish data of recordings
// that have not yet left the upload queue. Every function is synchronous,
// works on one process-wide connection (safe to call from several threads),
// and reports failure only through its result: true/false, -1, null or the
// empty text. Every value reaches SQL as a bound parameter; ids and counters
// are bound and read as 64-bit integers.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace storelib {

// One row of a room table, in column order.
struct VideoItem {
  uint64_t videoId = 0;
  uint64_t userId = 0;  // the owner
  bool isPublicVideo = false;
  bool videoIsHidden = false;
  std::string userScreenName;
  std::string title;
  std::string channel;
  uint32_t publishUtc = 0;  // seconds since 1970 UTC
  uint32_t watchesCount = 0;
  bool liked = false;  // the signed-in user likes it
  uint32_t likesCount = 0;
  uint32_t commentsCount = 0;
  std::string playUrl;
  std::string thumbnailUrl;
  std::string webPlayUrl;
  std::string ownerAvatarUrl;
  uint32_t rotationDegree = 0;

  bool operator==(const VideoItem&) const = default;
};

// A cursor over a room table or the inbox, newest first. Used by one thread
// from its load to its release.
struct TimeLineResult;

// Store and caches ---------------------------------------------------------

// Sets the paths, creates the cache directories when missing, opens
// "<directory>/usercache_<user id>.db" and creates its four tables. True only
// when all of that worked. A store that is still open is closed first.
bool OpenStore(uint64_t userId, const std::string& directory);
void CloseStore();
bool IsStoreOpen();

std::string DatabasePath();
std::string AvatarCacheDirectory();
std::string ThumbnailCacheDirectory();
// AvatarCacheDirectory() + "/buddy_": friends' avatars, never cleaned.
std::string BuddyAvatarPrefix();

// With more than 200 avatar files (not counting friends' "buddy_" files),
// deletes them all except `keepPath`, the signed-in user's own avatar.
void CleanAvatarCache(const std::string& keepPath, const std::string& directory);
// With more than 300 thumbnail files, deletes them all.
void CleanThumbnailCache(const std::string& directory);

// Rows kept by a load; older rows are trimmed away.
inline constexpr int kMaxRowsKept = 200;

// Rooms ----------------------------------------------------------------------

// Trim to the newest 200, then a cursor in descending videoId; null on failure.
TimeLineResult* LoadMyVideoRoomTimeLine();
TimeLineResult* LoadBuddyVideoRoomTimeLine();
// Fills `item` from the next row; false at the end.
bool NextVideoItem(TimeLineResult* result, VideoItem* item);
void ReleaseTimeLineResult(TimeLineResult* result);

// Plain inserts: a videoId already stored keeps its old row.
void AppendToMyVideoRoom(const VideoItem& item);
void AppendToBuddyVideoRoom(const VideoItem& item);
// Counters, liked, isPublicVideo and title of the row with the item's videoId.
void UpdateVideoCountersForMyVideoRoom(const VideoItem& item);
void UpdateVideoCountersForBuddyVideoRoom(const VideoItem& item);
void RemoveAllFromMyVideoRoom();
void RemoveAllFromBuddyVideoRoom();

// Own room only.
void RemoveVideoItemFromMyVideoRoom(uint64_t videoId);
void ChangeVideoChannelForMyVideoRoom(uint64_t videoId, std::string_view channel);
void ChangeVideoTitleForMyVideoRoom(uint64_t videoId, std::string_view title);
void ChangeVideoVisibilityForMyVideoRoom(uint64_t videoId, bool hidden, std::string_view playUrl);
void OpenVideoToEveryoneForMyVideoRoom(uint64_t videoId);

// Friends' room only. The largest cached videoId, or -1 when there is none.
int64_t GetLatestVideoIdForBuddyVideoRoom();
// Screen name and avatar of every row of that owner.
void UpdateUserInfoForBuddyVideoRoom(uint64_t userId, std::string_view userScreenName,
                                     std::string_view ownerAvatarUrl);

// Messages -------------------------------------------------------------------
// Messages are ordered by their own time ("utc_ts" of the JSON text), then by
// row id, so that pages stored out of order still read back newest first.

// Trim to the newest 200, then a cursor, newest first; null on failure.
TimeLineResult* LoadMessageItems();
bool NextMessageItem(TimeLineResult* result, int64_t* mid, std::string* message);
// The new row id, or -1 on failure.
int64_t AppendMessageItem(std::string_view message);
void UpdateMessageItem(int64_t mid, std::string_view message);
// The newest message; false when there is none.
bool GetLatestMessageItem(int64_t* mid, std::string* message);
void RemoveAllMessageItems();

// Publish data -----------------------------------------------------------------

struct VideoPublishData {
  uint64_t videoId = 0;  // 0 until the service has given the recording its id
  std::string title;
  std::string channel;
  double longitude = 0;
  double latitude = 0;
  int rotationDegree = 0;
  // User ids or guest entries "provider#identity"; empty for a public recording.
  std::vector<std::string> receivers;
};

void AppendVideoPublishData(std::string_view uuid, std::string_view title, std::string_view channel,
                            double longitude, double latitude, int rotationDegree,
                            const std::vector<std::string>& receivers);
// Fills `data` (receivers are appended); false when there is no such row.
bool GetVideoPublishData(std::string_view uuid, VideoPublishData* data);
bool GetVideoUuidForPublishData(uint64_t videoId, std::string* uuid);
void UpdateVideoIdForPublishData(std::string_view uuid, uint64_t videoId);
// The title, or the empty text.
std::string GetVideoTitleForPublishData(std::string_view uuid);
// Deletes the publish data of every uuid not in `keep`.
void RemoveVideoPublishData(const std::set<std::string, std::less<>>& keep);

// The receivers text of a row: joined with "," and read back by splitting at
// every comma, an empty tail dropped ("12,,34" gives "12", "", "34").
std::string JoinReceivers(const std::vector<std::string>& receivers);
void SplitReceivers(std::string_view text, std::vector<std::string>* receivers);

}  // namespace storelib
