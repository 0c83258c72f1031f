// Publish data of recordings, publish_video, keyed by the recording's uuid.
#include <string>

#include "store/storelib_internal.h"

namespace storelib {

using internal::LockedConnection;
using store::SqliteStatement;

std::string JoinReceivers(const std::vector<std::string>& receivers) {
  std::string text;
  for (size_t i = 0; i < receivers.size(); ++i) {
    if (i > 0) text += ',';
    text += receivers[i];
  }
  return text;
}

void SplitReceivers(std::string_view text, std::vector<std::string>* receivers) {
  size_t start = 0;
  for (size_t comma = text.find(','); comma != std::string_view::npos;
       comma = text.find(',', start)) {
    receivers->emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  if (start < text.size()) receivers->emplace_back(text.substr(start));
}

void AppendVideoPublishData(std::string_view uuid, std::string_view title, std::string_view channel,
                            double longitude, double latitude, int rotationDegree,
                            const std::vector<std::string>& receivers) {
  LockedConnection connection;
  SqliteStatement(connection.db(),
                  "insert into publish_video (uuid,title,channel,longitude,latitude,"
                  "rotationDegree,receivers) values(:uuid,:title,:channel,:longitude,:latitude,"
                  ":rotationDegree,:receivers)")
      .Bind(":uuid", uuid)
      .Bind(":title", title)
      .Bind(":channel", channel)
      .Bind(":longitude", longitude)
      .Bind(":latitude", latitude)
      .Bind(":rotationDegree", int64_t{rotationDegree})
      .Bind(":receivers", JoinReceivers(receivers))
      .Run();
}

bool GetVideoPublishData(std::string_view uuid, VideoPublishData* data) {
  LockedConnection connection;
  SqliteStatement row(connection.db(),
                      "select videoId,title,channel,longitude,latitude,rotationDegree,receivers "
                      "from publish_video where uuid=:uuid");
  row.Bind(":uuid", uuid);
  if (!row.Next()) return false;
  data->videoId = static_cast<uint64_t>(row.Int64(0));
  data->title = row.Text(1);
  data->channel = row.Text(2);
  data->longitude = row.Double(3);
  data->latitude = row.Double(4);
  data->rotationDegree = static_cast<int>(row.Int64(5));
  SplitReceivers(row.Text(6), &data->receivers);
  return true;
}

bool GetVideoUuidForPublishData(uint64_t videoId, std::string* uuid) {
  LockedConnection connection;
  SqliteStatement row(connection.db(), "select uuid from publish_video where videoId=:videoId");
  row.Bind(":videoId", static_cast<int64_t>(videoId));
  if (!row.Next()) return false;
  *uuid = row.Text(0);
  return true;
}

void UpdateVideoIdForPublishData(std::string_view uuid, uint64_t videoId) {
  LockedConnection connection;
  SqliteStatement(connection.db(), "update publish_video set videoId=:videoId where uuid=:uuid")
      .Bind(":videoId", static_cast<int64_t>(videoId))
      .Bind(":uuid", uuid)
      .Run();
}

std::string GetVideoTitleForPublishData(std::string_view uuid) {
  LockedConnection connection;
  SqliteStatement row(connection.db(), "select title from publish_video where uuid=:uuid");
  row.Bind(":uuid", uuid);
  return row.Next() ? row.Text(0) : std::string();
}

void RemoveVideoPublishData(const std::set<std::string, std::less<>>& keep) {
  LockedConnection connection;
  std::vector<std::string> stale;
  {
    SqliteStatement row(connection.db(), "select uuid from publish_video");
    while (row.Next()) {
      std::string uuid = row.Text(0);
      if (!keep.contains(uuid)) stale.push_back(std::move(uuid));
    }
  }
  for (const std::string& uuid : stale) {
    SqliteStatement remove(connection.db(), "delete from publish_video where uuid=:uuid");
    if (!remove.ok()) break;
    remove.Bind(":uuid", uuid).Run();
  }
}

}  // namespace storelib
