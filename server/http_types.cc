#include "server/http_types.h"

#include "platform/json.h"

namespace server {

HttpResponse JsonResponse(const platform::Value& value, int status) {
  HttpResponse response;
  response.status = status;
  response.body = platform::ToJson(value);
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}

HttpResponse ErrorResponse(int status, const std::string& msg) {
  platform::Value error;
  error.Set("code", status);
  error.Set("msg", msg);
  return JsonResponse(error, status);
}

}  // namespace server
