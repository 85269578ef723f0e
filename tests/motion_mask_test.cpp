// The motion mask at its give-up boundary, the median against a full sort,
// and odd-height fields; the other steps are compared rule by rule in
// kernel_equivalence_test.cpp.
#include "source/motion_mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

FrameRef Uniform(int w, int h, uint8_t value) {
  FrameRef image = NewImage(w, h);
  std::fill(image->data, image->data + image->rowBytes * h, value);
  return image;
}

FrameRef RandomMask(int w, int h, uint32_t seed) {
  std::mt19937 random(seed);
  FrameRef mask = NewMask(w, h);
  for (int i = 0; i < w * h; ++i) mask->data[i] = static_cast<uint8_t>(random());
  return mask;
}

// The rule-by-rule comparisons use random pictures, which never land on the
// give-up boundary itself.
TEST(MotionMask, GiveUpStartsAboveThirtyPercentMoving) {
  // 720x243: giving up starts above 52488 moving pixels, exactly 30 %.
  FrameRef big = Uniform(720, 243, 0);
  FrameRef moved = Uniform(720, 243, 0);
  for (int i = 0; i < 52488; ++i) moved->data[i * 4] = 200;
  FrameRef bigMask = NewMask(720, 243);
  EXPECT_TRUE(ComputeMotionMask(*bigMask, *big, *moved, 32));
  moved->data[52488 * 4] = 200;
  EXPECT_FALSE(ComputeMotionMask(*bigMask, *big, *moved, 32));
}

TEST(MotionMask, MedianMatchesAFullSort) {
  FrameRef mask = RandomMask(37, 11, 5);
  FrameRef filtered = MedianFilter3x3(*mask);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 37; ++x) {
      int expected = mask->Row(y)[x];
      if (x > 0 && x < 36) {
        std::vector<int> window;
        for (int dy = -1; dy <= 1; ++dy) {
          int row = std::clamp(y + dy, 0, 10);
          for (int dx = -1; dx <= 1; ++dx) window.push_back(mask->Row(row)[x + dx]);
        }
        std::sort(window.begin(), window.end());
        expected = window[4];
      }
      ASSERT_EQ(filtered->Row(y)[x], expected) << x << "," << y;
    }
  }
  FrameRef thin = RandomMask(1, 9, 3);
  FrameRef thinFiltered = MedianFilter3x3(*thin);
  EXPECT_TRUE(std::equal(thin->data, thin->data + 9, thinFiltered->data));
}

TEST(MotionMask, RowsTheNeighboursLackAreStillAndKeepTheCurrentPixel) {
  // An odd-height frame: the interpolated field has one row more than the
  // fields it is compared with and blended from.
  FrameRef current = Uniform(20, 3, 200);
  FrameRef before = Uniform(20, 2, 0);
  FrameRef after = Uniform(20, 2, 90);
  FrameRef mask = NewMask(20, 3);
  std::fill(mask->data, mask->data + 60, 77);
  EXPECT_FALSE(ComputeMotionMask(*mask, *before, *after, 32));  // 40 of 60 moving
  EXPECT_TRUE(std::all_of(mask->Row(0), mask->Row(2), [](uint8_t v) { return v == 255; }));
  EXPECT_TRUE(std::all_of(mask->Row(2), mask->Row(2) + 20, [](uint8_t v) { return v == 0; }));
  FrameRef out = NewImage(20, 3);
  std::fill(mask->data, mask->data + 60, 0);
  BlendByMask(*current, *after, *mask, *out);
  EXPECT_TRUE(std::all_of(out->Row(0), out->Row(2), [](uint8_t v) { return v == 90; }));
  EXPECT_TRUE(std::all_of(out->Row(2), out->Row(2) + 80, [](uint8_t v) { return v == 200; }));
}

}  // namespace
