// VideoAPIClient: publishing and closing a recording, a user's video list, a
// video's metadata, location and receivers, editing and deleting own videos,
// comments, likes and watches. Video and user ids travel in their decimal text.
//
// Reading comments, watching and reading metadata work signed out too: without
// an access token they go to the /webapi/ paths, signed as the application.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/service_http_client.h"

namespace service {

class VideoAPIClient final : public ServiceHTTPClient {
 public:
  using Success = ServiceHTTPClient::Success;
  using Failure = ServiceHTTPClient::Failure;

  explicit VideoAPIClient(std::string base_url);

  static VideoAPIClient& SharedClient();
  static void SetAuthorizationHeaderWithToken(std::optional<std::string> token);
  static std::optional<std::string> AuthorizationHeaderWithToken();
  static void SetUserAgent();

  // Publishing (neither reports: the callers handle 401 themselves).
  struct Publish {
    std::optional<std::string> title;  // nullopt: the local time
    std::optional<std::string> channel;
    std::optional<int64_t> record_time;  // seconds since 1970; nullopt: now
    bool is_public = true;
    std::optional<float> longitude;  // sent only with latitude
    std::optional<float> latitude;
    std::optional<std::string> orientation;  // "90", "0" or "180"
    std::optional<std::vector<std::string>> acl;
  };
  static void PublishVideo(const Publish& publish, Success success, Failure failure);
  static void TerminateVideo(const std::string& vid, const std::optional<int64_t>& stop_record_time,
                             Success success, Failure failure);

  // Reading videos.
  static void Timeline(const std::string& uid, const std::optional<std::string>& before_vid,
                       const std::optional<std::string>& after_vid, Success success,
                       Failure failure);
  static void VideoMeta(const std::string& vid, Success success, Failure failure);
  static void VideoLocation(const std::string& vid, Success success, Failure failure);
  static void GetVideoAcl(const std::string& vid, Success success, Failure failure);
  static void UserVideoTotalCounts(const std::string& uid, Success success, Failure failure);
  static void GetVideoListCount(Success success, Failure failure);

  // Editing own videos.
  static void EditVideo(const std::string& vid, const std::optional<std::string>& title,
                        const std::optional<std::string>& status, bool is_public, Success success,
                        Failure failure);
  // "vid" and every entry of `meta_data` (a dictionary).
  static void EditVideo(const std::string& vid, const platform::Value& meta_data, Success success,
                        Failure failure);
  static void DeleteVideo(const std::string& vid, Success success, Failure failure);

  // Comments, likes, watches.
  static void GetComments(const std::string& vid, const std::optional<std::string>& before_cid,
                          const std::optional<std::string>& after_cid, Success success,
                          Failure failure);
  static void AddComment(const std::string& vid, const std::string& owner_id,
                         const std::string& ctype, const std::optional<std::string>& text,
                         Success success, Failure failure);
  static void DeleteComment(const std::string& cid, const std::string& vid, Success success,
                            Failure failure);
  static void Like(const std::string& vid, const std::string& owner_id, Success success,
                   Failure failure);
  static void Watch(const std::string& vid, const std::string& owner_id, Success success,
                    Failure failure);

  // Cancelling what a closing video page still waits for. Each cancels its
  // own requests only, signed in or out.
  static void CancelAllGetComments();
  static void CancelAllWatch();
  static void CancelAllVideoMeta();
};

}  // namespace service
