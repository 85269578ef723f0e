#include "refhost/cached_clip.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// A source that counts how often it has to move back, as a long-GOP decoder
// pays for every step back with a decode from the last key frame.
struct CountingSource {
  int32_t next = 0;
  int stepsBack = 0;
  int reads = 0;
  refhost::CachedClip::Frame operator()(int32_t number) {
    if (number < next - 1 || number > next) ++stepsBack;
    next = number + 1;
    ++reads;
    return std::make_shared<std::vector<uint8_t>>(4 * 2 * 2, static_cast<uint8_t>(number));
  }
};

uint8_t FirstByte(refhost::CachedClip& clip, int32_t frame) {
  uint8_t pixel[4] = {};
  EXPECT_TRUE(clip.ReadRows(frame, 0, 1, 1, 1, pixel, 4));
  return pixel[0];
}

TEST(CachedClip, ReversePlayStepsBackRarelyAndEveryFrameIsTheOneAskedFor) {
  CountingSource counting;
  refhost::CachedClip clip(2, 2, 200, std::ref(counting), 64 * 16);  // room for 64 frames
  for (int32_t frame = 199; frame >= 0; --frame) {
    ASSERT_EQ(FirstByte(clip, frame), static_cast<uint8_t>(frame));
  }
  // Runs of 8, 16 and then 32 frames: a handful of steps back, not one a frame.
  EXPECT_LE(counting.stepsBack, 10);
  EXPECT_LE(counting.reads, 2 * 200);

  // Forward play reads every frame once; a frame past the clip is refused.
  CountingSource forward;
  refhost::CachedClip ahead(2, 2, 50, std::ref(forward));
  for (int32_t frame = 0; frame < 50; ++frame) ASSERT_EQ(FirstByte(ahead, frame), frame);
  EXPECT_TRUE(forward.reads == 50 && forward.stepsBack == 0);
  EXPECT_EQ(ahead.Get(50), nullptr);
}

TEST(CachedClip, ASourceThatFailsOrDeliversTheWrongSizeFailsTheRead) {
  refhost::CachedClip clip(2, 2, 10, [](int32_t n) -> refhost::CachedClip::Frame {
    if (n == 3) return nullptr;
    return std::make_shared<std::vector<uint8_t>>(n == 4 ? 8 : 16, 1);
  });
  uint8_t pixel[4];
  for (int32_t n : {2, 3, 4}) EXPECT_EQ(clip.ReadRows(n, 0, 1, 1, 1, pixel, 4), n == 2) << n;
}

}  // namespace
