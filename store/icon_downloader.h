// IconDownloader: the avatars of the contact lists. They are kept as friends'
// avatar files ("buddy_..."), which the cache cleaning spares.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/value.h"
#include "store/image_memory_cache.h"

namespace store {

class IconDownloader {
 public:
  using Success = std::function<void(const std::string& iconUrl, const ImagePtr& image)>;
  // {"domain": "BuddyAvatar", "code": -1}.
  using Failure = std::function<void(const platform::Value& error)>;

  // Downloads a contact's avatar into his friend's avatar file. Callers keep
  // what they need (the row the avatar is for) in the callbacks.
  static void StartDownload(int64_t userId, const std::string& iconUrl, Success success,
                            Failure failure);
  // The avatar without the network, or null.
  static ImagePtr CachedImage(const std::string& iconUrl, int64_t userId);
};

}  // namespace store
