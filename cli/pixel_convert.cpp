#include "cli/pixel_convert.h"

#include <cstddef>
#include <cstring>

namespace cli {

void PlanarRgbToBgra(const uint8_t* const planes[3], const int strides[3], int width, int height,
                     uint8_t* dest, int destStride) {
  for (int y = 0; y < height; ++y) {
    const uint8_t* g = planes[0] + static_cast<ptrdiff_t>(y) * strides[0];
    const uint8_t* b = planes[1] + static_cast<ptrdiff_t>(y) * strides[1];
    const uint8_t* r = planes[2] + static_cast<ptrdiff_t>(y) * strides[2];
    uint8_t* out = dest + static_cast<ptrdiff_t>(y) * destStride;
    // Whole pixels as 32-bit words (little-endian byte order, as the pixels
    // are stored), which the compiler turns into vector code.
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = uint32_t{b[x]} | uint32_t{g[x]} << 8 | uint32_t{r[x]} << 16 |
                             uint32_t{255} << 24;
      std::memcpy(out + 4 * static_cast<ptrdiff_t>(x), &pixel, 4);
    }
  }
}

void CopyBgraRows(const uint8_t* source, int sourceStride, int width, int height, uint8_t* dest,
                  int destStride, bool opaque) {
  const uint8_t opaqueBytes[4] = {0, 0, 0, 255};
  uint32_t fourth;
  std::memcpy(&fourth, opaqueBytes, 4);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = source + static_cast<ptrdiff_t>(y) * sourceStride;
    uint8_t* out = dest + static_cast<ptrdiff_t>(y) * destStride;
    if (!opaque) {
      if (in != out) std::memmove(out, in, static_cast<size_t>(width) * 4);
      continue;
    }
    // Whole pixels as 32-bit words, which the compiler turns into vector code.
    for (int x = 0; x < width; ++x) {
      uint32_t pixel;
      std::memcpy(&pixel, in + 4 * static_cast<ptrdiff_t>(x), 4);
      pixel |= fourth;
      std::memcpy(out + 4 * static_cast<ptrdiff_t>(x), &pixel, 4);
    }
  }
}

}  // namespace cli
