#include "service/video_api_client.h"

#include "service/client_environment.h"
#include "service/endpoint.h"
#include "service/form_encoding.h"
#include "service/shared_clients.h"

namespace service {
namespace {

using internal::Failing;
using internal::Report;
using platform::Value;

VideoAPIClient& Client() { return VideoAPIClient::SharedClient(); }

// The /api/ path, or the /webapi/ one signed as the application when no
// token is installed.
std::string ChoosePath(const char* api, const char* webapi, Params& params) {
  if (Client().HasAccessToken()) return api;
  internal::AddApplicationIdentity(params);
  return webapi;
}

}  // namespace

VideoAPIClient::VideoAPIClient(std::string base_url) : ServiceHTTPClient(std::move(base_url)) {}

VideoAPIClient& VideoAPIClient::SharedClient() {
  return internal::Shared<VideoAPIClient>(internal::ClientSlot::kVideo);
}

void VideoAPIClient::SetAuthorizationHeaderWithToken(std::optional<std::string> token) {
  Client().SetAccessTokenHeader(std::move(token));
}

std::optional<std::string> VideoAPIClient::AuthorizationHeaderWithToken() {
  return Client().AccessTokenHeader();
}

void VideoAPIClient::SetUserAgent() { Client().SetApplicationUserAgent(); }

void VideoAPIClient::PublishVideo(const Publish& p, Success success, Failure failure) {
  ClientEnvironment& env = DefaultClientEnvironment();
  Params params;
  params.Add("title", p.title ? *p.title : env.LocalTimeText());
  params.Add("publish_utc_time",
             p.record_time ? std::to_string(*p.record_time) : internal::CurrentUnixTimeText());
  params.Add("network", env.NetworkName());
  params.Add("device", env.PlatformName());
  params.Add("public", p.is_public);
  params.AddIf("channel", p.channel);
  if (p.longitude && p.latitude) {
    params.Add("longitude", FloatText(*p.longitude)).Add("latitude", FloatText(*p.latitude));
  }
  params.AddArrayIf("acl", p.acl);
  params.AddIf("orientation", p.orientation);
  Client().Post("/api/video/publish", params, std::move(success),
                Failing(std::move(failure), Report::kNo));
}

void VideoAPIClient::TerminateVideo(const std::string& vid,
                                    const std::optional<int64_t>& stop_record_time, Success success,
                                    Failure failure) {
  Params params;
  params.Add("publish_utc_time", stop_record_time ? std::to_string(*stop_record_time)
                                                  : internal::CurrentUnixTimeText());
  params.Add("vid", vid);
  Client().Post("/api/video/terminate", params, std::move(success),
                Failing(std::move(failure), Report::kNo));
}

void VideoAPIClient::Timeline(const std::string& uid, const std::optional<std::string>& before_vid,
                              const std::optional<std::string>& after_vid, Success success,
                              Failure failure) {
  Client().Get("/api/video/timeline",
               Params().AddIf("before", before_vid).AddIf("after", after_vid).Add("uid", uid),
               std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::VideoMeta(const std::string& vid, Success success, Failure failure) {
  Params params;
  params.Add("vid", vid);
  const std::string path = ChoosePath("/api/video", "/webapi/video", params);
  Client().Get(path, params, std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::VideoLocation(const std::string& vid, Success success, Failure failure) {
  Client().Get("/api/video/location", Params().Add("vid", vid), std::move(success),
               Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::GetVideoAcl(const std::string& vid, Success success, Failure failure) {
  Client().Get("/api/video/acl", Params().Add("vid", vid), std::move(success),
               Failing(std::move(failure), Report::kNo));
}

void VideoAPIClient::UserVideoTotalCounts(const std::string& uid, Success success,
                                          Failure failure) {
  Client().Get("/api/video/counter", Params().Add("uid", uid), std::move(success),
               Failing(std::move(failure), Report::kNo));
}

void VideoAPIClient::GetVideoListCount(Success success, Failure failure) {
  Client().Get("/api/video/settings", Value(), std::move(success),
               Failing(std::move(failure), Report::kNo));
}

void VideoAPIClient::EditVideo(const std::string& vid, const std::optional<std::string>& title,
                               const std::optional<std::string>& status, bool is_public,
                               Success success, Failure failure) {
  Client().Post("/api/video/edit",
                Params()
                    .Add("vid", vid)
                    .Add("public", is_public)
                    .AddIf("status", status)
                    .AddIf("title", title),
                std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::EditVideo(const std::string& vid, const Value& meta_data, Success success,
                               Failure failure) {
  Params params;
  if (const Value::Dictionary* entries = meta_data.dictionary()) {
    for (const auto& [key, value] : *entries) params.Add(key, value);
  }
  params.Add("vid", vid);
  Client().Post("/api/video/edit", params, std::move(success),
                Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::DeleteVideo(const std::string& vid, Success success, Failure failure) {
  Client().Post("/api/video/delete", Params().Add("vid", vid), std::move(success),
                Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::GetComments(const std::string& vid,
                                 const std::optional<std::string>& before_cid,
                                 const std::optional<std::string>& after_cid, Success success,
                                 Failure failure) {
  Params params;
  params.Add("vid", vid).AddIf("before", before_cid).AddIf("after", after_cid);
  const std::string path = ChoosePath("/api/video/comment", "/webapi/comment", params);
  Client().Get(path, params, std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::AddComment(const std::string& vid, const std::string& owner_id,
                                const std::string& ctype, const std::optional<std::string>& text,
                                Success success, Failure failure) {
  Client().Post("/api/video/comment",
                Params()
                    .Add("vid", vid)
                    .Add("ctype", ctype)
                    .Add("video_owner_id", owner_id)
                    .AddIf("text", text)
                    .Add("utc_ts", internal::CurrentUnixTimeText()),
                std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::DeleteComment(const std::string& cid, const std::string& vid, Success success,
                                   Failure failure) {
  Client().Delete("/api/video/comment", Params().Add("vid", vid).Add("cid", cid),
                  std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::Like(const std::string& vid, const std::string& owner_id, Success success,
                          Failure failure) {
  Client().Post("/api/video/like",
                Params()
                    .Add("vid", vid)
                    .Add("video_owner_id", owner_id)
                    .Add("utc_ts", internal::CurrentUnixTimeText()),
                std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::Watch(const std::string& vid, const std::string& owner_id, Success success,
                           Failure failure) {
  Params params;
  params.Add("vid", vid)
      .Add("video_owner_id", owner_id)
      .Add("utc_ts", internal::CurrentUnixTimeText());
  const std::string path = ChoosePath("/api/video/watch", "/webapi/watch", params);
  Client().Post(path, params, std::move(success), Failing(std::move(failure), Report::kYes));
}

void VideoAPIClient::CancelAllGetComments() {
  Client().CancelAllHTTPOperations(
      "GET", Client().HasAccessToken() ? "/api/video/comment" : "/webapi/comment");
}

void VideoAPIClient::CancelAllWatch() {
  Client().CancelAllHTTPOperations(
      "POST", Client().HasAccessToken() ? "/api/video/watch" : "/webapi/watch");
}

void VideoAPIClient::CancelAllVideoMeta() {
  // Metadata requests always carry a query ("?vid="): matching the path with
  // its "?" leaves the timeline, counter, location and receivers requests,
  // whose paths merely begin with "/api/video", alone. Both paths, since the
  // token may have changed since the request went out.
  Client().CancelAllHTTPOperations("GET", "/api/video?");
  Client().CancelAllHTTPOperations("GET", "/webapi/video?");
}

}  // namespace service
