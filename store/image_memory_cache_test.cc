#include "store/image_memory_cache.h"

#include <gtest/gtest.h>

namespace store {
namespace {

// A picture of `pixels` pixels: 4 bytes each.
ImagePtr Picture(int pixels) {
  return std::make_shared<const platform::Image>(platform::Image::Filled(pixels, 1, 1, 2, 3));
}

TEST(ImageMemoryCacheTest, DropsTheLeastRecentlyUsedPastItsBudget) {
  ImageMemoryCache cache(/*budgetBytes=*/100);  // 25 pixels
  cache.Put("a", Picture(10));
  cache.Put("b", Picture(10));
  EXPECT_NE(cache.Get("a"), nullptr);  // "a" is now the most recent
  cache.Put("c", Picture(10));         // 120 bytes: "b" goes
  EXPECT_EQ(cache.Get("b"), nullptr);
  EXPECT_NE(cache.Get("a"), nullptr);
  EXPECT_NE(cache.Get("c"), nullptr);
  EXPECT_EQ(cache.bytes(), 80u);

  // Replacing an entry counts its new size only.
  cache.Put("a", Picture(5));
  EXPECT_EQ(cache.bytes(), 60u);
  EXPECT_EQ(cache.size(), 2u);

  // A picture over the whole budget is not kept, and drops nothing.
  cache.Put("big", Picture(26));
  EXPECT_EQ(cache.Get("big"), nullptr);
  EXPECT_EQ(cache.size(), 2u);
  // One that just fits makes room for itself.
  ImagePtr full = Picture(25);
  cache.Put("full", full);
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache.Get("full"), full);

  cache.Put("none", nullptr);
  EXPECT_EQ(cache.Get("none"), nullptr);
  cache.Clear();
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.bytes(), 0u);
}

}  // namespace
}  // namespace store
