// Conversions between planar YUV pictures (8 or 10 bits; chroma at full,
// half or quarter width and full or half height) and the effect's 4-byte
// pixels (blue, green, red, fourth byte 255), in integer arithmetic: the same
// bytes on every machine, whichever kernels run (cli/yuv_kernels.h).
//
// Chroma positions follow MPEG-2 and H.264: horizontally on every second (or
// fourth) pixel, starting with the first; vertically, for half-height
// chroma, between the two rows it covers. On the way in chroma is
// interpolated linearly between its samples along a row, and each chroma
// row serves both rows it covers, so that a picture written out and read
// back keeps its vertical chroma; on the way out it is filtered (triangle
// filters along a row, the two rows weighted by nearness).
//
// Interlaced material with half-height chroma has chroma rows of its own per
// field: even chroma rows are the top field's, odd ones the bottom field's,
// each covering two rows of its field and lying a quarter of a field row
// from its first row's side. With `fieldChroma` the conversions keep to
// them, so that fields showing different pictures keep their own colours.
//
// Nothing here knows FFmpeg; cli/yuv_frames.h describes its frames.
#pragma once

#include <cstdint>

#include "cli/yuv_kernels.h"

namespace cli {

enum class YuvMatrix { kBt601, kBt709, kBt2020, kSmpte240m, kFcc };

struct YuvColour {
  YuvMatrix matrix = YuvMatrix::kBt709;
  // Full range: black 0 and white the largest sample; else limited (video)
  // range: 16 to 235, chroma 16 to 240 (times 4 at 10 bits).
  bool fullRange = false;
};

struct YuvPicture {
  // Y, U (Cb) and V (Cr); samples of 10 bits are 16-bit words in the
  // machine's byte order. Strides are in bytes and may be negative.
  uint8_t* planes[3] = {nullptr, nullptr, nullptr};
  int strides[3] = {0, 0, 0};
  int width = 0;
  int height = 0;
  // Chroma is width >> chromaShiftX wide (0 to 2) and height >> chromaShiftY
  // high (0 or 1), rounded up.
  int chromaShiftX = 0;
  int chromaShiftY = 0;
  int depth = 8;  // 8 or 10
};

YuvToBgraCoefficients CoefficientsToBgra(const YuvColour& colour);
BgraToYuvCoefficients CoefficientsToYuv(const YuvColour& colour, int depth);

// Rows firstRow, firstRow + step, ... (`rows` of them, the first `pixels`
// pixels of each) as 4-byte pixels into dest, rows destRowBytes apart. The
// rows must lie within the picture; a row converts to the same bytes however
// it is asked for.
void YuvRowsToBgra(const YuvPicture& picture, const YuvColour& colour, bool fieldChroma,
                   int firstRow, int step, int rows, int pixels, uint8_t* dest, int destRowBytes,
                   const YuvKernels& kernels = FastestYuvKernels());

// A whole picture of 4-byte pixels (picture.width × picture.height, rows
// rowBytes apart; the fourth byte is ignored) into `picture`'s planes.
void BgraToYuv(const uint8_t* bgra, int rowBytes, const YuvPicture& picture,
               const YuvColour& colour, bool fieldChroma,
               const YuvKernels& kernels = FastestYuvKernels());

}  // namespace cli
