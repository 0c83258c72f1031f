// What every service endpoint handler gets: the request, its checked
// parameters, the signed-in user, the database and the media store.
#pragma once

#include <cstdint>
#include <string>

#include "platform/value.h"
#include "server/http_types.h"
#include "server/media_store.h"
#include "server/params.h"
#include "server/sqlite_db.h"

namespace server {

struct ServiceSettings {
  int list_size = 50;        // the longest page of any list ("list_size")
  int contacts_limit = 150;  // the most friends and guests per user ("contacts_limit")
  // Mobile sign-ups are usable at once instead of waiting for activation.
  bool activate_mobile_signups = false;
  std::string avatar_dir;  // where uploaded avatars are kept
};

struct ApiContext {
  const HttpRequest& request;
  Params params;
  int64_t viewer;  // the signed-in user; 0 for anonymous (/webapi/) requests
  SqliteDb& db;
  MediaStore& media;
  const ServiceSettings& settings;
  int64_t now;  // seconds since 1970
};

using ApiHandler = platform::Value (*)(ApiContext&);

// The endpoint groups; each registers its handlers with the router.
struct ApiRoute {
  const char* method;
  const char* path;
  enum class Access {
    kToken,      // /api/ with a valid "X-Access-Token"
    kIdentity,   // /api/auth/...: signed by the identity in the parameters
    kAnonymous,  // /webapi/: signed with the application identity
  } access;
  ApiHandler handler;
};

void AddAccountRoutes(std::vector<ApiRoute>& routes);
void AddUserRoutes(std::vector<ApiRoute>& routes);
void AddVideoRoutes(std::vector<ApiRoute>& routes);
void AddTimelineRoutes(std::vector<ApiRoute>& routes);
void AddMessageRoutes(std::vector<ApiRoute>& routes);

}  // namespace server
