// Synthetic film material transferred by 3:2 pulldown, for the phase tests.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "refhost/clip.h"

namespace pulldownclips {

// The colour (blue, green, red) of film frame `film` at (x, y).
using FilmPicture = std::function<void(int32_t film, int32_t x, int32_t y, uint8_t* pixel)>;

// Different pseudo-random pictures for different film frames.
inline void NoiseFilm(int32_t film, int32_t x, int32_t y, uint8_t* pixel) {
  uint32_t h = static_cast<uint32_t>(film) * 2654435761u ^ static_cast<uint32_t>(x) * 40503u ^
               static_cast<uint32_t>(y) * 9973u;
  for (int c = 0; c < 3; ++c) {
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    pixel[c] = static_cast<uint8_t>(h >> 24);
  }
}

// Flat pictures alternating between two colours, which differ by 50, 60 and
// 70 in blue, green and red.
inline void FlatFilm(int32_t film, int32_t, int32_t, uint8_t* pixel) {
  const bool odd = film % 2 != 0;
  pixel[0] = odd ? 150 : 100;
  pixel[1] = odd ? 160 : 100;
  pixel[2] = odd ? 170 : 100;
}

// The film frame shown by field index i (2n the dominant, 2n + 1 the other
// field of frame n) when the repeated fields have index = phase mod 5: the
// cycle A A A B B C C C D D, shifted so that its repeats land there.
inline int32_t FilmOfField(int32_t fieldIndex, int32_t phase) {
  static const int32_t kCycle[10] = {0, 0, 0, 1, 1, 2, 2, 2, 3, 3};
  const int32_t j = fieldIndex - (phase - 2) + 10;  // j mod 10 == 2 at the repeat
  return 4 * (j / 10) + kCycle[j % 10];
}

// Frames whose fields follow a 3:2 cadence with the given phase. The field
// value `dominance` (0 the top rows, 1 the bottom rows) holds the dominant
// field of each frame.
inline std::shared_ptr<refhost::MemoryClip> PulldownClip(int32_t width, int32_t height,
                                                         int32_t frames, int32_t phase,
                                                         int32_t dominance,
                                                         const FilmPicture& film = NoiseFilm) {
  auto clip = std::make_shared<refhost::MemoryClip>(width, height);
  for (int32_t n = 0; n < frames; ++n) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 255);
    for (int32_t y = 0; y < height; ++y) {
      const bool dominantRow = (y % 2) == dominance;
      const int32_t filmFrame = FilmOfField(2 * n + (dominantRow ? 0 : 1), phase);
      for (int32_t x = 0; x < width; ++x) {
        // Field rows are addressed in field coordinates, as the host delivers them.
        film(filmFrame, x, y / 2, &pixels[(static_cast<size_t>(y) * width + x) * 4]);
      }
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

}  // namespace pulldownclips
