// The cache of filed content streams: a text in use stays, the least recently used one goes.
#include "app/shared_contents.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn {
namespace {

TEST(SharedContentsCache, KeepsTheRecentlyUsedWithinItsCapacity) {
  SharedContentsCache cache;
  cache.Add("watermark", CPDFObjRef(1, 0));
  for (int32_t i = 0; i < 3 * static_cast<int32_t>(SharedContentsCache::kCapacity); ++i) {
    cache.Add("number " + std::to_string(i), CPDFObjRef(i + 10, 0));
    ASSERT_NE(cache.Find("watermark"), nullptr) << i;  // used on every page: never evicted
  }
  EXPECT_EQ(cache.Size(), SharedContentsCache::kCapacity);
  EXPECT_EQ(*cache.Find("watermark"), CPDFObjRef(1, 0));
  EXPECT_EQ(cache.Find("number 0"), nullptr);
  const std::string last = "number " + std::to_string(3 * SharedContentsCache::kCapacity - 1);
  ASSERT_NE(cache.Find(last), nullptr);
  EXPECT_EQ(cache.Find(last)->Num(), static_cast<int32_t>(3 * SharedContentsCache::kCapacity + 9));
  cache.Add("watermark", CPDFObjRef(2, 0));  // a text filed already keeps its stream
  EXPECT_EQ(*cache.Find("watermark"), CPDFObjRef(1, 0));
  cache.Clear();
  EXPECT_EQ(cache.Find("watermark"), nullptr);
}

}  // namespace
}  // namespace quarn
