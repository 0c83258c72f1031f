#include "engine/nginx_hls_client.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace selvo {

namespace {

constexpr char kTypeHeader[] = "Content-Type: video/MP2T";
constexpr char kVersionHeader[] = "HLS-Version: 1.2";

// libcurl's global set-up, once for the process (it is not safe to run from two threads
// at once on every libcurl this may be linked with).
void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

// The answer's body says nothing the engine uses.
size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

// Ends the transfer once the task's stop flag is raised.
int StopCheck(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* flag = static_cast<const std::atomic<int>*>(stop);
  return flag && flag->load() == 1 ? 1 : 0;
}

// The whole thumbnail beside the video recording, or nothing.
std::vector<uint8_t> ReadThumbnail(const std::string& video_path) {
  std::vector<uint8_t> bytes;
  const std::string path = video_path + ".jpg";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return bytes;
  struct stat info;
  if (::fstat(fileno(file), &info) == 0 && info.st_size > 0) {
    bytes.resize(static_cast<size_t>(info.st_size));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  }
  std::fclose(file);
  return bytes;
}

SinkStatus StatusFor(CURLcode code, long status) {
  if (code == CURLE_OK && status == 200) return SinkStatus::kOk;
  if (status == 401) return SinkStatus::kUnauthorized;
  if (status == 413) return SinkStatus::kTooLarge;
  return SinkStatus::kFailed;
}

}  // namespace

NginxHLSClient::NginxHLSClient(const SinkParams& params) : params_(params), stop_(params.stop) {
  GlobalInit();
  curl_ = curl_easy_init();
}

NginxHLSClient::~NginxHLSClient() {
  if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

size_t NginxHLSClient::CurlReadFunction(char* buffer, size_t size, size_t count, void* source) {
  auto* s = static_cast<Source*>(source);
  if (!s || !s->cursor) return 0;
  const size_t n = std::min(size * count, s->remaining);
  if (n > 0) std::memcpy(buffer, s->cursor, n);
  s->cursor += n;
  s->remaining -= n;
  return n;
}

int NginxHLSClient::CurlSeekFunction(void* source, int64_t offset, int origin) {
  auto* s = static_cast<Source*>(source);
  if (!s || origin == SEEK_END) return CURL_SEEKFUNC_FAIL;
  const int64_t consumed = static_cast<int64_t>(s->total - s->remaining);
  int64_t target;
  if (origin == SEEK_CUR) {
    target = consumed + offset;
  } else if (origin == SEEK_SET) {
    target = offset;
  } else {
    return CURL_SEEKFUNC_FAIL;
  }
  // Never outside the body, in either direction.
  if (target < 0 || target > static_cast<int64_t>(s->total)) return CURL_SEEKFUNC_FAIL;
  s->cursor = s->start + target;
  s->remaining = s->total - static_cast<size_t>(target);
  return CURL_SEEKFUNC_OK;
}

SinkStatus NginxHLSClient::Perform(const std::string& url, size_t content_length,
                                   const std::string& what) {
  CURL* curl = static_cast<CURL*>(curl_);
  const std::string token = "Access-Token: " + params_.access_token;
  const std::string agent = "User-Agent: " + params_.user_agent;
  const std::string length = "Content-Length: " + std::to_string(content_length);
  curl_slist* headers = nullptr;
  for (const char* header :
       {"Expect:", kTypeHeader, kVersionHeader, token.c_str(), agent.c_str(), length.c_str()}) {
    headers = curl_slist_append(headers, header);
  }
  char error[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, DiscardBody);
  // Worker threads: no signals for time-outs.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!params_.http.ca_file.empty()) {
    curl_easy_setopt(curl, CURLOPT_CAINFO, params_.http.ca_file.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, params_.http.connect_timeout_seconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, params_.http.low_speed_limit);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, params_.http.low_speed_seconds);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, StopCheck);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<int>*>(stop_));

  const CURLcode code = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  last_status_ = status;
  if (code != CURLE_OK) {
    last_error_ = what + " failed: " + (error[0] ? error : curl_easy_strerror(code));
  } else if (status != 200) {
    last_error_ = what + " failed: the server answered " + std::to_string(status);
  } else {
    last_error_.clear();
  }
  return StatusFor(code, status);
}

SinkStatus NginxHLSClient::Upload(const std::string& query, const uint8_t* data, size_t length) {
  if (!curl_) return SinkStatus::kFailed;
  CURL* curl = static_cast<CURL*>(curl_);
  curl_easy_reset(curl);
  Source source{data, length, data, length};
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READDATA, &source);
  curl_easy_setopt(curl, CURLOPT_SEEKDATA, &source);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, CurlReadFunction);
  curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, CurlSeekFunction);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(length));
  return Perform(params_.url + query, length, "Upload " + query);
}

SinkStatus NginxHLSClient::Bodiless(const std::string& query) {
  if (!curl_) return SinkStatus::kFailed;
  CURL* curl = static_cast<CURL*>(curl_);
  curl_easy_reset(curl);
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  return Perform(params_.url + query, 0, "Request " + query);
}

SinkStatus NginxHLSClient::Open(const std::string& video_path) {
  SinkStatus status;
  if (video_path.empty()) {
    status = Bodiless("?cmd=0");
  } else {
    const std::vector<uint8_t> thumbnail = ReadThumbnail(video_path);
    if (thumbnail.empty()) Bodiless("?cmd=0");
    status = Upload("?cmd=0", thumbnail.data(), thumbnail.size());
  }
  if (status != SinkStatus::kOk) std::fprintf(stderr, "%s\n", last_error_.c_str());
  return status;
}

int NginxHLSClient::SendStream(const uint8_t* data, size_t length, uint32_t segment,
                               uint32_t piece) {
  char query[64];
  std::snprintf(query, sizeof(query), "?cmd=2&seg=%u&sec=%u", segment, piece);
  switch (Upload(query, data, length)) {
    case SinkStatus::kOk:
      return 0;
    case SinkStatus::kUnauthorized:
      return 2;
    case SinkStatus::kTooLarge:
      return 3;
    case SinkStatus::kFailed:
      break;
  }
  return 1;
}

SinkStatus NginxHLSClient::Piece(uint32_t segment, uint32_t piece, const uint8_t* data,
                                 size_t size) {
  const int result = SendStream(data, size, segment, piece);
  if (result != 0) std::fprintf(stderr, "%s\n", last_error_.c_str());
  switch (result) {
    case 0:
      return SinkStatus::kOk;
    case 2:
      return SinkStatus::kUnauthorized;
    case 3:
      return SinkStatus::kTooLarge;
    default:
      return SinkStatus::kFailed;
  }
}

void NginxHLSClient::Close() { Bodiless("?cmd=1"); }

}  // namespace selvo
