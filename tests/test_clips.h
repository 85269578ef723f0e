// Small synthetic clips and hosts for end-to-end tests.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "refhost/clip.h"
#include "refhost/effect_host.h"

namespace testclips {

// A clip whose every byte says where it came from: byte 0 the frame, byte 1
// the row, byte 2 the column (all mod 256), byte 3 a fixed 200.
inline std::shared_ptr<refhost::MemoryClip> CodedClip(int32_t width, int32_t height,
                                                       int32_t frames) {
  auto clip = std::make_shared<refhost::MemoryClip>(width, height);
  for (int32_t f = 0; f < frames; ++f) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = static_cast<uint8_t>(f);
        p[1] = static_cast<uint8_t>(y);
        p[2] = static_cast<uint8_t>(x);
        p[3] = 200;
      }
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

// Pseudo-random pixels, the same for the same seed.
inline std::shared_ptr<refhost::MemoryClip> NoiseClip(int32_t width, int32_t height,
                                                       int32_t frames, uint32_t seed = 1) {
  auto clip = std::make_shared<refhost::MemoryClip>(width, height);
  uint32_t state = seed;
  for (int32_t f = 0; f < frames; ++f) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (uint8_t& byte : pixels) {
      state = state * 1664525u + 1013904223u;
      byte = static_cast<uint8_t>(state >> 24);
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

inline refhost::ProjectSettings Settings(int32_t width, int32_t height, int32_t frames) {
  refhost::ProjectSettings settings;
  settings.width = width;
  settings.height = height;
  settings.totalFrames = frames;
  return settings;
}

}  // namespace testclips
