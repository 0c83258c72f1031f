// Emptying the avatar and thumbnail cache directories once they grow too big.
// Files only, never the database; safe to run beside everything else.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "store/storelib.h"

namespace storelib {
namespace {

constexpr size_t kMaxThumbnails = 300;
constexpr size_t kMaxAvatars = 200;

struct CachedFile {
  platform::WallTime time;
  std::string path;
};

// The non-directory entries of `directory` whose path does not begin with
// `skipPrefix` (when given), oldest first, equal times in listing order.
std::vector<CachedFile> ListCachedFiles(const std::string& directory,
                                        const std::string& skipPrefix) {
  auto& fs = platform::DefaultFileSystem();
  std::vector<CachedFile> files;
  for (const std::string& name : fs.ListDirectory(directory)) {
    std::string path = directory + "/" + name;
    if (!skipPrefix.empty() && path.starts_with(skipPrefix)) continue;
    auto info = fs.Stat(path);
    if (!info || info->is_directory) continue;
    files.push_back({info->modified, std::move(path)});
  }
  std::stable_sort(files.begin(), files.end(),
                   [](const CachedFile& a, const CachedFile& b) { return a.time < b.time; });
  return files;
}

}  // namespace

void CleanThumbnailCache(const std::string& directory) {
  std::vector<CachedFile> files = ListCachedFiles(directory, "");
  if (files.size() <= kMaxThumbnails) return;
  for (const CachedFile& file : files) platform::DefaultFileSystem().RemoveFile(file.path);
}

void CleanAvatarCache(const std::string& keepPath, const std::string& directory) {
  // Friends' avatars are named from the directory being cleaned, so that they
  // are spared even when the store has not been opened yet.
  std::vector<CachedFile> files = ListCachedFiles(directory, directory + "/buddy_");
  if (files.size() <= kMaxAvatars) return;
  for (const CachedFile& file : files) {
    if (file.path != keepPath) platform::DefaultFileSystem().RemoveFile(file.path);
  }
}

}  // namespace storelib
