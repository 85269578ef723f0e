#include "cli/yuv_convert.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace cli {
namespace {

// Red's and blue's share of luma; green has the rest.
struct LumaShares {
  double red;
  double blue;
};

LumaShares SharesOf(YuvMatrix matrix) {
  switch (matrix) {
    case YuvMatrix::kBt601:
      return {0.299, 0.114};
    case YuvMatrix::kBt2020:
      return {0.2627, 0.0593};
    case YuvMatrix::kSmpte240m:
      return {0.212, 0.087};
    case YuvMatrix::kFcc:
      return {0.30, 0.11};
    case YuvMatrix::kBt709:
      break;
  }
  return {0.2126, 0.0722};
}

int16_t Fixed(double value) { return static_cast<int16_t>(std::lround(value)); }

int ChromaSize(int size, int shift) { return (size + (1 << shift) - 1) >> shift; }

template <typename Sample>
const Sample* RowOf(const YuvPicture& picture, int plane, int row) {
  return reinterpret_cast<const Sample*>(picture.planes[plane] +
                                         static_cast<ptrdiff_t>(row) * picture.strides[plane]);
}

template <typename Sample>
Sample* WritableRowOf(const YuvPicture& picture, int plane, int row) {
  return reinterpret_cast<Sample*>(picture.planes[plane] +
                                   static_cast<ptrdiff_t>(row) * picture.strides[plane]);
}

// The chroma row a luma row takes its chroma from: for half-height chroma
// the one that covers it, of its own field when fields keep their chroma.
int ChromaRowOf(int row, int chromaHeight, int chromaShiftY, bool fieldChroma) {
  if (chromaShiftY == 0) return row;
  if (!fieldChroma) return row >> 1;
  // Field row r of field f lies under field chroma row r / 2, which is frame
  // chroma row 2 (r / 2) + f.
  const int field = row & 1;
  const int fieldChromaRows = (chromaHeight - field + 1) / 2;
  // Frames of two rows carry a single chroma row; the bottom field shares it.
  if (fieldChromaRows <= 0) return chromaHeight - 1;
  return 2 * std::min(row >> 2, fieldChromaRows - 1) + field;
}

// Quarter-width terms at every pixel, linearly between the samples.
void SpreadQuarterTerms(const int16_t* quarter, int count, int16_t* full) {
  for (int x = 0; x < count; ++x) {
    const int q = x >> 2;
    const int r = x & 3;
    full[x] = static_cast<int16_t>(r == 0 ? quarter[q]
                                          : (quarter[q] * (4 - r) + quarter[q + 1] * r) >> 2);
  }
}

template <typename Sample>
void ConvertRows(const YuvPicture& picture, const YuvColour& colour, bool fieldChroma, int firstRow,
                 int step, int rows, int pixels, uint8_t* dest, int destRowBytes,
                 const YuvKernels& kernels) {
  const YuvToBgraCoefficients c = CoefficientsToBgra(colour);
  const int shiftX = picture.chromaShiftX;
  const int chromaWidth = ChromaSize(picture.width, shiftX);
  const int chromaHeight = ChromaSize(picture.height, picture.chromaShiftY);
  // The kernels read one term past the last pixel's sample; past the
  // picture's edge that term repeats the last one.
  const int needed = ((pixels - 1) >> shiftX) + 2;
  const int computed = std::min(needed, chromaWidth);
  const int spread = shiftX == 2 ? pixels : 0;
  std::vector<int16_t> scratch(3 * static_cast<size_t>(needed + spread));
  int16_t* channel[3] = {scratch.data(), scratch.data() + needed, scratch.data() + 2 * needed};
  int16_t* full[3] = {channel[2] + needed, channel[2] + needed + spread,
                      channel[2] + needed + 2 * spread};
  const ChannelRows output = {channel[0], channel[1], channel[2]};
  const ChannelRowsView terms = shiftX == 2 ? ChannelRowsView{full[0], full[1], full[2]}
                                            : ChannelRowsView{channel[0], channel[1], channel[2]};
  int termsOfRow = -1;  // the chroma row the terms hold
  for (int i = 0; i < rows; ++i) {
    const int row = firstRow + i * step;
    const int chromaRow = ChromaRowOf(row, chromaHeight, picture.chromaShiftY, fieldChroma);
    if (chromaRow != termsOfRow) {
      termsOfRow = chromaRow;
      const Sample* u = RowOf<Sample>(picture, 1, chromaRow);
      const Sample* v = RowOf<Sample>(picture, 2, chromaRow);
      if constexpr (sizeof(Sample) == 1) {
        kernels.chromaTerms8(output, u, v, computed, c);
      } else {
        kernels.chromaTerms10(output, u, v, computed, c);
      }
      for (int16_t* t : channel) std::fill(t + computed, t + needed, t[computed - 1]);
      if (shiftX == 2) {
        for (int k = 0; k < 3; ++k) SpreadQuarterTerms(channel[k], pixels, full[k]);
      }
    }
    const Sample* luma = RowOf<Sample>(picture, 0, row);
    uint8_t* out = dest + static_cast<ptrdiff_t>(i) * destRowBytes;
    if constexpr (sizeof(Sample) == 1) {
      (shiftX == 1 ? kernels.bgraFromHalf8 : kernels.bgraFromFull8)(out, luma, terms, pixels, c);
    } else {
      (shiftX == 1 ? kernels.bgraFromHalf10 : kernels.bgraFromFull10)(out, luma, terms, pixels, c);
    }
  }
}

// The rows whose weighted sums make chroma row k, and the total weight.
struct LumaSource {
  int first;
  int firstWeight;
  int second;  // -1: none
  int secondWeight;
  int total;
};

LumaSource LumaSourceOf(int k, int height, int chromaShiftY, bool fieldChroma) {
  if (chromaShiftY == 0) return {k, 1, -1, 0, 1};
  if (!fieldChroma) {
    if (2 * k + 1 >= height) return {2 * k, 2, -1, 0, 2};
    return {2 * k, 1, 2 * k + 1, 1, 2};
  }
  // Field chroma row j of field f (frame chroma row 2j + f) from field rows
  // 2j and 2j + 1, weighted by nearness: the top field's chroma row lies a
  // quarter of a field row below field row 2j, the bottom field's three
  // quarters.
  const int field = k & 1;
  const int j = k >> 1;
  const int first = 4 * j + field;
  const int second = first + 2;
  if (second >= height) return {first, 4, -1, 0, 4};
  return {first, field == 0 ? 3 : 1, second, field == 0 ? 1 : 3, 4};
}

// Room around each row of sums for the filters' taps past the picture's
// edges (the vector filters read up to 16 past a row's last chroma sample's
// pixel); the edge values are repeated into it.
constexpr int kSumsBefore = 4;
constexpr int kSumsAfter = 40;

// Filtered sums of one chroma row at `count` chroma samples: the sums
// weighed by a triangle around each sample's pixel (taps 1, 2, 1 at half
// width, 1, 2, 3, 4, 3, 2, 1 at quarter width), scaled to 128 per 8-bit step.
void FilterSums(const ChannelRows& filtered, int16_t* const sums[3], int width, int shiftX,
                int scale, int count, const YuvKernels& kernels) {
  for (int k = 0; k < 3; ++k) {
    std::fill(sums[k] - kSumsBefore, sums[k], sums[k][0]);
    std::fill(sums[k] + width, sums[k] + width + kSumsAfter, sums[k][width - 1]);
  }
  if (shiftX == 1) {
    kernels.filterHalfSums(filtered, {sums[0], sums[1], sums[2]}, count, scale);
    return;
  }
  int16_t* const out[3] = {filtered.blue, filtered.green, filtered.red};
  for (int k = 0; k < 3; ++k) {
    const int16_t* in = sums[k];
    if (shiftX == 0) {
      for (int j = 0; j < count; ++j) out[k][j] = static_cast<int16_t>(in[j] * scale);
      continue;
    }
    for (int j = 0; j < count; ++j) {
      const int16_t* centre = in + 4 * j;
      const int sum = 4 * centre[0] + 3 * (centre[-1] + centre[1]) + 2 * (centre[-2] + centre[2]) +
                      centre[-3] + centre[3];
      out[k][j] = static_cast<int16_t>(sum * scale);
    }
  }
}

template <typename Sample>
void ConvertPicture(const uint8_t* bgra, int rowBytes, const YuvPicture& picture,
                    const YuvColour& colour, bool fieldChroma, const YuvKernels& kernels) {
  const BgraToYuvCoefficients c = CoefficientsToYuv(colour, picture.depth);
  const int width = picture.width;
  const int shiftX = picture.chromaShiftX;
  const int chromaWidth = ChromaSize(width, shiftX);
  const int chromaHeight = ChromaSize(picture.height, picture.chromaShiftY);
  const size_t sumsSpan = static_cast<size_t>(kSumsBefore + width + kSumsAfter);
  std::vector<int16_t> scratch(3 * sumsSpan + 3 * static_cast<size_t>(chromaWidth));
  int16_t* const sums[3] = {scratch.data() + kSumsBefore, scratch.data() + sumsSpan + kSumsBefore,
                            scratch.data() + 2 * sumsSpan + kSumsBefore};
  int16_t* const filtered = scratch.data() + 3 * sumsSpan;
  const ChannelRows filteredRows = {filtered, filtered + chromaWidth, filtered + 2 * chromaWidth};
  const auto lumaAndSums = [&](int row, int weight, bool accumulate) {
    const uint8_t* pixels = bgra + static_cast<ptrdiff_t>(row) * rowBytes;
    Sample* luma = WritableRowOf<Sample>(picture, 0, row);
    const ChannelRows sumRows = {sums[0], sums[1], sums[2]};
    if constexpr (sizeof(Sample) == 1) {
      kernels.lumaAndSums8(luma, sumRows, pixels, width, c, weight, accumulate);
    } else {
      kernels.lumaAndSums10(luma, sumRows, pixels, width, c, weight, accumulate);
    }
  };
  // Interlaced pictures whose height is no multiple of four leave rows no
  // chroma row covers; their luma is made on its own.
  std::vector<char> covered(static_cast<size_t>(picture.height), 0);
  for (int k = 0; k < chromaHeight; ++k) {
    const LumaSource source = LumaSourceOf(k, picture.height, picture.chromaShiftY, fieldChroma);
    lumaAndSums(source.first, source.firstWeight, false);
    covered[source.first] = 1;
    if (source.second >= 0) {
      lumaAndSums(source.second, source.secondWeight, true);
      covered[source.second] = 1;
    }
    const int scale = 128 >> (2 * shiftX + (source.total == 4 ? 2 : source.total == 2 ? 1 : 0));
    FilterSums(filteredRows, sums, width, shiftX, scale, chromaWidth, kernels);
    const ChannelRowsView view = {filteredRows.blue, filteredRows.green, filteredRows.red};
    Sample* u = WritableRowOf<Sample>(picture, 1, k);
    Sample* v = WritableRowOf<Sample>(picture, 2, k);
    if constexpr (sizeof(Sample) == 1) {
      kernels.chromaFromFiltered8(u, v, view, chromaWidth, c);
    } else {
      kernels.chromaFromFiltered10(u, v, view, chromaWidth, c);
    }
  }
  for (int row = 0; row < picture.height; ++row) {
    if (!covered[row]) lumaAndSums(row, 1, false);
  }
}

}  // namespace

YuvToBgraCoefficients CoefficientsToBgra(const YuvColour& colour) {
  const LumaShares shares = SharesOf(colour.matrix);
  const double green = 1.0 - shares.red - shares.blue;
  const double lumaRange = colour.fullRange ? 1.0 : 255.0 / 219.0;
  const double chromaRange = colour.fullRange ? 1.0 : 255.0 / 224.0;
  const double black = colour.fullRange ? 0.0 : 16.0;
  YuvToBgraCoefficients c;
  // Luma comes in at 256 per 8-bit step and leaves at 32: 2^13 is a factor of one.
  c.lumaScale = Fixed(lumaRange * 8192);
  // Half of the final step of 32 rounds to nearest.
  c.lumaBias = static_cast<int16_t>(Fixed(-black * lumaRange * 32) + 16);
  // Chroma comes in at 256 per 8-bit step and leaves at 32: 2^13 is a factor of one.
  const double unit = chromaRange * 8192;
  c.blueFromU = Fixed(2 * (1 - shares.blue) * unit);
  c.greenFromU = Fixed(-2 * (1 - shares.blue) * shares.blue / green * unit);
  c.greenFromV = Fixed(-2 * (1 - shares.red) * shares.red / green * unit);
  c.redFromV = Fixed(2 * (1 - shares.red) * unit);
  return c;
}

BgraToYuvCoefficients CoefficientsToYuv(const YuvColour& colour, int depth) {
  const LumaShares shares = SharesOf(colour.matrix);
  const double green = 1.0 - shares.red - shares.blue;
  const double lumaRange = colour.fullRange ? 1.0 : 219.0 / 255.0;
  const double chromaRange = colour.fullRange ? 1.0 : 224.0 / 255.0;
  const int shift = 13 - depth;
  // Channels come in at 128 per step and leave at 2^shift per step of
  // `depth` bits, which is 32 per 8-bit step: 2^14 is a factor of one.
  const double lumaUnit = lumaRange * 16384;
  const double chromaUnit = chromaRange * 16384;
  BgraToYuvCoefficients c;
  c.lumaFromBlue = Fixed(shares.blue * lumaUnit);
  c.lumaFromGreen = Fixed(green * lumaUnit);
  c.lumaFromRed = Fixed(shares.red * lumaUnit);
  const int black = colour.fullRange ? 0 : 16 << (depth - 8);
  const int half = 1 << (shift - 1);
  c.lumaBias = static_cast<int16_t>((black << shift) + half);
  const double uDivisor = 2 * (1 - shares.blue);
  const double vDivisor = 2 * (1 - shares.red);
  c.uFromBlue = Fixed((1 - shares.blue) / uDivisor * chromaUnit);
  c.uFromGreen = Fixed(-green / uDivisor * chromaUnit);
  c.uFromRed = Fixed(-shares.red / uDivisor * chromaUnit);
  c.vFromBlue = Fixed(-shares.blue / vDivisor * chromaUnit);
  c.vFromGreen = Fixed(-green / vDivisor * chromaUnit);
  c.vFromRed = Fixed((1 - shares.red) / vDivisor * chromaUnit);
  c.chromaBias = static_cast<int16_t>(((128 << (depth - 8)) << shift) + half);
  return c;
}

void YuvRowsToBgra(const YuvPicture& picture, const YuvColour& colour, bool fieldChroma,
                   int firstRow, int step, int rows, int pixels, uint8_t* dest, int destRowBytes,
                   const YuvKernels& kernels) {
  if (rows <= 0 || pixels <= 0) return;
  if (picture.depth == 8) {
    ConvertRows<uint8_t>(picture, colour, fieldChroma, firstRow, step, rows, pixels, dest,
                         destRowBytes, kernels);
  } else {
    ConvertRows<uint16_t>(picture, colour, fieldChroma, firstRow, step, rows, pixels, dest,
                          destRowBytes, kernels);
  }
}

void BgraToYuv(const uint8_t* bgra, int rowBytes, const YuvPicture& picture,
               const YuvColour& colour, bool fieldChroma, const YuvKernels& kernels) {
  if (picture.width <= 0 || picture.height <= 0) return;
  if (picture.depth == 8) {
    ConvertPicture<uint8_t>(bgra, rowBytes, picture, colour, fieldChroma, kernels);
  } else {
    ConvertPicture<uint16_t>(bgra, rowBytes, picture, colour, fieldChroma, kernels);
  }
}

}  // namespace cli
