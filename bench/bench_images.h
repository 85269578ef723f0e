// Random test images shared by the benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "source/frame_buffer.h"

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

// A mask of mostly still pixels with moving blobs, as ComputeMotionMask makes
// them from real footage: runs of 0, 255 and values in between.
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

inline int64_t ImageBytes(int32_t width, int32_t height) { return 4LL * width * height; }

}  // namespace benchimages
