#include "platform/linux/curl_http_client.h"

#include <curl/curl.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/dispatch.h"
#include "platform/log.h"

namespace platform {
namespace {

void GlobalInit() {
  static const bool done = [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      std::fprintf(stderr, "curl_global_init failed\n");
      std::abort();
    }
    return true;
  }();
  (void)done;
}

bool IsHeader(const std::string& name, const char* wanted) {
  return ::strcasecmp(name.c_str(), wanted) == 0;
}

long Milliseconds(Duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

}  // namespace

struct CurlHttpClient::Job {
  HttpRequest request;
  Completion done;
  // Set on the main queue by Cancel; checked there before `done` runs.
  std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  curl_mime* mime = nullptr;
  std::string body;
  size_t max_body = 0;
  bool body_too_large = false;
  char error[CURL_ERROR_SIZE] = {};

  // libcurl's write callback: returning less than it was given ends the transfer.
  static size_t AppendBody(char* data, size_t size, size_t count, void* user) {
    Job* job = static_cast<Job*>(user);
    const size_t n = size * count;
    if (n > job->max_body - job->body.size()) {
      job->body_too_large = true;
      return 0;
    }
    job->body.append(data, n);
    return n;
  }

  ~Job() {
    if (easy) curl_easy_cleanup(easy);
    if (mime) curl_mime_free(mime);
    if (headers) curl_slist_free_all(headers);
  }
};

CurlHttpClient::CurlHttpClient(CurlSettings settings, HttpClientOptions options)
    : settings_(std::move(settings)), options_(options) {
  GlobalInit();
  multi_ = curl_multi_init();
  if (!multi_) {
    std::fprintf(stderr, "curl_multi_init failed\n");
    std::abort();
  }
  thread_ = std::thread([this] { Loop(); });
}

CurlHttpClient::~CurlHttpClient() {
  {
    std::lock_guard lock(alive_->mutex);
    alive_->alive = false;
  }
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  curl_multi_wakeup(static_cast<CURLM*>(multi_));
  thread_.join();
  for (auto& job : running_) curl_multi_remove_handle(static_cast<CURLM*>(multi_), job->easy);
  running_.clear();
  cancelled_running_.clear();
  waiting_.clear();
  curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void CurlHttpClient::Send(HttpRequest request, Completion done) {
  auto job = std::make_shared<Job>();
  job->request = std::move(request);
  job->done = std::move(done);
  {
    std::lock_guard lock(mutex_);
    waiting_.push_back(std::move(job));
  }
  curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

size_t CurlHttpClient::Cancel(std::optional<std::string_view> method, std::string_view url_prefix) {
  size_t count = 0;
  {
    std::lock_guard lock(mutex_);
    for (auto it = waiting_.begin(); it != waiting_.end();) {
      if (HttpRequestMatches((*it)->request, method, url_prefix)) {
        (*it)->cancelled->store(true);
        it = waiting_.erase(it);
        ++count;
      } else {
        ++it;
      }
    }
    for (auto& job : running_) {
      if (!job->cancelled->load() && HttpRequestMatches(job->request, method, url_prefix)) {
        job->cancelled->store(true);
        cancelled_running_.push_back(job);
        ++count;
      }
    }
    for (auto& delivery : delivering_) {
      if (!delivery->cancelled->load() &&
          HttpRequestMatches(delivery->request, method, url_prefix)) {
        delivery->cancelled->store(true);
        ++count;
      }
    }
  }
  if (count) curl_multi_wakeup(static_cast<CURLM*>(multi_));
  return count;
}

size_t CurlHttpClient::pending() const {
  std::lock_guard lock(mutex_);
  size_t running = 0;
  for (auto& job : running_) running += job->cancelled->load() ? 0 : 1;
  for (auto& delivery : delivering_) running += delivery->cancelled->load() ? 0 : 1;
  return waiting_.size() + running;
}

void CurlHttpClient::StartJob(const std::shared_ptr<Job>& job) {
  CURL* e = curl_easy_init();
  job->easy = e;
  const HttpRequest& r = job->request;
  curl_easy_setopt(e, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, job.get());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, job->error);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
  // Certificates are checked always; only the trusted authorities are configurable.
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings_.ca_file.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, settings_.ca_file.c_str());
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(settings_.connect_timeout));
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME,
                   std::max(1L, Milliseconds(settings_.stall_timeout) / 1000));
  job->max_body = settings_.max_response_bytes;
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Job::AppendBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, job.get());

  for (const auto& [name, value] : r.headers) {
    if (IsHeader(name, "Accept-Encoding")) {
      // libcurl sends the header itself and then decodes the answer.
      curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, value.c_str());
      continue;
    }
    job->headers = curl_slist_append(job->headers, (name + ": " + value).c_str());
  }
  job->headers = curl_slist_append(job->headers, "Expect:");
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, job->headers);

  if (!r.form.empty()) {
    job->mime = curl_mime_init(e);
    for (const HttpFormPart& part : r.form) {
      curl_mimepart* p = curl_mime_addpart(job->mime);
      curl_mime_name(p, part.name.c_str());
      curl_mime_data(p, part.data.data(), part.data.size());
      if (!part.file_name.empty()) curl_mime_filename(p, part.file_name.c_str());
      if (!part.content_type.empty()) curl_mime_type(p, part.content_type.c_str());
    }
    curl_easy_setopt(e, CURLOPT_MIMEPOST, job->mime);
    if (r.method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  } else if (r.method == "GET") {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else if (r.method == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else {
    if (r.method == "POST" || !r.body.empty()) {
      curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
      curl_easy_setopt(e, CURLOPT_POSTFIELDS, r.body.data());
    }
    if (r.method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.method.c_str());
  }
  curl_multi_add_handle(static_cast<CURLM*>(multi_), e);
}

void CurlHttpClient::FinishJob(Job* job, int curl_code) {
  HttpResponse response;
  if (curl_code == CURLE_OK) {
    long status = 0;
    curl_easy_getinfo(job->easy, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    char* type = nullptr;
    curl_easy_getinfo(job->easy, CURLINFO_CONTENT_TYPE, &type);
    if (type) response.content_type = type;
    response.body = std::move(job->body);
  } else {
    response.error = job->body_too_large
                         ? "the answer is larger than " + std::to_string(job->max_body) + " bytes"
                     : job->error[0] ? job->error
                                     : curl_easy_strerror(static_cast<CURLcode>(curl_code));
    Logf("%s %s failed: %s", job->request.method.c_str(), job->request.url.c_str(),
         response.error.c_str());
  }
  // Until the completion runs, Cancel can still reach the request through `delivering_`.
  auto delivery = std::make_shared<Delivery>();
  delivery->request = std::move(job->request);
  delivery->done = std::move(job->done);
  delivery->cancelled = job->cancelled;
  {
    std::lock_guard lock(mutex_);
    delivering_.push_back(delivery);
  }
  MainQueue().Async([this, delivery, response = std::move(response), alive = alive_] {
    {
      std::lock_guard lock(alive->mutex);
      if (!alive->alive) return;  // the client is gone, and its callers with it
      std::lock_guard own(mutex_);
      delivering_.erase(std::remove(delivering_.begin(), delivering_.end(), delivery),
                        delivering_.end());
    }
    if (!delivery->cancelled->load() && delivery->done) delivery->done(response);
  });
}

void CurlHttpClient::Loop() {
  CURLM* multi = static_cast<CURLM*>(multi_);
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (auto& job : cancelled_running_) {
        curl_multi_remove_handle(multi, job->easy);
        running_.erase(std::remove(running_.begin(), running_.end(), job), running_.end());
      }
      cancelled_running_.clear();
      while (!waiting_.empty() && static_cast<int>(running_.size()) < options_.max_concurrent) {
        std::shared_ptr<Job> job = std::move(waiting_.front());
        waiting_.pop_front();
        StartJob(job);
        running_.push_back(std::move(job));
      }
    }
    int still_running = 0;
    curl_multi_perform(multi, &still_running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Job* job = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &job);
      const int code = message->data.result;
      curl_multi_remove_handle(multi, message->easy_handle);
      std::shared_ptr<Job> owned;
      {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(running_.begin(), running_.end(),
                               [job](const auto& j) { return j.get() == job; });
        if (it == running_.end()) continue;
        owned = std::move(*it);
        running_.erase(it);
        // A job cancelled while it finished is still listed for removal; drop it there.
        cancelled_running_.erase(
            std::remove(cancelled_running_.begin(), cancelled_running_.end(), owned),
            cancelled_running_.end());
      }
      FinishJob(owned.get(), code);
    }
    curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
  }
}

}  // namespace platform
