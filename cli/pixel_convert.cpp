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

}  // namespace cli
