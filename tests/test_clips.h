// Small synthetic clips and hosts for end-to-end tests.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "refhost/clip.h"
#include "refhost/effect_host.h"
#include "refhost/effect_settings.h"

namespace testclips {

// A clip whose pixel (x, y) of frame f is pixel(f, x, y, p) with p its four bytes.
template <typename Pixel>
std::shared_ptr<refhost::MemoryClip> MakeClip(int32_t width, int32_t height, int32_t frames,
                                              Pixel pixel) {
  auto clip = std::make_shared<refhost::MemoryClip>(width, height);
  for (int32_t f = 0; f < frames; ++f) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) pixel(f, x, y, &pixels[(size_t(y) * width + x) * 4]);
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

// Every byte says where it came from: byte 0 the frame, byte 1 the row, byte
// 2 the column (all mod 256), byte 3 a fixed 200.
inline std::shared_ptr<refhost::MemoryClip> CodedClip(int32_t width, int32_t height,
                                                      int32_t frames) {
  return MakeClip(width, height, frames, [](int32_t f, int32_t x, int32_t y, uint8_t* p) {
    p[0] = uint8_t(f), p[1] = uint8_t(y), p[2] = uint8_t(x), p[3] = 200;
  });
}

// Pseudo-random pixels, the same for the same seed.
inline std::shared_ptr<refhost::MemoryClip> NoiseClip(int32_t width, int32_t height, int32_t frames,
                                                      uint32_t seed = 1) {
  return MakeClip(width, height, frames,
                  [state = seed](int32_t, int32_t, int32_t, uint8_t* p) mutable {
                    for (int c = 0; c < 4; ++c)
                      p[c] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
                  });
}

// A still background with a noisy square (4 × 4, rows 4 to 7) moving two
// columns a frame, wrapping at the right edge: little enough motion that the
// adaptive step blends still and moving areas instead of giving up.
inline std::shared_ptr<refhost::MemoryClip> MovingSquareClip(int32_t width, int32_t height,
                                                             int32_t frames) {
  return MakeClip(width, height, frames,
                  [width, state = 5u](int32_t f, int32_t x, int32_t y, uint8_t* p) mutable {
                    const int32_t left = 2 * f % width;
                    const bool inSquare = x >= left && x < left + 4 && y >= 4 && y < 8;
                    for (int c = 0; c < 3; ++c) {
                      state = state * 1664525u + 1013904223u;
                      p[c] = inSquare ? uint8_t(state >> 24) : uint8_t(8 * x + 5 * y + 40 * c);
                    }
                    p[3] = uint8_t(255 - 3 * x - y);  // alpha too is the source's to keep
                  });
}

inline refhost::ProjectSettings Settings(int32_t width, int32_t height, int32_t frames) {
  refhost::ProjectSettings settings;
  settings.width = width, settings.height = height, settings.totalFrames = frames;
  return settings;
}

// Replaces the effect's waypoints by keys at these effect times (0..1), each
// {time, speed in percent, hold in fields}, with strobe 1, in list order.
inline void SetRamp(refhost::EffectHost& host,
                    std::initializer_list<std::array<double, 3>> timeSpeedHold) {
  std::vector<refhost::Waypoint> waypoints;
  for (const auto& [time, speed, hold] : timeSpeedHold) {
    waypoints.push_back({refhost::Waypoint::Place::kTime, time, speed, 1.0, hold, std::nullopt});
  }
  refhost::SetWaypoints(host, waypoints);
}

}  // namespace testclips
