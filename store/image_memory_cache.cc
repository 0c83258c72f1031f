#include "store/image_memory_cache.h"

namespace store {

ImagePtr ImageMemoryCache::Get(const std::string& url) {
  auto it = index_.find(url);
  if (it == index_.end()) return nullptr;
  entries_.splice(entries_.begin(), entries_, it->second);
  return it->second->image;
}

void ImageMemoryCache::Put(const std::string& url, ImagePtr image) {
  if (!image) return;
  if (auto it = index_.find(url); it != index_.end()) {
    bytes_ -= it->second->image->rgba.size();
    entries_.erase(it->second);
    index_.erase(it);
  }
  // A picture bigger than the whole budget is not kept (its file still is).
  if (image->rgba.size() > budget_) return;
  bytes_ += image->rgba.size();
  entries_.push_front({url, std::move(image)});
  index_[url] = entries_.begin();
  while (bytes_ > budget_) {
    const Entry& last = entries_.back();
    bytes_ -= last.image->rgba.size();
    index_.erase(last.url);
    entries_.pop_back();
  }
}

void ImageMemoryCache::Clear() {
  entries_.clear();
  index_.clear();
  bytes_ = 0;
}

}  // namespace store
