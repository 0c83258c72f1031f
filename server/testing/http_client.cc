#include "server/testing/http_client.h"

#include <curl/curl.h>

#include <stdexcept>

#include "platform/json.h"
#include "service/service_identity.h"

namespace server_testing {
namespace {

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

bool Unreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

}  // namespace

std::string FormEncode(const Form& form) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (const auto& [key, value] : form) {
    if (!text.empty()) text += '&';
    text += key;
    text += '=';
    for (unsigned char c : value) {
      if (Unreserved(c)) {
        text += static_cast<char>(c);
      } else {
        text += '%';
        text += kHex[c >> 4];
        text += kHex[c & 15];
      }
    }
  }
  return text;
}

HttpClient::HttpClient(std::string base_url, std::string ca_file)
    : base_url_(std::move(base_url)), ca_file_(std::move(ca_file)) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
  (void)initialised;
  curl_ = curl_easy_init();
}

HttpClient::~HttpClient() { curl_easy_cleanup(static_cast<CURL*>(curl_)); }

HttpAnswer HttpClient::Perform(const std::string& method, const std::string& url,
                               const std::string* body, const std::vector<std::string>& headers,
                               void* mime) {
  CURL* curl = static_cast<CURL*>(curl_);
  curl_easy_reset(curl);
  HttpAnswer answer;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  if (!ca_file_.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file_.c_str());
  curl_slist* list = nullptr;
  list = curl_slist_append(list, "Expect:");
  list = curl_slist_append(list, "Accept: application/json");
  if (!token_.empty()) list = curl_slist_append(list, ("X-Access-Token: " + token_).c_str());
  for (const auto& header : headers) list = curl_slist_append(list, header.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  if (method == "HEAD") {
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  } else if (mime) {
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, static_cast<curl_mime*>(mime));
  } else if (body) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    if (method != "POST") curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method != "GET") {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  }
  CURLcode rc = curl_easy_perform(curl);
  curl_slist_free_all(list);
  if (rc != CURLE_OK) {
    answer.error = curl_easy_strerror(rc);
    return answer;
  }
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  char* type = nullptr;
  curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
  if (type) answer.content_type = type;
  if (answer.content_type.starts_with("application/json")) {
    if (auto json = platform::ParseJson(answer.body)) answer.json = std::move(*json);
  }
  return answer;
}

HttpAnswer HttpClient::Get(const std::string& path, const Form& form) {
  std::string url = base_url_ + path;
  if (!form.empty()) url += (path.find('?') == std::string::npos ? "?" : "&") + FormEncode(form);
  return Perform("GET", url, nullptr, {}, nullptr);
}

HttpAnswer HttpClient::Delete(const std::string& path, const Form& form) {
  std::string url = base_url_ + path;
  if (!form.empty()) url += (path.find('?') == std::string::npos ? "?" : "&") + FormEncode(form);
  return Perform("DELETE", url, nullptr, {}, nullptr);
}

HttpAnswer HttpClient::Post(const std::string& path, const Form& form) {
  std::string body = FormEncode(form);
  return Perform("POST", base_url_ + path, &body,
                 {"Content-Type: application/x-www-form-urlencoded; charset=utf-8"}, nullptr);
}

HttpAnswer HttpClient::PostFile(const std::string& path, const Form& fields,
                                const std::string& part_name, const std::string& filename,
                                const std::string& content_type, const std::string& content) {
  curl_mime* mime = curl_mime_init(static_cast<CURL*>(curl_));
  for (const auto& [name, value] : fields) {
    curl_mimepart* part = curl_mime_addpart(mime);
    curl_mime_name(part, name.c_str());
    curl_mime_data(part, value.data(), value.size());
  }
  curl_mimepart* part = curl_mime_addpart(mime);
  curl_mime_name(part, part_name.c_str());
  curl_mime_filename(part, filename.c_str());
  curl_mime_type(part, content_type.c_str());
  curl_mime_data(part, content.data(), content.size());
  HttpAnswer answer = Perform("POST", base_url_ + path, nullptr, {}, mime);
  curl_mime_free(mime);
  return answer;
}

HttpAnswer HttpClient::Send(const std::string& method, const std::string& url_or_path,
                            const std::string& body, const std::vector<std::string>& headers) {
  std::string url = url_or_path.starts_with("http") ? url_or_path : base_url_ + url_or_path;
  return Perform(method, url, method == "HEAD" ? nullptr : &body, headers, nullptr);
}

Account RegisterEmailUser(HttpClient& client, const std::string& email,
                          const std::string& password, const std::string& screen_name) {
  HttpAnswer answer = client.Post("/api/auth/register",
                                  {{"provider", "email"},
                                   {"signature", service::Signature(email, "email")},
                                   {"identity", email},
                                   {"password", password},
                                   {"screen_name", screen_name}});
  if (answer.status != 200) {
    throw std::runtime_error("registering " + email + " failed: " + std::to_string(answer.status) +
                             " " + answer.body + answer.error);
  }
  Account account;
  account.uid = answer.json["_id"].AsInt();
  account.token = answer.json["login_meta"]["token"].AsString();
  account.identity = email;
  account.password = password;
  return account;
}

platform::Value PublishVideo(HttpClient& client, const Account& account, const Form& extra) {
  Form form = {{"title", "A broadcast"}, {"network", "wifi"}, {"device", "linux"},
               {"public", "1"},          {"orientation", "90"}};
  for (const auto& entry : extra) {
    bool replaced = false;
    for (auto& existing : form) {
      if (existing.first == entry.first && !entry.first.ends_with("[]")) {
        existing.second = entry.second;
        replaced = true;
      }
    }
    if (!replaced) form.push_back(entry);
  }
  std::string saved = account.token;
  client.set_token(account.token);
  HttpAnswer answer = client.Post("/api/video/publish", form);
  if (answer.status != 200) {
    throw std::runtime_error("publishing failed: " + std::to_string(answer.status) + " " + answer.body);
  }
  return answer.json;
}

Form AppIdentity(const std::string& installation_id) {
  return {{"provider", "app"},
          {"identity", installation_id},
          {"signature", service::Signature(installation_id, "app")}};
}

}  // namespace server_testing
