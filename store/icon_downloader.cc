#include "store/icon_downloader.h"

#include "store/timeline_utils.h"

namespace store {

void IconDownloader::StartDownload(int64_t userId, const std::string& iconUrl, Success success,
                                   Failure failure) {
  TimelineUtils::LoadBuddyAvatarImage(
      iconUrl, std::to_string(userId),
      [iconUrl, success](const ImagePtr& image) {
        if (success) success(iconUrl, image);
      },
      [failure] {
        if (!failure) return;
        platform::Value error;
        error.Set("domain", "BuddyAvatar");
        error.Set("code", -1);
        failure(error);
      });
}

ImagePtr IconDownloader::CachedImage(const std::string& iconUrl, int64_t userId) {
  return TimelineUtils::CachedAvatar(iconUrl, std::to_string(userId));
}

}  // namespace store
