// ImageMemoryCache: decoded images by URL, the least recently used dropped
// first once the pixels held pass a budget, so memory stays bounded.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "platform/image_codec.h"

namespace store {

using ImagePtr = std::shared_ptr<const platform::Image>;

class ImageMemoryCache {
 public:
  explicit ImageMemoryCache(size_t budgetBytes = 64u << 20) : budget_(budgetBytes) {}

  ImagePtr Get(const std::string& url);
  void Put(const std::string& url, ImagePtr image);
  void Clear();
  size_t size() const { return entries_.size(); }
  size_t bytes() const { return bytes_; }

 private:
  struct Entry {
    std::string url;
    ImagePtr image;
  };
  const size_t budget_;
  size_t bytes_ = 0;
  std::list<Entry> entries_;  // most recently used first
  std::map<std::string, std::list<Entry>::iterator, std::less<>> index_;
};

}  // namespace store
