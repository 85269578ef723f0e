// Pixel layouts the reader turns into the effect's 4-byte pixels by hand,
// where the general converter is several times slower than the copy needs.
#pragma once

#include <cstdint>

namespace cli {

// Planar 8-bit RGB as FFmpeg stores it (planes G, B, R) to packed pixels in
// blue, green, red, fourth order, the fourth byte opaque (255): the same
// bytes as the general converter gives, as a pure reordering.
void PlanarRgbToBgra(const uint8_t* const planes[3], const int strides[3], int width, int height,
                     uint8_t* dest, int destStride);

}  // namespace cli
