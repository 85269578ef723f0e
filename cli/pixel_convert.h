// RGB pixel layouts the reader turns into the effect's 4-byte pixels by hand,
// where the general converter is several times slower than the copy needs
// (YUV has cli/yuv_convert.h).
#pragma once

#include <cstdint>

namespace cli {

// Planar 8-bit RGB as FFmpeg stores it (planes G, B, R) to packed pixels in
// blue, green, red, fourth order, the fourth byte opaque (255): the same
// bytes as the general converter gives, as a pure reordering.
void PlanarRgbToBgra(const uint8_t* const planes[3], const int strides[3], int width, int height,
                     uint8_t* dest, int destStride);

// Packed 4-byte pixels (blue, green, red, fourth) copied row by row; with
// `opaque` the fourth byte becomes 255. Source and dest may be the same rows.
void CopyBgraRows(const uint8_t* source, int sourceStride, int width, int height, uint8_t* dest,
                  int destStride, bool opaque);

}  // namespace cli
