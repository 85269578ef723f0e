// Row kernels of the conversions between planar YUV and the effect's 4-byte
// pixels (blue, green, red, fourth byte). They work on one row at a time and
// never allocate; the drivers in cli/yuv_convert.h prepare their inputs.
//
// Every kernel is integer arithmetic that fits 16-bit lanes, and each vector
// version does exactly the plain loop's steps (a product's high half is
// (a * b) >> 16, shifts of negative values round down, results are clamped
// at the end), so all versions give the same bytes on every machine. A test
// runs every version this processor has on random rows and compares them.
//
// Samples of 8 bits come as bytes; samples of 10 bits as 16-bit words, of
// which only the low 10 bits are read (so damaged input cannot overflow a
// lane). Pointers need no alignment.
#pragma once

#include <cstdint>
#include <vector>

namespace cli {

// The high half of a product of two 16-bit values, as the vector multiply
// gives it (rounded down).
inline int HighHalf(int a, int b) { return (a * b) >> 16; }

// YUV to 4-byte pixels. For each pixel, with `term` the channel's chroma term
// at the pixel:
//   light   = (Y << (16 - depth)) * lumaScale >> 16      (unsigned high half)
//   channel = clamp((light + term) >> 5, 0, 255)
// Light and terms are 32 times the 8-bit channel; the fourth byte is 255.
struct YuvToBgraCoefficients {
  int16_t lumaScale = 0;
  // Added to every chroma term: the black level's share and the rounding.
  int16_t lumaBias = 0;
  // Chroma terms from U and V, each (C - centre) scaled to 256 per 8-bit
  // step, times these, high half.
  int16_t blueFromU = 0;
  int16_t greenFromU = 0;
  int16_t greenFromV = 0;
  int16_t redFromV = 0;
};

// 4-byte pixels to YUV. For each pixel, with B, G, R the bytes:
//   Y = clamp(((B << 7) * lumaFromBlue >> 16) + ((G << 7) * lumaFromGreen >> 16)
//             + ((R << 7) * lumaFromRed >> 16) + lumaBias) >> (13 - depth), 0, max)
// Chroma is made the same way from filtered sums (see cli/yuv_convert.cpp).
struct BgraToYuvCoefficients {
  int16_t lumaFromBlue = 0;
  int16_t lumaFromGreen = 0;
  int16_t lumaFromRed = 0;
  int16_t lumaBias = 0;
  int16_t uFromBlue = 0;
  int16_t uFromGreen = 0;
  int16_t uFromRed = 0;
  int16_t vFromBlue = 0;
  int16_t vFromGreen = 0;
  int16_t vFromRed = 0;
  int16_t chromaBias = 0;
};

// Rows of 16-bit values per channel: chroma terms, sums of pixels.
struct ChannelRows {
  int16_t* blue;
  int16_t* green;
  int16_t* red;
};

struct ChannelRowsView {
  const int16_t* blue;
  const int16_t* green;
  const int16_t* red;
};

struct YuvKernels {
  const char* name;
  // Terms 0 to count - 1 of one row of U and V samples: with
  //   u = (U << (16 - depth)) - 32768      (256 per 8-bit step around the centre)
  // and v alike, blue = u × blueFromU, green = u × greenFromU + v × greenFromV,
  // red = v × redFromV (high halves), each plus lumaBias.
  void (*chromaTerms8)(const ChannelRows& terms, const uint8_t* u, const uint8_t* v, int count,
                       const YuvToBgraCoefficients& c);
  void (*chromaTerms10)(const ChannelRows& terms, const uint16_t* u, const uint16_t* v, int count,
                        const YuvToBgraCoefficients& c);
  // `count` pixels from luma and one chroma term per pixel ("full") or one
  // per two pixels ("half": even pixels take term x/2, odd ones the mean of
  // terms x/2 and x/2 + 1, rounded down, so terms 0 to count / 2 are read).
  void (*bgraFromFull8)(uint8_t* dest, const uint8_t* luma, const ChannelRowsView& terms, int count,
                        const YuvToBgraCoefficients& c);
  void (*bgraFromHalf8)(uint8_t* dest, const uint8_t* luma, const ChannelRowsView& terms, int count,
                        const YuvToBgraCoefficients& c);
  void (*bgraFromFull10)(uint8_t* dest, const uint16_t* luma, const ChannelRowsView& terms,
                         int count, const YuvToBgraCoefficients& c);
  void (*bgraFromHalf10)(uint8_t* dest, const uint16_t* luma, const ChannelRowsView& terms,
                         int count, const YuvToBgraCoefficients& c);
  // Luma of `count` pixels, and weight × each channel added into `sums`
  // (stored over them instead when `accumulate` is false).
  void (*lumaAndSums8)(uint8_t* luma, const ChannelRows& sums, const uint8_t* bgra, int count,
                       const BgraToYuvCoefficients& c, int weight, bool accumulate);
  void (*lumaAndSums10)(uint16_t* luma, const ChannelRows& sums, const uint8_t* bgra, int count,
                        const BgraToYuvCoefficients& c, int weight, bool accumulate);
  // Sums filtered (1, 2, 1) around every second pixel, times `scale`:
  //   filtered[j] = (sums[2j - 1] + 2 × sums[2j] + sums[2j + 1]) × scale
  // for j < count; sums[-1] must be readable.
  void (*filterHalfSums)(const ChannelRows& filtered, const ChannelRowsView& sums, int count,
                         int scale);
  // U and V of `count` chroma samples from filtered sums (128 per 8-bit
  // step), as luma is made from the channels.
  void (*chromaFromFiltered8)(uint8_t* u, uint8_t* v, const ChannelRowsView& filtered, int count,
                              const BgraToYuvCoefficients& c);
  void (*chromaFromFiltered10)(uint16_t* u, uint16_t* v, const ChannelRowsView& filtered, int count,
                               const BgraToYuvCoefficients& c);
};

const YuvKernels& PlainYuvKernels();
// The versions this processor runs, the plain one first.
std::vector<const YuvKernels*> SupportedYuvKernels();
// The fastest of them, chosen once by the processor's features.
const YuvKernels& FastestYuvKernels();

// The vector versions (null where the processor or the build lacks them).
const YuvKernels* Sse2YuvKernels();
const YuvKernels* Avx2YuvKernels();

}  // namespace cli
