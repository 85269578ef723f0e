// Frame buffers: geometry, reference counting and the heap under them. Running
// out of memory is tried at every allocation of a render in the fault tests.
#include "source/frame_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "counting_memory.h"

namespace {

class FrameBufferTest : public ::testing::Test {
 protected:
  FrameBufferTest() { SetMemHandlerForTesting(&handler_); }
  void TearDown() override {
    SetMemHandlerForTesting(nullptr);
    EXPECT_EQ(handler_.Live(), 0u) << "blocks leaked";
    EXPECT_EQ(handler_.StrayFrees(), 0) << "freed a block twice or one never allocated";
  }
  testmemory::CountingHandler handler_;
};

TEST_F(FrameBufferTest, HandlesCountReferencesAndFreeOnce) {
  FrameRef first = NewImage(4, 4), second = first, third(second);
  FrameBuffer* buffer = first.get();
  EXPECT_EQ(buffer->refCount, 3);
  third = third;  // self-assignment leaves the count alone
  second = first;
  EXPECT_EQ(buffer->refCount, 3);
  first.Release(), second.Release();
  EXPECT_EQ(handler_.Live(), 2u);
  third.Release();
  EXPECT_EQ(handler_.Live(), 0u);

  FrameRef a = NewImage(2, 2), b = NewImage(3, 3);
  a = b;  // a's old buffer goes, b's is shared
  EXPECT_EQ(b->refCount, 2);
  EXPECT_EQ(handler_.Live(), 2u);
  FrameRef moved = std::move(a);
  EXPECT_EQ(b->refCount, 2);
  EXPECT_FALSE(a);
}

TEST_F(FrameBufferTest, HostViewsNeverFreeHostPixels) {
  std::vector<uint8_t> pixels(16 * 4, 7);
  FrameBuffer view;
  view.refCount = 1, view.data = pixels.data(), view.ownsData = 0;
  view.SetGeometry(16, 1, 64);
  view.Detach();  // what the overlay does before discarding its view
  EXPECT_EQ(view.data, nullptr);
  EXPECT_EQ(view.refCount, 0);
  EXPECT_EQ(handler_.Live(), 0u);
}

// The heap keeps freed large blocks for the next request of the same size:
// whatever it hands out again must never be a block still in use, and a
// block's bytes must stay as written while it lives.
TEST(MemHandler, ReusedBlocksNeverOverlapLiveOnes) {
  MemHandler heap;
  std::mt19937 random(9);
  const uint32_t sizes[] = {64u << 10, 1u << 20, 1920u * 540u * 4u, 100, 3u << 20};
  struct Live {
    uint8_t* block;
    uint32_t size;
    uint8_t fill;
  };
  std::vector<Live> live;  // blocks in use, each filled with its own byte
  for (int step = 0; step < 400; ++step) {
    if (!live.empty() && (random() % 2 == 0 || live.size() > 12)) {
      const size_t index = random() % live.size();
      const Live& victim = live[index];
      for (uint32_t i : {0u, victim.size / 2, victim.size - 1}) {
        ASSERT_EQ(victim.block[i], victim.fill) << "block overwritten while in use, step " << step;
      }
      heap.Free(victim.block);
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(index));
    } else {
      const uint32_t size = sizes[random() % 5];
      live.push_back(Live{static_cast<uint8_t*>(heap.Allocate(size)), size, uint8_t(step)});
      std::memset(live.back().block, live.back().fill, size);
    }
  }
  for (const Live& block : live) heap.Free(block.block);
  heap.Free(nullptr);
}

}  // namespace
