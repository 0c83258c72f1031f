// The two cached video timelines: my_video_room and buddy_video_room.
#include <string>

#include "store/storelib_internal.h"

namespace storelib {
namespace {

using internal::LockedConnection;
using store::SqliteStatement;

constexpr char kMyRoom[] = "my_video_room";
constexpr char kBuddyRoom[] = "buddy_video_room";

constexpr char kColumns[] =
    "videoId,userId,isPublicVideo,videoIsHidden,userScreenName,title,channel,publishUtc,"
    "watchesCount,liked,likesCount,commentsCount,playUrl,thumbnailUrl,webPlayUrl,ownerAvatarUrl,"
    "rotationDegree";

std::string Sql(const char* before, const char* table, const char* after) {
  return std::string(before) + table + after;
}

int64_t Number(uint64_t value) { return static_cast<int64_t>(value); }

TimeLineResult* LoadRoom(const char* table) {
  LockedConnection connection;
  if (connection.db() == nullptr) return nullptr;
  internal::TrimTable(connection.db(), table, "videoId", "videoId");
  auto statement = std::make_unique<SqliteStatement>(
      connection.db(),
      Sql((std::string("select ") + kColumns + " from ").c_str(), table, " order by videoId desc"));
  if (!statement->ok()) return nullptr;
  return new TimeLineResult{std::move(statement)};
}

void Append(const char* table, const VideoItem& item) {
  LockedConnection connection;
  SqliteStatement statement(
      connection.db(),
      Sql("insert or ignore into ", table,
          (std::string(" (") + kColumns +
           ") values(:videoId,:userId,:isPublicVideo,:videoIsHidden,:screenName,:title,:channel,"
           ":publishUtc,:watchesCount,:liked,:likesCount,:commentsCount,:playUrl,:thumbnailUrl,"
           ":webPlayUrl,:ownerAvatarUrl,:rotationDegree)")
              .c_str()));
  statement.Bind(":videoId", Number(item.videoId))
      .Bind(":userId", Number(item.userId))
      .Bind(":isPublicVideo", int64_t{item.isPublicVideo})
      .Bind(":videoIsHidden", int64_t{item.videoIsHidden})
      .Bind(":screenName", item.userScreenName)
      .Bind(":title", item.title)
      .Bind(":channel", item.channel)
      .Bind(":publishUtc", int64_t{item.publishUtc})
      .Bind(":watchesCount", int64_t{item.watchesCount})
      .Bind(":liked", int64_t{item.liked})
      .Bind(":likesCount", int64_t{item.likesCount})
      .Bind(":commentsCount", int64_t{item.commentsCount})
      .Bind(":playUrl", item.playUrl)
      .Bind(":thumbnailUrl", item.thumbnailUrl)
      .Bind(":webPlayUrl", item.webPlayUrl)
      .Bind(":ownerAvatarUrl", item.ownerAvatarUrl)
      .Bind(":rotationDegree", int64_t{item.rotationDegree})
      .Run();
}

void UpdateCounters(const char* table, const VideoItem& item) {
  LockedConnection connection;
  SqliteStatement(connection.db(),
                  Sql("update ", table,
                      " set watchesCount=:watchesCount,likesCount=:likesCount,liked=:liked,"
                      "commentsCount=:commentsCount,isPublicVideo=:isPublicVideo,title=:title "
                      "where videoId=:videoId"))
      .Bind(":watchesCount", int64_t{item.watchesCount})
      .Bind(":likesCount", int64_t{item.likesCount})
      .Bind(":liked", int64_t{item.liked})
      .Bind(":commentsCount", int64_t{item.commentsCount})
      .Bind(":isPublicVideo", int64_t{item.isPublicVideo})
      .Bind(":title", item.title)
      .Bind(":videoId", Number(item.videoId))
      .Run();
}

void RemoveAll(const char* table) {
  LockedConnection connection;
  SqliteStatement(connection.db(), Sql("delete from ", table, "")).Run();
}

}  // namespace

TimeLineResult* LoadMyVideoRoomTimeLine() { return LoadRoom(kMyRoom); }
TimeLineResult* LoadBuddyVideoRoomTimeLine() { return LoadRoom(kBuddyRoom); }

bool NextVideoItem(TimeLineResult* result, VideoItem* item) {
  if (result == nullptr || item == nullptr) return false;
  LockedConnection connection;
  SqliteStatement& row = *result->statement;
  if (!row.Next()) return false;
  // Only a stored 1 is true.
  auto flag = [&](int column) { return row.Int64(column) == 1; };
  auto counter = [&](int column) { return static_cast<uint32_t>(row.Int64(column)); };
  item->videoId = static_cast<uint64_t>(row.Int64(0));
  item->userId = static_cast<uint64_t>(row.Int64(1));
  item->isPublicVideo = flag(2);
  item->videoIsHidden = flag(3);
  item->userScreenName = row.Text(4);
  item->title = row.Text(5);
  item->channel = row.Text(6);
  item->publishUtc = counter(7);
  item->watchesCount = counter(8);
  item->liked = flag(9);
  item->likesCount = counter(10);
  item->commentsCount = counter(11);
  item->playUrl = row.Text(12);
  item->thumbnailUrl = row.Text(13);
  item->webPlayUrl = row.Text(14);
  item->ownerAvatarUrl = row.Text(15);
  item->rotationDegree = counter(16);
  return true;
}

void AppendToMyVideoRoom(const VideoItem& item) { Append(kMyRoom, item); }
void AppendToBuddyVideoRoom(const VideoItem& item) { Append(kBuddyRoom, item); }
void UpdateVideoCountersForMyVideoRoom(const VideoItem& item) { UpdateCounters(kMyRoom, item); }
void UpdateVideoCountersForBuddyVideoRoom(const VideoItem& item) {
  UpdateCounters(kBuddyRoom, item);
}
void RemoveAllFromMyVideoRoom() { RemoveAll(kMyRoom); }
void RemoveAllFromBuddyVideoRoom() { RemoveAll(kBuddyRoom); }

void RemoveVideoItemFromMyVideoRoom(uint64_t videoId) {
  LockedConnection connection;
  SqliteStatement(connection.db(), "delete from my_video_room where videoId=:videoId")
      .Bind(":videoId", Number(videoId))
      .Run();
}

void ChangeVideoChannelForMyVideoRoom(uint64_t videoId, std::string_view channel) {
  LockedConnection connection;
  SqliteStatement(connection.db(),
                  "update my_video_room set channel=:channel where videoId=:videoId")
      .Bind(":channel", channel)
      .Bind(":videoId", Number(videoId))
      .Run();
}

void ChangeVideoTitleForMyVideoRoom(uint64_t videoId, std::string_view title) {
  LockedConnection connection;
  SqliteStatement(connection.db(), "update my_video_room set title=:title where videoId=:videoId")
      .Bind(":title", title)
      .Bind(":videoId", Number(videoId))
      .Run();
}

void ChangeVideoVisibilityForMyVideoRoom(uint64_t videoId, bool hidden, std::string_view playUrl) {
  LockedConnection connection;
  SqliteStatement(connection.db(),
                  "update my_video_room set videoIsHidden=:hidden,playUrl=:playUrl "
                  "where videoId=:videoId")
      .Bind(":hidden", int64_t{hidden})
      .Bind(":playUrl", playUrl)
      .Bind(":videoId", Number(videoId))
      .Run();
}

void OpenVideoToEveryoneForMyVideoRoom(uint64_t videoId) {
  LockedConnection connection;
  SqliteStatement(connection.db(),
                  "update my_video_room set isPublicVideo=1 where videoId=:videoId")
      .Bind(":videoId", Number(videoId))
      .Run();
}

int64_t GetLatestVideoIdForBuddyVideoRoom() {
  LockedConnection connection;
  SqliteStatement statement(connection.db(),
                            "select videoId from buddy_video_room order by videoId desc limit 1");
  if (!statement.Next()) return -1;
  return statement.Int64(0);
}

void UpdateUserInfoForBuddyVideoRoom(uint64_t userId, std::string_view userScreenName,
                                     std::string_view ownerAvatarUrl) {
  LockedConnection connection;
  SqliteStatement(connection.db(),
                  "update buddy_video_room set userScreenName=:userScreenName,"
                  "ownerAvatarUrl=:ownerAvatarUrl where userId=:userId")
      .Bind(":userScreenName", userScreenName)
      .Bind(":ownerAvatarUrl", ownerAvatarUrl)
      .Bind(":userId", Number(userId))
      .Run();
}

}  // namespace storelib
