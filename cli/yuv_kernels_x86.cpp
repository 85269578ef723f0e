// SSE2 and AVX2 versions of the YUV row kernels. The AVX2 functions carry
// their own target attribute, so this file builds for any x86 processor and
// the processor's features decide at run time which version runs. Each loop
// handles whole blocks of pixels and hands the rest of the row to the plain
// kernel, whose arithmetic the blocks repeat lane for lane.
#include "cli/yuv_kernels.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define CORVALIS_AVX2 __attribute__((target("avx2")))

namespace cli {
namespace {

// ---- SSE2: 16 pixels a block (8 when writing) ----

inline __m128i Load128(const void* from) {
  return _mm_loadu_si128(static_cast<const __m128i*>(from));
}
inline void Store128(void* to, __m128i value) {
  _mm_storeu_si128(static_cast<__m128i*>(to), value);
}

// Luma of pixels 0-7 and 8-15 of a block, moved up to 16 bits.
inline void Sse2Luma(const uint8_t* luma, __m128i& low, __m128i& high) {
  const __m128i bytes = Load128(luma);
  low = _mm_unpacklo_epi8(_mm_setzero_si128(), bytes);
  high = _mm_unpackhi_epi8(_mm_setzero_si128(), bytes);
}
inline void Sse2Luma(const uint16_t* luma, __m128i& low, __m128i& high) {
  const __m128i mask = _mm_set1_epi16(0x3FF);
  low = _mm_slli_epi16(_mm_and_si128(Load128(luma), mask), 6);
  high = _mm_slli_epi16(_mm_and_si128(Load128(luma + 8), mask), 6);
}

// A channel's terms for pixels 0-7 and 8-15 of the block starting at pixel x.
template <bool kHalf>
inline void Sse2Terms(const int16_t* terms, int x, __m128i& low, __m128i& high) {
  if (kHalf) {
    const __m128i at = Load128(terms + x / 2);
    const __m128i next = Load128(terms + x / 2 + 1);
    const __m128i mean = _mm_srai_epi16(_mm_add_epi16(at, next), 1);
    low = _mm_unpacklo_epi16(at, mean);
    high = _mm_unpackhi_epi16(at, mean);
  } else {
    low = Load128(terms + x);
    high = Load128(terms + x + 8);
  }
}

// Eight chroma samples as (C << (16 - depth)) - 32768 in 16-bit lanes.
inline __m128i Sse2Centred(const uint8_t* samples) {
  const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples));
  return _mm_xor_si128(_mm_unpacklo_epi8(_mm_setzero_si128(), bytes), _mm_set1_epi16(-32768));
}
inline __m128i Sse2Centred(const uint16_t* samples) {
  const __m128i values = _mm_and_si128(Load128(samples), _mm_set1_epi16(0x3FF));
  return _mm_xor_si128(_mm_slli_epi16(values, 6), _mm_set1_epi16(-32768));
}

template <typename Sample>
void Sse2ChromaTerms(const ChannelRows& terms, const Sample* u, const Sample* v, int count,
                     const YuvToBgraCoefficients& c) {
  const __m128i blueFromU = _mm_set1_epi16(c.blueFromU);
  const __m128i greenFromU = _mm_set1_epi16(c.greenFromU);
  const __m128i greenFromV = _mm_set1_epi16(c.greenFromV);
  const __m128i redFromV = _mm_set1_epi16(c.redFromV);
  const __m128i bias = _mm_set1_epi16(c.lumaBias);
  int j = 0;
  for (; j + 8 <= count; j += 8) {
    const __m128i uValue = Sse2Centred(u + j);
    const __m128i vValue = Sse2Centred(v + j);
    Store128(terms.blue + j, _mm_add_epi16(_mm_mulhi_epi16(uValue, blueFromU), bias));
    Store128(terms.green + j,
             _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(uValue, greenFromU), bias),
                           _mm_mulhi_epi16(vValue, greenFromV)));
    Store128(terms.red + j, _mm_add_epi16(_mm_mulhi_epi16(vValue, redFromV), bias));
  }
  if (j == count) return;
  const ChannelRows rest = {terms.blue + j, terms.green + j, terms.red + j};
  const YuvKernels& plain = PlainYuvKernels();
  if constexpr (sizeof(Sample) == 1) {
    plain.chromaTerms8(rest, u + j, v + j, count - j, c);
  } else {
    plain.chromaTerms10(rest, u + j, v + j, count - j, c);
  }
}

inline __m128i Sse2Channel(__m128i light, __m128i term) {
  return _mm_srai_epi16(_mm_add_epi16(light, term), 5);
}

template <bool kHalf, typename Sample>
void Sse2BgraFrom(uint8_t* dest, const Sample* luma, const ChannelRowsView& terms, int count,
                  const YuvToBgraCoefficients& c) {
  const __m128i scale = _mm_set1_epi16(c.lumaScale);
  const __m128i opaque = _mm_set1_epi8(-1);
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    __m128i y0, y1;
    Sse2Luma(luma + x, y0, y1);
    const __m128i light0 = _mm_mulhi_epu16(y0, scale);
    const __m128i light1 = _mm_mulhi_epu16(y1, scale);
    __m128i b0, b1, g0, g1, r0, r1;
    Sse2Terms<kHalf>(terms.blue, x, b0, b1);
    Sse2Terms<kHalf>(terms.green, x, g0, g1);
    Sse2Terms<kHalf>(terms.red, x, r0, r1);
    const __m128i blue = _mm_packus_epi16(Sse2Channel(light0, b0), Sse2Channel(light1, b1));
    const __m128i green = _mm_packus_epi16(Sse2Channel(light0, g0), Sse2Channel(light1, g1));
    const __m128i red = _mm_packus_epi16(Sse2Channel(light0, r0), Sse2Channel(light1, r1));
    const __m128i bgLow = _mm_unpacklo_epi8(blue, green);
    const __m128i bgHigh = _mm_unpackhi_epi8(blue, green);
    const __m128i raLow = _mm_unpacklo_epi8(red, opaque);
    const __m128i raHigh = _mm_unpackhi_epi8(red, opaque);
    uint8_t* out = dest + 4 * x;
    Store128(out, _mm_unpacklo_epi16(bgLow, raLow));
    Store128(out + 16, _mm_unpackhi_epi16(bgLow, raLow));
    Store128(out + 32, _mm_unpacklo_epi16(bgHigh, raHigh));
    Store128(out + 48, _mm_unpackhi_epi16(bgHigh, raHigh));
  }
  if (x == count) return;
  const int t = kHalf ? x / 2 : x;
  const ChannelRowsView rest = {terms.blue + t, terms.green + t, terms.red + t};
  const YuvKernels& plain = PlainYuvKernels();
  if constexpr (sizeof(Sample) == 1) {
    (kHalf ? plain.bgraFromHalf8 : plain.bgraFromFull8)(dest + 4 * x, luma + x, rest, count - x, c);
  } else {
    (kHalf ? plain.bgraFromHalf10 : plain.bgraFromFull10)(dest + 4 * x, luma + x, rest, count - x,
                                                          c);
  }
}

inline void Sse2StoreSamples(uint8_t* luma, __m128i values) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(luma),
                   _mm_packus_epi16(_mm_srai_epi16(values, 5), values));
}
inline void Sse2StoreSamples(uint16_t* luma, __m128i values) {
  const __m128i shifted = _mm_srai_epi16(values, 3);
  Store128(luma, _mm_min_epi16(_mm_max_epi16(shifted, _mm_setzero_si128()), _mm_set1_epi16(0x3FF)));
}

inline void Sse2AddSums(int16_t* sums, __m128i channel, __m128i weight, bool accumulate) {
  __m128i weighted = _mm_mullo_epi16(channel, weight);
  if (accumulate) weighted = _mm_add_epi16(weighted, Load128(sums));
  Store128(sums, weighted);
}

template <typename Sample>
void Sse2LumaAndSums(Sample* luma, const ChannelRows& sums, const uint8_t* bgra, int count,
                     const BgraToYuvCoefficients& c, int weight, bool accumulate) {
  const __m128i mask = _mm_set1_epi32(0xFF);
  const __m128i fromBlue = _mm_set1_epi16(c.lumaFromBlue);
  const __m128i fromGreen = _mm_set1_epi16(c.lumaFromGreen);
  const __m128i fromRed = _mm_set1_epi16(c.lumaFromRed);
  const __m128i bias = _mm_set1_epi16(c.lumaBias);
  const __m128i weights = _mm_set1_epi16(static_cast<int16_t>(weight));
  int x = 0;
  for (; x + 8 <= count; x += 8) {
    const __m128i p0 = Load128(bgra + 4 * x);
    const __m128i p1 = Load128(bgra + 4 * x + 16);
    const __m128i blue = _mm_packs_epi32(_mm_and_si128(p0, mask), _mm_and_si128(p1, mask));
    const __m128i green = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 8), mask),
                                          _mm_and_si128(_mm_srli_epi32(p1, 8), mask));
    const __m128i red = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(p0, 16), mask),
                                        _mm_and_si128(_mm_srli_epi32(p1, 16), mask));
    const __m128i light =
        _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(_mm_slli_epi16(blue, 7), fromBlue),
                                    _mm_mulhi_epi16(_mm_slli_epi16(green, 7), fromGreen)),
                      _mm_add_epi16(_mm_mulhi_epi16(_mm_slli_epi16(red, 7), fromRed), bias));
    Sse2StoreSamples(luma + x, light);
    Sse2AddSums(sums.blue + x, blue, weights, accumulate);
    Sse2AddSums(sums.green + x, green, weights, accumulate);
    Sse2AddSums(sums.red + x, red, weights, accumulate);
  }
  if (x == count) return;
  const ChannelRows rest = {sums.blue + x, sums.green + x, sums.red + x};
  const YuvKernels& plain = PlainYuvKernels();
  if constexpr (sizeof(Sample) == 1) {
    plain.lumaAndSums8(luma + x, rest, bgra + 4 * x, count - x, c, weight, accumulate);
  } else {
    plain.lumaAndSums10(luma + x, rest, bgra + 4 * x, count - x, c, weight, accumulate);
  }
}

// Lanes 0, 2, 4, 6 (Evens) or 1, 3, 5, 7 (Odds) of a, then those of b;
// the values must be non-negative.
inline __m128i Sse2Evens(__m128i a, __m128i b) {
  const __m128i mask = _mm_set1_epi32(0xFFFF);
  return _mm_packs_epi32(_mm_and_si128(a, mask), _mm_and_si128(b, mask));
}
inline __m128i Sse2Odds(__m128i a, __m128i b) {
  return _mm_packs_epi32(_mm_srli_epi32(a, 16), _mm_srli_epi32(b, 16));
}

void Sse2FilterHalfSums(const ChannelRows& filtered, const ChannelRowsView& sums, int count,
                        int scale) {
  const int16_t* const in[3] = {sums.blue, sums.green, sums.red};
  int16_t* const out[3] = {filtered.blue, filtered.green, filtered.red};
  const __m128i scales = _mm_set1_epi16(static_cast<int16_t>(scale));
  int j = 0;
  for (; j + 8 <= count; j += 8) {
    for (int k = 0; k < 3; ++k) {
      const int16_t* base = in[k] + 2 * j;
      const __m128i here = Load128(base);
      const __m128i further = Load128(base + 8);
      const __m128i left = Sse2Evens(Load128(base - 1), Load128(base + 7));
      const __m128i centre = Sse2Evens(here, further);
      const __m128i right = Sse2Odds(here, further);
      const __m128i sum = _mm_add_epi16(_mm_add_epi16(left, right), _mm_slli_epi16(centre, 1));
      Store128(out[k] + j, _mm_mullo_epi16(sum, scales));
    }
  }
  if (j == count) return;
  PlainYuvKernels().filterHalfSums({out[0] + j, out[1] + j, out[2] + j},
                                   {in[0] + 2 * j, in[1] + 2 * j, in[2] + 2 * j}, count - j, scale);
}

template <typename Sample>
void Sse2ChromaFromFiltered(Sample* u, Sample* v, const ChannelRowsView& filtered, int count,
                            const BgraToYuvCoefficients& c) {
  const __m128i bias = _mm_set1_epi16(c.chromaBias);
  const __m128i uFromBlue = _mm_set1_epi16(c.uFromBlue);
  const __m128i uFromGreen = _mm_set1_epi16(c.uFromGreen);
  const __m128i uFromRed = _mm_set1_epi16(c.uFromRed);
  const __m128i vFromBlue = _mm_set1_epi16(c.vFromBlue);
  const __m128i vFromGreen = _mm_set1_epi16(c.vFromGreen);
  const __m128i vFromRed = _mm_set1_epi16(c.vFromRed);
  int j = 0;
  for (; j + 8 <= count; j += 8) {
    const __m128i blue = Load128(filtered.blue + j);
    const __m128i green = Load128(filtered.green + j);
    const __m128i red = Load128(filtered.red + j);
    Sse2StoreSamples(u + j, _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(blue, uFromBlue),
                                                        _mm_mulhi_epi16(green, uFromGreen)),
                                          _mm_add_epi16(_mm_mulhi_epi16(red, uFromRed), bias)));
    Sse2StoreSamples(v + j, _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(blue, vFromBlue),
                                                        _mm_mulhi_epi16(green, vFromGreen)),
                                          _mm_add_epi16(_mm_mulhi_epi16(red, vFromRed), bias)));
  }
  if (j == count) return;
  const ChannelRowsView rest = {filtered.blue + j, filtered.green + j, filtered.red + j};
  const YuvKernels& plain = PlainYuvKernels();
  if constexpr (sizeof(Sample) == 1) {
    plain.chromaFromFiltered8(u + j, v + j, rest, count - j, c);
  } else {
    plain.chromaFromFiltered10(u + j, v + j, rest, count - j, c);
  }
}

// ---- AVX2: 32 pixels a block (16 when writing) ----
//
// The 256-bit unpack and pack instructions work within each 128-bit half, so
// a block's 16-bit lanes hold pixels 0-7 and 16-23 in one register and 8-15
// and 24-31 in the other; the loads arrange the terms the same way and the
// stores put the pixels back in order.

CORVALIS_AVX2 inline __m256i Load256(const void* from) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(from));
}
CORVALIS_AVX2 inline void Store256(void* to, __m256i value) {
  _mm256_storeu_si256(static_cast<__m256i*>(to), value);
}

// Two runs of 16 lanes (at `from` and 16 further) as pixels 0-7|16-23 and 8-15|24-31.
CORVALIS_AVX2 inline void Avx2Split(const void* first, const void* second, __m256i& low,
                                    __m256i& high) {
  const __m256i a = Load256(first);
  const __m256i b = Load256(second);
  low = _mm256_permute2x128_si256(a, b, 0x20);
  high = _mm256_permute2x128_si256(a, b, 0x31);
}

CORVALIS_AVX2 inline void Avx2Luma(const uint8_t* luma, __m256i& low, __m256i& high) {
  const __m256i bytes = Load256(luma);
  low = _mm256_unpacklo_epi8(_mm256_setzero_si256(), bytes);
  high = _mm256_unpackhi_epi8(_mm256_setzero_si256(), bytes);
}
CORVALIS_AVX2 inline void Avx2Luma(const uint16_t* luma, __m256i& low, __m256i& high) {
  const __m256i mask = _mm256_set1_epi16(0x3FF);
  Avx2Split(luma, luma + 16, low, high);
  low = _mm256_slli_epi16(_mm256_and_si256(low, mask), 6);
  high = _mm256_slli_epi16(_mm256_and_si256(high, mask), 6);
}

template <bool kHalf>
CORVALIS_AVX2 inline void Avx2Terms(const int16_t* terms, int x, __m256i& low, __m256i& high) {
  if (kHalf) {
    const __m256i at = Load256(terms + x / 2);
    const __m256i next = Load256(terms + x / 2 + 1);
    const __m256i mean = _mm256_srai_epi16(_mm256_add_epi16(at, next), 1);
    low = _mm256_unpacklo_epi16(at, mean);
    high = _mm256_unpackhi_epi16(at, mean);
  } else {
    Avx2Split(terms + x, terms + x + 16, low, high);
  }
}

// Sixteen chroma samples as (C << (16 - depth)) - 32768 in 16-bit lanes, in order.
CORVALIS_AVX2 inline __m256i Avx2Centred(const uint8_t* samples) {
  return _mm256_xor_si256(_mm256_slli_epi16(_mm256_cvtepu8_epi16(Load128(samples)), 8),
                          _mm256_set1_epi16(-32768));
}
CORVALIS_AVX2 inline __m256i Avx2Centred(const uint16_t* samples) {
  const __m256i values = _mm256_and_si256(Load256(samples), _mm256_set1_epi16(0x3FF));
  return _mm256_xor_si256(_mm256_slli_epi16(values, 6), _mm256_set1_epi16(-32768));
}

template <typename Sample>
CORVALIS_AVX2 void Avx2ChromaTerms(const ChannelRows& terms, const Sample* u, const Sample* v,
                                   int count, const YuvToBgraCoefficients& c) {
  const __m256i blueFromU = _mm256_set1_epi16(c.blueFromU);
  const __m256i greenFromU = _mm256_set1_epi16(c.greenFromU);
  const __m256i greenFromV = _mm256_set1_epi16(c.greenFromV);
  const __m256i redFromV = _mm256_set1_epi16(c.redFromV);
  const __m256i bias = _mm256_set1_epi16(c.lumaBias);
  int j = 0;
  for (; j + 16 <= count; j += 16) {
    const __m256i uValue = Avx2Centred(u + j);
    const __m256i vValue = Avx2Centred(v + j);
    Store256(terms.blue + j, _mm256_add_epi16(_mm256_mulhi_epi16(uValue, blueFromU), bias));
    Store256(terms.green + j,
             _mm256_add_epi16(_mm256_add_epi16(_mm256_mulhi_epi16(uValue, greenFromU), bias),
                              _mm256_mulhi_epi16(vValue, greenFromV)));
    Store256(terms.red + j, _mm256_add_epi16(_mm256_mulhi_epi16(vValue, redFromV), bias));
  }
  if (j == count) return;
  const ChannelRows rest = {terms.blue + j, terms.green + j, terms.red + j};
  Sse2ChromaTerms(rest, u + j, v + j, count - j, c);
}

CORVALIS_AVX2 inline __m256i Avx2Channel(__m256i light, __m256i term) {
  return _mm256_srai_epi16(_mm256_add_epi16(light, term), 5);
}

// Half-width chroma from 8-bit luma. Taken as even and odd pixels, the
// 16-bit lanes of a block hold pixels 2i and 2i + 1 in order across both
// halves of the register, so the terms serve as loaded (even pixels) and
// averaged with their neighbours (odd ones) without being spread out, and
// one more unpack interleaves the two at the end.
CORVALIS_AVX2 void Avx2BgraFromHalfEvenOdd(uint8_t* dest, const uint8_t* luma,
                                           const ChannelRowsView& terms, int count,
                                           const YuvToBgraCoefficients& c) {
  const __m256i scale = _mm256_set1_epi16(c.lumaScale);
  const __m256i opaque = _mm256_set1_epi8(-1);
  const __m256i high = _mm256_set1_epi16(static_cast<int16_t>(0xFF00));
  int x = 0;
  for (; x + 32 <= count; x += 32) {
    const __m256i bytes = Load256(luma + x);
    const __m256i lightEven = _mm256_mulhi_epu16(_mm256_slli_epi16(bytes, 8), scale);
    const __m256i lightOdd = _mm256_mulhi_epu16(_mm256_and_si256(bytes, high), scale);
    __m256i packed[3];
    const int16_t* const rows[3] = {terms.blue, terms.green, terms.red};
    for (int k = 0; k < 3; ++k) {
      const __m256i even = Load256(rows[k] + x / 2);
      const __m256i odd =
          _mm256_srai_epi16(_mm256_add_epi16(even, Load256(rows[k] + x / 2 + 1)), 1);
      packed[k] = _mm256_packus_epi16(Avx2Channel(lightEven, even), Avx2Channel(lightOdd, odd));
    }
    const __m256i bgEven = _mm256_unpacklo_epi8(packed[0], packed[1]);
    const __m256i bgOdd = _mm256_unpackhi_epi8(packed[0], packed[1]);
    const __m256i raEven = _mm256_unpacklo_epi8(packed[2], opaque);
    const __m256i raOdd = _mm256_unpackhi_epi8(packed[2], opaque);
    const __m256i e0 = _mm256_unpacklo_epi16(bgEven, raEven);
    const __m256i e1 = _mm256_unpackhi_epi16(bgEven, raEven);
    const __m256i o0 = _mm256_unpacklo_epi16(bgOdd, raOdd);
    const __m256i o1 = _mm256_unpackhi_epi16(bgOdd, raOdd);
    const __m256i q0 = _mm256_unpacklo_epi32(e0, o0);  // pixels 0-3 | 16-19
    const __m256i q1 = _mm256_unpackhi_epi32(e0, o0);  // 4-7 | 20-23
    const __m256i q2 = _mm256_unpacklo_epi32(e1, o1);  // 8-11 | 24-27
    const __m256i q3 = _mm256_unpackhi_epi32(e1, o1);  // 12-15 | 28-31
    uint8_t* out = dest + 4 * x;
    Store256(out, _mm256_permute2x128_si256(q0, q1, 0x20));
    Store256(out + 32, _mm256_permute2x128_si256(q2, q3, 0x20));
    Store256(out + 64, _mm256_permute2x128_si256(q0, q1, 0x31));
    Store256(out + 96, _mm256_permute2x128_si256(q2, q3, 0x31));
  }
  if (x == count) return;
  const ChannelRowsView rest = {terms.blue + x / 2, terms.green + x / 2, terms.red + x / 2};
  Sse2BgraFrom<true>(dest + 4 * x, luma + x, rest, count - x, c);
}

template <bool kHalf, typename Sample>
CORVALIS_AVX2 void Avx2BgraFrom(uint8_t* dest, const Sample* luma, const ChannelRowsView& terms,
                                int count, const YuvToBgraCoefficients& c) {
  const __m256i scale = _mm256_set1_epi16(c.lumaScale);
  const __m256i opaque = _mm256_set1_epi8(-1);
  int x = 0;
  for (; x + 32 <= count; x += 32) {
    __m256i y0, y1;
    Avx2Luma(luma + x, y0, y1);
    const __m256i light0 = _mm256_mulhi_epu16(y0, scale);
    const __m256i light1 = _mm256_mulhi_epu16(y1, scale);
    __m256i b0, b1, g0, g1, r0, r1;
    Avx2Terms<kHalf>(terms.blue, x, b0, b1);
    Avx2Terms<kHalf>(terms.green, x, g0, g1);
    Avx2Terms<kHalf>(terms.red, x, r0, r1);
    const __m256i blue = _mm256_packus_epi16(Avx2Channel(light0, b0), Avx2Channel(light1, b1));
    const __m256i green = _mm256_packus_epi16(Avx2Channel(light0, g0), Avx2Channel(light1, g1));
    const __m256i red = _mm256_packus_epi16(Avx2Channel(light0, r0), Avx2Channel(light1, r1));
    const __m256i bgLow = _mm256_unpacklo_epi8(blue, green);
    const __m256i bgHigh = _mm256_unpackhi_epi8(blue, green);
    const __m256i raLow = _mm256_unpacklo_epi8(red, opaque);
    const __m256i raHigh = _mm256_unpackhi_epi8(red, opaque);
    const __m256i p0 = _mm256_unpacklo_epi16(bgLow, raLow);    // pixels 0-3 | 16-19
    const __m256i p1 = _mm256_unpackhi_epi16(bgLow, raLow);    // 4-7 | 20-23
    const __m256i p2 = _mm256_unpacklo_epi16(bgHigh, raHigh);  // 8-11 | 24-27
    const __m256i p3 = _mm256_unpackhi_epi16(bgHigh, raHigh);  // 12-15 | 28-31
    uint8_t* out = dest + 4 * x;
    Store256(out, _mm256_permute2x128_si256(p0, p1, 0x20));
    Store256(out + 32, _mm256_permute2x128_si256(p2, p3, 0x20));
    Store256(out + 64, _mm256_permute2x128_si256(p0, p1, 0x31));
    Store256(out + 96, _mm256_permute2x128_si256(p2, p3, 0x31));
  }
  if (x == count) return;
  const int t = kHalf ? x / 2 : x;
  const ChannelRowsView rest = {terms.blue + t, terms.green + t, terms.red + t};
  Sse2BgraFrom<kHalf>(dest + 4 * x, luma + x, rest, count - x, c);
}

CORVALIS_AVX2 inline void Avx2StoreSamples(uint8_t* luma, __m256i values) {
  const __m256i shifted = _mm256_srai_epi16(values, 5);
  Store128(luma,
           _mm_packus_epi16(_mm256_castsi256_si128(shifted), _mm256_extracti128_si256(shifted, 1)));
}
CORVALIS_AVX2 inline void Avx2StoreSamples(uint16_t* luma, __m256i values) {
  const __m256i shifted = _mm256_srai_epi16(values, 3);
  Store256(luma, _mm256_min_epi16(_mm256_max_epi16(shifted, _mm256_setzero_si256()),
                                  _mm256_set1_epi16(0x3FF)));
}

CORVALIS_AVX2 inline void Avx2AddSums(int16_t* sums, __m256i channel, __m256i weight,
                                      bool accumulate) {
  __m256i weighted = _mm256_mullo_epi16(channel, weight);
  if (accumulate) weighted = _mm256_add_epi16(weighted, Load256(sums));
  Store256(sums, weighted);
}

// One channel of 16 pixels as 16-bit lanes in pixel order: the pack works
// within halves, giving pixels 0-3, 8-11, 4-7, 12-15, which the permute sorts.
template <int kShift>
CORVALIS_AVX2 inline __m256i Avx2ChannelOf(__m256i p0, __m256i p1) {
  const __m256i mask = _mm256_set1_epi32(0xFF);
  const __m256i packed = _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(p0, kShift), mask),
                                            _mm256_and_si256(_mm256_srli_epi32(p1, kShift), mask));
  return _mm256_permute4x64_epi64(packed, 0xD8);
}

template <typename Sample>
CORVALIS_AVX2 void Avx2LumaAndSums(Sample* luma, const ChannelRows& sums, const uint8_t* bgra,
                                   int count, const BgraToYuvCoefficients& c, int weight,
                                   bool accumulate) {
  const __m256i fromBlue = _mm256_set1_epi16(c.lumaFromBlue);
  const __m256i fromGreen = _mm256_set1_epi16(c.lumaFromGreen);
  const __m256i fromRed = _mm256_set1_epi16(c.lumaFromRed);
  const __m256i bias = _mm256_set1_epi16(c.lumaBias);
  const __m256i weights = _mm256_set1_epi16(static_cast<int16_t>(weight));
  int x = 0;
  for (; x + 16 <= count; x += 16) {
    const __m256i p0 = Load256(bgra + 4 * x);
    const __m256i p1 = Load256(bgra + 4 * x + 32);
    const __m256i blue = Avx2ChannelOf<0>(p0, p1);
    const __m256i green = Avx2ChannelOf<8>(p0, p1);
    const __m256i red = Avx2ChannelOf<16>(p0, p1);
    const __m256i light = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mulhi_epi16(_mm256_slli_epi16(blue, 7), fromBlue),
                         _mm256_mulhi_epi16(_mm256_slli_epi16(green, 7), fromGreen)),
        _mm256_add_epi16(_mm256_mulhi_epi16(_mm256_slli_epi16(red, 7), fromRed), bias));
    Avx2StoreSamples(luma + x, light);
    Avx2AddSums(sums.blue + x, blue, weights, accumulate);
    Avx2AddSums(sums.green + x, green, weights, accumulate);
    Avx2AddSums(sums.red + x, red, weights, accumulate);
  }
  if (x == count) return;
  const ChannelRows rest = {sums.blue + x, sums.green + x, sums.red + x};
  Sse2LumaAndSums(luma + x, rest, bgra + 4 * x, count - x, c, weight, accumulate);
}

// As Sse2Evens and Sse2Odds on 16 lanes; the permute puts the halves the
// pack interleaves back in order.
CORVALIS_AVX2 inline __m256i Avx2Evens(__m256i a, __m256i b) {
  const __m256i mask = _mm256_set1_epi32(0xFFFF);
  return _mm256_permute4x64_epi64(
      _mm256_packs_epi32(_mm256_and_si256(a, mask), _mm256_and_si256(b, mask)), 0xD8);
}
CORVALIS_AVX2 inline __m256i Avx2Odds(__m256i a, __m256i b) {
  return _mm256_permute4x64_epi64(
      _mm256_packs_epi32(_mm256_srli_epi32(a, 16), _mm256_srli_epi32(b, 16)), 0xD8);
}

CORVALIS_AVX2 void Avx2FilterHalfSums(const ChannelRows& filtered, const ChannelRowsView& sums,
                                      int count, int scale) {
  const int16_t* const in[3] = {sums.blue, sums.green, sums.red};
  int16_t* const out[3] = {filtered.blue, filtered.green, filtered.red};
  const __m256i scales = _mm256_set1_epi16(static_cast<int16_t>(scale));
  int j = 0;
  for (; j + 16 <= count; j += 16) {
    for (int k = 0; k < 3; ++k) {
      const int16_t* base = in[k] + 2 * j;
      const __m256i here = Load256(base);
      const __m256i further = Load256(base + 16);
      const __m256i left = Avx2Evens(Load256(base - 1), Load256(base + 15));
      const __m256i centre = Avx2Evens(here, further);
      const __m256i right = Avx2Odds(here, further);
      const __m256i sum =
          _mm256_add_epi16(_mm256_add_epi16(left, right), _mm256_slli_epi16(centre, 1));
      Store256(out[k] + j, _mm256_mullo_epi16(sum, scales));
    }
  }
  if (j == count) return;
  Sse2FilterHalfSums({out[0] + j, out[1] + j, out[2] + j},
                     {in[0] + 2 * j, in[1] + 2 * j, in[2] + 2 * j}, count - j, scale);
}

template <typename Sample>
CORVALIS_AVX2 void Avx2ChromaFromFiltered(Sample* u, Sample* v, const ChannelRowsView& filtered,
                                          int count, const BgraToYuvCoefficients& c) {
  const __m256i bias = _mm256_set1_epi16(c.chromaBias);
  const __m256i uFromBlue = _mm256_set1_epi16(c.uFromBlue);
  const __m256i uFromGreen = _mm256_set1_epi16(c.uFromGreen);
  const __m256i uFromRed = _mm256_set1_epi16(c.uFromRed);
  const __m256i vFromBlue = _mm256_set1_epi16(c.vFromBlue);
  const __m256i vFromGreen = _mm256_set1_epi16(c.vFromGreen);
  const __m256i vFromRed = _mm256_set1_epi16(c.vFromRed);
  int j = 0;
  for (; j + 16 <= count; j += 16) {
    const __m256i blue = Load256(filtered.blue + j);
    const __m256i green = Load256(filtered.green + j);
    const __m256i red = Load256(filtered.red + j);
    Avx2StoreSamples(u + j,
                     _mm256_add_epi16(_mm256_add_epi16(_mm256_mulhi_epi16(blue, uFromBlue),
                                                       _mm256_mulhi_epi16(green, uFromGreen)),
                                      _mm256_add_epi16(_mm256_mulhi_epi16(red, uFromRed), bias)));
    Avx2StoreSamples(v + j,
                     _mm256_add_epi16(_mm256_add_epi16(_mm256_mulhi_epi16(blue, vFromBlue),
                                                       _mm256_mulhi_epi16(green, vFromGreen)),
                                      _mm256_add_epi16(_mm256_mulhi_epi16(red, vFromRed), bias)));
  }
  if (j == count) return;
  const ChannelRowsView rest = {filtered.blue + j, filtered.green + j, filtered.red + j};
  Sse2ChromaFromFiltered(u + j, v + j, rest, count - j, c);
}

}  // namespace

const YuvKernels* Sse2YuvKernels() {
  static const YuvKernels kernels = {
      "sse2",
      Sse2ChromaTerms<uint8_t>,
      Sse2ChromaTerms<uint16_t>,
      Sse2BgraFrom<false, uint8_t>,
      Sse2BgraFrom<true, uint8_t>,
      Sse2BgraFrom<false, uint16_t>,
      Sse2BgraFrom<true, uint16_t>,
      Sse2LumaAndSums<uint8_t>,
      Sse2LumaAndSums<uint16_t>,
      Sse2FilterHalfSums,
      Sse2ChromaFromFiltered<uint8_t>,
      Sse2ChromaFromFiltered<uint16_t>,
  };
  return __builtin_cpu_supports("sse2") ? &kernels : nullptr;
}

const YuvKernels* Avx2YuvKernels() {
  static const YuvKernels kernels = {
      "avx2",
      Avx2ChromaTerms<uint8_t>,
      Avx2ChromaTerms<uint16_t>,
      Avx2BgraFrom<false, uint8_t>,
      Avx2BgraFromHalfEvenOdd,
      Avx2BgraFrom<false, uint16_t>,
      Avx2BgraFrom<true, uint16_t>,
      Avx2LumaAndSums<uint8_t>,
      Avx2LumaAndSums<uint16_t>,
      Avx2FilterHalfSums,
      Avx2ChromaFromFiltered<uint8_t>,
      Avx2ChromaFromFiltered<uint16_t>,
  };
  return __builtin_cpu_supports("avx2") ? &kernels : nullptr;
}

}  // namespace cli

#else  // not x86: the plain kernels alone

namespace cli {
const YuvKernels* Sse2YuvKernels() { return nullptr; }
const YuvKernels* Avx2YuvKernels() { return nullptr; }
}  // namespace cli

#endif
