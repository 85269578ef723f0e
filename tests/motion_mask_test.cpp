// The motion mask, its cleaning and widening, and the blend it drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "source/motion_mask.h"

namespace {

FrameRef Uniform(int w, int h, uint8_t value) {
  FrameRef image = NewImage(w, h);
  std::fill(image->data, image->data + image->rowBytes * h, value);
  return image;
}

FrameRef RandomMask(int w, int h, uint32_t seed, int spread = 256) {
  std::mt19937 random(seed);
  FrameRef mask = NewMask(w, h);
  for (int i = 0; i < w * h; ++i) mask->data[i] = static_cast<uint8_t>(random() % spread);
  return mask;
}

TEST(MotionMask, ThresholdTableAndGiveUpRule) {
  FrameRef a = Uniform(4, 1, 100);
  FrameRef b = Uniform(4, 1, 100);
  b->Row(0)[0 * 4 + 1] = 116;  // green differs by 16
  b->Row(0)[1 * 4 + 2] = 117;  // red by 17
  b->Row(0)[2 * 4 + 0] = 68;   // blue by 32
  FrameRef mask = NewMask(4, 1);
  EXPECT_FALSE(ComputeMotionMask(*mask, *a, *b, 32));  // two of four moving is above 30 %
  EXPECT_EQ(mask->data[0], 127);
  EXPECT_EQ(mask->data[1], 135);
  EXPECT_EQ(mask->data[2], 255);
  EXPECT_EQ(mask->data[3], 0);
  b->Row(0)[3 * 4 + 3] = 0;  // the fourth byte never counts
  ComputeMotionMask(*mask, *a, *b, 0);
  EXPECT_EQ(mask->data[3], 0);
  EXPECT_EQ(mask->data[0], 255);  // threshold 0: any difference moves

  // 720x243: giving up starts above 52488 moving pixels.
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

TEST(MotionMask, DilationAndBlurCoverTheSmoothExtent) {
  for (int smooth : {1, 4, 7}) {
    FrameRef mask = RandomMask(23, 17, 11 + smooth, 3);
    for (int i = 0; i < 23 * 17; ++i) mask->data[i] = mask->data[i] == 0 ? 200 : 0;
    FrameRef reference = NewMask(23, 17);
    std::copy(mask->data, mask->data + 23 * 17, reference->data);
    DilateMask(*mask, smooth, smooth / 2);
    for (int y = 0; y < 17; ++y) {
      for (int x = 0; x < 23; ++x) {
        int largest = 0;
        for (int v = std::max(0, y - smooth / 2); v <= std::min(16, y + smooth / 2); ++v) {
          for (int u = std::max(0, x - smooth); u <= std::min(22, x + smooth); ++u) {
            largest = std::max<int>(largest, reference->Row(v)[u]);
          }
        }
        ASSERT_EQ(mask->Row(y)[x], largest);
      }
    }
    // The blur against a direct sum over the clamped-edge window.
    std::copy(mask->data, mask->data + 23 * 17, reference->data);
    BoxBlurMask(*mask, smooth, smooth / 2);
    std::vector<int> horizontal(23 * 17);
    const int rx = smooth + 1, ry = smooth / 2 + 1;
    for (int y = 0; y < 17; ++y) {
      for (int x = 0; x < 23; ++x) {
        int sum = 0;
        for (int k = x - rx + 1; k <= x + rx - 1; ++k) sum += reference->Row(y)[std::clamp(k, 0, 22)];
        horizontal[y * 23 + x] = sum / (2 * rx - 1);
      }
    }
    for (int y = 0; y < 17; ++y) {
      for (int x = 0; x < 23; ++x) {
        int sum = 0;
        for (int k = y - ry + 1; k <= y + ry - 1; ++k) sum += horizontal[std::clamp(k, 0, 16) * 23 + x];
        ASSERT_EQ(mask->Row(y)[x], sum / (2 * ry - 1)) << smooth << ":" << x << "," << y;
      }
    }
  }
}

TEST(MotionMask, BlendTakesNeighbourWhereStillAndCurrentWhereMoving) {
  FrameRef current = Uniform(3, 1, 200);
  FrameRef neighbour = Uniform(3, 1, 100);
  neighbour->Row(0)[3] = 7;
  FrameRef mask = NewMask(3, 1);
  mask->data[0] = 0;
  mask->data[1] = 255;
  mask->data[2] = 128;
  FrameRef out = NewImage(3, 1);
  BlendByMask(*current, *neighbour, *mask, *out);
  EXPECT_EQ(out->Row(0)[0], 100);
  EXPECT_EQ(out->Row(0)[3], 7);
  EXPECT_EQ(out->Row(0)[4], 200);
  EXPECT_EQ(out->Row(0)[8], (200 * 128 + 100 * 127) / 255);
  EXPECT_EQ(out->Row(0)[11], 200);
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
