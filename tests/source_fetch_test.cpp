// Fetching source fields through the per-operation cache.
#include <gtest/gtest.h>

#include "source/source_fetch.h"
#include "test_clips.h"

namespace {

TEST(SourceFetch, CachesEachFieldOnceAndZeroesRefusals) {
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, testclips::Settings(6, 5, 4));
  host.SetInput(1, testclips::CodedClip(6, 5, 4));
  avxInstance_v1& instance = host.Instance();
  {
    SourceCache cache;
    FrameRef first = FetchSourceField(instance, cache, 1, 2, kAvxFieldOdd);
    EXPECT_EQ(host.AlternateFrameCalls(), 1);
    ASSERT_EQ(first->width, 6);
    ASSERT_EQ(first->height, 3);  // the top field of five rows has three
    EXPECT_EQ(first->Row(1)[0], 2);  // frame 2
    EXPECT_EQ(first->Row(1)[1], 2);  // frame row 2 is field row 1 of the top field

    FrameRef again = FetchSourceField(instance, cache, 1, 2, kAvxFieldOdd);
    EXPECT_EQ(host.AlternateFrameCalls(), 1);
    EXPECT_EQ(again.get(), first.get());

    FrameRef bottom = FetchSourceField(instance, cache, 1, 2, kAvxFieldEven);
    EXPECT_EQ(host.AlternateFrameCalls(), 2);
    EXPECT_EQ(bottom->height, 2);
    EXPECT_EQ(bottom->Row(0)[1], 1);

    // Beyond the clip, and the absent track below: zero images, cached too.
    FrameRef missing = FetchSourceField(instance, cache, 1, 9, kAvxFieldOdd);
    FrameRef below = FetchSourceField(instance, cache, 0, 1, kAvxFieldOdd);
    for (const FrameRef& zero : {missing, below}) {
      ASSERT_EQ(zero->height, 3);
      for (int i = 0; i < zero->rowBytes * zero->height; ++i) ASSERT_EQ(zero->data[i], 0);
    }
    EXPECT_EQ(host.AlternateFrameCalls(), 4);
    FetchSourceField(instance, cache, 1, 9, kAvxFieldOdd);
    EXPECT_EQ(host.AlternateFrameCalls(), 4);
    EXPECT_EQ(cache.entries.size(), 4u);
    EXPECT_EQ(first->refCount, 3);  // two handles here, one in the cache
  }
}

}  // namespace
