// Requests and answers as the service's handlers see them, independent of the
// HTTP library that carries them.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/value.h"

namespace server {

struct FormPart {
  std::string content;
  std::string filename;
  std::string content_type;
};

struct HttpRequest {
  std::string method;  // "GET", "HEAD", "POST", "PUT", "DELETE"
  std::string path;    // decoded, without the query
  // Query parameters and form-encoded body parameters, decoded; repeated keys
  // ("internal[]") keep their order.
  std::multimap<std::string, std::string> params;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;                            // the raw body (not for forms)
  std::multimap<std::string, FormPart> parts;  // multipart/form-data parts by name
  // "http://host:port" or "https://...": where the client reached this server,
  // the stem of every URL handed out in answers.
  std::string base_url;

  const std::string* Header(const std::string& lower_case_name) const {
    auto it = headers.find(lower_case_name);
    return it == headers.end() ? nullptr : &it->second;
  }
};

struct HttpResponse {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// A refusal: becomes {"code": status, "msg": msg} with that HTTP status.
struct ApiError {
  int status;
  std::string msg;
};

[[noreturn]] inline void Fail(int status, std::string msg) { throw ApiError{status, std::move(msg)}; }

// The JSON answer for a value, and for an error.
HttpResponse JsonResponse(const platform::Value& value, int status = 200);
HttpResponse ErrorResponse(int status, const std::string& msg);

}  // namespace server
