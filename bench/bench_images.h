// Random test images shared by the benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>

#include "source/frame_buffer.h"
#include "source/motion_mask.h"

namespace benchimages {

// The two field sizes every kernel is measured at: standard and high definition.
inline void FieldSizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Args({720, 243})->Args({1920, 540});
}

inline void FillRandom(FrameBuffer& buffer, int32_t pixelBytes, uint32_t seed) {
  std::mt19937 random(seed);
  for (int32_t y = 0; y < buffer.height; ++y) {
    uint8_t* row = buffer.Row(y);
    for (int32_t x = 0; x < buffer.width * pixelBytes; ++x) row[x] = static_cast<uint8_t>(random());
  }
}

inline FrameRef RandomImage(int32_t width, int32_t height, uint32_t seed) {
  FrameRef image = NewImage(width, height);
  FillRandom(*image, 4, seed);
  return image;
}

// A mask of mostly still pixels with scattered moving ones and values in
// between, as ComputeMotionMask makes them from noisy footage.
inline FrameRef BlobMask(int32_t width, int32_t height, uint32_t seed) {
  FrameRef mask = NewMask(width, height);
  std::mt19937 random(seed);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = mask->Row(y);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t r = random() % 100;
      row[x] = static_cast<uint8_t>(r < 70 ? 0 : (r < 85 ? 255 : random() % 256));
    }
  }
  return mask;
}

// A mask as the blend sees it after the median, dilation and blur: still
// background, moving rectangles covering about a fifth of the picture, and
// soft edges in between.
inline FrameRef MovingAreasMask(int32_t width, int32_t height, uint32_t seed) {
  FrameRef mask = NewMask(width, height);
  std::mt19937 random(seed);
  std::memset(mask->data, 0, static_cast<size_t>(width) * height);
  for (int32_t area = 0; area < width * height / 4000; ++area) {
    const auto areaWidth = static_cast<int32_t>(16 + random() % 120);
    const auto areaHeight = static_cast<int32_t>(8 + random() % 60);
    const auto left = static_cast<int32_t>(random() % width);
    const auto top = static_cast<int32_t>(random() % height);
    for (int32_t y = top; y < std::min(height, top + areaHeight); ++y) {
      std::memset(mask->Row(y) + left, 255,
                  static_cast<size_t>(std::min(width, left + areaWidth) - left));
    }
  }
  BoxBlurMask(*mask, 4, 2);
  return mask;
}

inline int64_t ImageBytes(int32_t width, int32_t height) { return 4LL * width * height; }

}  // namespace benchimages
