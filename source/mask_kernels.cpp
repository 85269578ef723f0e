#include "source/mask_kernels.h"

#include <algorithm>
#include <cstring>

#include "source/avx2_support.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(CORVALIS_AVX2_LOOPS)
#include <immintrin.h>
#endif

namespace maskrows {

namespace {

#if defined(__SSE2__)
constexpr int32_t kBlock = 16;  // mask bytes per vector

__m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
__m128i Load(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
void Store(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The three values of each column sorted: low, middle, high.
void SortColumns(__m128i a, __m128i b, __m128i c, __m128i& low, __m128i& middle, __m128i& high) {
  const __m128i smaller = _mm_min_epu8(a, b);
  const __m128i larger = _mm_max_epu8(a, b);
  const __m128i rest = _mm_max_epu8(smaller, c);
  low = _mm_min_epu8(smaller, c);
  middle = _mm_min_epu8(larger, rest);
  high = _mm_max_epu8(larger, rest);
}

__m128i MedianOfThree(__m128i a, __m128i b, __m128i c) {
  return _mm_max_epu8(_mm_min_epu8(a, b), _mm_min_epu8(_mm_max_epu8(a, b), c));
}

// BlendByMask on four pixels. The mixing formula gives the neighbour's bytes
// at weight 0 and the current field's at 255, so only the fourth byte needs
// the two copying cases.
void BlendFour(const uint8_t* c, const uint8_t* n, const uint8_t* m, uint8_t* o) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi16(255);
  const __m128i divide255 = _mm_set1_epi16(-32639);  // 32897 as unsigned
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  auto mix = [&](__m128i cw, __m128i nw, __m128i mw) {
    const __m128i sum =
        _mm_add_epi16(_mm_mullo_epi16(cw, mw), _mm_mullo_epi16(nw, _mm_sub_epi16(full, mw)));
    // floor(sum / 255) = sum × 32897 >> 23 for every 16-bit sum.
    return _mm_srli_epi16(_mm_mulhi_epu16(sum, divide255), 7);
  };
  int32_t weights;
  std::memcpy(&weights, m, 4);
  const __m128i packed = _mm_cvtsi32_si128(weights);
  const __m128i pairs = _mm_unpacklo_epi8(packed, packed);
  const __m128i perByte = _mm_unpacklo_epi16(pairs, pairs);  // each weight in its pixel's 4 bytes
  const __m128i pc = Load(c);
  const __m128i pn = Load(n);
  const __m128i mixed =
      _mm_packus_epi16(mix(_mm_unpacklo_epi8(pc, zero), _mm_unpacklo_epi8(pn, zero),
                           _mm_unpacklo_epi8(perByte, zero)),
                       mix(_mm_unpackhi_epi8(pc, zero), _mm_unpackhi_epi8(pn, zero),
                           _mm_unpackhi_epi8(perByte, zero)));
  const __m128i still = _mm_cmpeq_epi8(perByte, zero);
  const __m128i fourth = _mm_or_si128(_mm_and_si128(still, pn), _mm_andnot_si128(still, pc));
  Store(o, _mm_or_si128(_mm_and_si128(mixed, colour), _mm_andnot_si128(colour, fourth)));
}
#endif

uint8_t MedianOfThree(uint8_t a, uint8_t b, uint8_t c) {
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

#if defined(CORVALIS_AVX2_LOOPS)
// The 32-byte forms of the loops below: the same formulas, 32 values (or 16
// sums) at a time. Each starts at x, stops where fewer than a vector's worth
// remain, and returns where it stopped.
namespace avx2 {

CORVALIS_AVX2 inline __m256i Load(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
CORVALIS_AVX2 inline __m256i Load(const uint16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
CORVALIS_AVX2 inline __m256i Widen(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
CORVALIS_AVX2 inline void Store(uint8_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
CORVALIS_AVX2 inline void Store(uint16_t* p, __m256i v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}
CORVALIS_AVX2 inline __m256i MedianOfThree(__m256i a, __m256i b, __m256i c) {
  return _mm256_max_epu8(_mm256_min_epu8(a, b), _mm256_min_epu8(_mm256_max_epu8(a, b), c));
}

CORVALIS_AVX2 int32_t MedianRow(const uint8_t* above, const uint8_t* row, const uint8_t* below,
                                uint8_t* out, int32_t x, int32_t end) {
  const int32_t start = x;
  for (; x < end && end - start >= 32; x += 32) {
    const int32_t at = std::min(x, end - 32);  // see the 16-byte loop
    __m256i low[3], middle[3], high[3];
    for (int32_t k = 0; k < 3; ++k) {
      const __m256i a = Load(above + at - 1 + k);
      const __m256i b = Load(row + at - 1 + k);
      const __m256i c = Load(below + at - 1 + k);
      const __m256i smaller = _mm256_min_epu8(a, b);
      const __m256i larger = _mm256_max_epu8(a, b);
      const __m256i rest = _mm256_max_epu8(smaller, c);
      low[k] = _mm256_min_epu8(smaller, c);
      middle[k] = _mm256_min_epu8(larger, rest);
      high[k] = _mm256_max_epu8(larger, rest);
    }
    const __m256i largestLow = _mm256_max_epu8(_mm256_max_epu8(low[0], low[1]), low[2]);
    const __m256i smallestHigh = _mm256_min_epu8(_mm256_min_epu8(high[0], high[1]), high[2]);
    Store(out + at,
          MedianOfThree(largestLow, MedianOfThree(middle[0], middle[1], middle[2]), smallestHigh));
  }
  return x;
}

CORVALIS_AVX2 int32_t MaxOfRows(const uint8_t* const* rows, int32_t count, int32_t x, int32_t to,
                                uint8_t* out) {
  const __m256i full = _mm256_set1_epi8(-1);
  for (; x + 32 <= to; x += 32) {
    __m256i largest = Load(rows[0] + x);
    // 255 in the first row is the largest already (inside a moving area).
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(largest, full)) != -1) {
      for (int32_t k = 1; k < count; ++k) largest = _mm256_max_epu8(largest, Load(rows[k] + x));
    }
    Store(out + x, largest);
  }
  return x;
}

CORVALIS_AVX2 int32_t MaxWithShifted(const uint8_t* values, int32_t count, int32_t offset,
                                     uint8_t* out) {
  int32_t x = 0;
  for (; x + 32 <= count; x += 32) {
    Store(out + x, _mm256_max_epu8(Load(values + x), Load(values + x + offset)));
  }
  return x;
}

CORVALIS_AVX2 int32_t AddShifted(const uint16_t* values, int32_t count, const uint16_t* shifted,
                                 uint16_t* out) {
  int32_t x = 0;
  for (; x + 16 <= count; x += 16) {
    Store(out + x, _mm256_add_epi16(Load(values + x), Load(shifted + x)));
  }
  return x;
}

CORVALIS_AVX2 int32_t WidenRow(const uint8_t* values, int32_t count, uint16_t* out) {
  int32_t x = 0;
  for (; x + 16 <= count; x += 16) Store(out + x, Widen(values + x));
  return x;
}

CORVALIS_AVX2 inline void SlideSixteen(uint16_t* sums, const uint8_t* entering,
                                       const uint8_t* leaving) {
  Store(sums, _mm256_sub_epi16(_mm256_add_epi16(Load(sums), Widen(entering)), Widen(leaving)));
}

CORVALIS_AVX2 int32_t SlideSums(uint16_t* sums, const uint8_t* entering, const uint8_t* leaving,
                                int32_t width) {
  int32_t x = 0;
  // Where the entering row equals the leaving one (inside a moving area, or
  // outside every one) the sums stay as they are.
  for (; x + 32 <= width; x += 32) {
    const __m256i in = Load(entering + x);
    const __m256i out = Load(leaving + x);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(in, out)) == -1) continue;
    SlideSixteen(sums + x, entering + x, leaving + x);
    SlideSixteen(sums + x + 16, entering + x + 16, leaving + x + 16);
  }
  for (; x + 16 <= width; x += 16) SlideSixteen(sums + x, entering + x, leaving + x);
  return x;
}

CORVALIS_AVX2 int32_t Divide(const uint16_t* sums, uint8_t* out, int32_t count, uint32_t multiplier,
                             int32_t shift) {
  const __m256i factor = _mm256_set1_epi16(static_cast<int16_t>(static_cast<uint16_t>(multiplier)));
  const __m128i bits = _mm_cvtsi32_si128(shift);
  int32_t x = 0;
  for (; x + 32 <= count; x += 32) {
    const __m256i low = _mm256_srl_epi16(_mm256_mulhi_epu16(Load(sums + x), factor), bits);
    const __m256i high = _mm256_srl_epi16(_mm256_mulhi_epu16(Load(sums + x + 16), factor), bits);
    // The pack works within 16-byte halves; the permutation restores the order.
    Store(out + x, _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8));
  }
  return x;
}

// The filters across a row for windows of up to 33 values, 32 results at a
// time straight from the window's values (the last block moved back to end
// where the row ends: out is not the input, so it makes the same values
// again). A block whose whole window is 255 or 0 (inside a moving area,
// or outside every one) gives that value without the arithmetic. Each
// returns how many results it made: all of them, or none where the row is
// shorter than a block.
constexpr int32_t kLargestDirectWindow = 33;

// Where all of padded[at … at + 31 + window − 1] is 255 or all is 0: the two
// loads cover it when window ≤ 33.
CORVALIS_AVX2 inline bool Uniform(const uint8_t* p, int32_t window, __m256i& value) {
  const __m256i first = Load(p);
  const __m256i last = Load(p + window - 1);
  const __m256i least = _mm256_min_epu8(first, last);
  if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(least, _mm256_set1_epi8(-1))) == -1) {
    value = least;
    return true;
  }
  const __m256i most = _mm256_max_epu8(first, last);
  if (_mm256_testz_si256(most, most) != 0) {
    value = most;
    return true;
  }
  return false;
}

CORVALIS_AVX2 int32_t MaxAlongRow(const uint8_t* padded, int32_t width, int32_t window,
                                  uint8_t* out) {
  if (width < 32 || window > kLargestDirectWindow) return 0;
  for (int32_t x = 0; x < width; x += 32) {
    const int32_t at = std::min(x, width - 32);
    const uint8_t* p = padded + at;
    __m256i largest;
    if (!Uniform(p, window, largest)) {
      largest = Load(p);
      for (int32_t k = 1; k < window; ++k) largest = _mm256_max_epu8(largest, Load(p + k));
    }
    Store(out + at, largest);
  }
  return width;
}

CORVALIS_AVX2 int32_t AverageAlongRow(const uint8_t* padded, int32_t width, int32_t window,
                                      uint32_t multiplier, int32_t shift, uint8_t* out) {
  if (width < 32 || window > kLargestDirectWindow || multiplier == 0) return 0;
  const __m256i factor = _mm256_set1_epi16(static_cast<int16_t>(static_cast<uint16_t>(multiplier)));
  const __m128i bits = _mm_cvtsi32_si128(shift);
  for (int32_t x = 0; x < width; x += 32) {
    const int32_t at = std::min(x, width - 32);
    const uint8_t* p = padded + at;
    __m256i average;
    if (!Uniform(p, window, average)) {
      // At most 33 × 255 per sum: 16 bits hold it.
      __m256i low = Widen(p);
      __m256i high = Widen(p + 16);
      for (int32_t k = 1; k < window; ++k) {
        low = _mm256_add_epi16(low, Widen(p + k));
        high = _mm256_add_epi16(high, Widen(p + 16 + k));
      }
      low = _mm256_srl_epi16(_mm256_mulhi_epu16(low, factor), bits);
      high = _mm256_srl_epi16(_mm256_mulhi_epu16(high, factor), bits);
      average = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
    }
    Store(out + at, average);
  }
  return width;
}

// Skips 32-value blocks of 0 from the front (FirstNonZero) or the back
// (EndOfNonZero) of values[begin … end − 1].
CORVALIS_AVX2 inline bool AllZero(const uint8_t* p) {
  const __m256i v = Load(p);
  return _mm256_testz_si256(v, v) != 0;
}
CORVALIS_AVX2 int32_t FirstNonZero(const uint8_t* values, int32_t begin, int32_t end) {
  while (begin + 32 <= end && AllZero(values + begin)) begin += 32;
  return begin;
}
CORVALIS_AVX2 int32_t EndOfNonZero(const uint8_t* values, int32_t begin, int32_t end) {
  while (end - 32 >= begin && AllZero(values + end - 32)) end -= 32;
  return end;
}

// BlendFour for eight pixels.
CORVALIS_AVX2 inline __m256i MixBytes(__m256i cw, __m256i nw, __m256i mw) {
  const __m256i sum =
      _mm256_add_epi16(_mm256_mullo_epi16(cw, mw),
                       _mm256_mullo_epi16(nw, _mm256_sub_epi16(_mm256_set1_epi16(255), mw)));
  // floor(sum / 255) = sum × 32897 >> 23 for every 16-bit sum.
  return _mm256_srli_epi16(_mm256_mulhi_epu16(sum, _mm256_set1_epi16(-32639) /* 32897 */), 7);
}

CORVALIS_AVX2 inline void BlendEight(const uint8_t* c, const uint8_t* n, const uint8_t* m,
                                     uint8_t* o) {
  const __m256i zero = _mm256_setzero_si256();
  // Each pixel's weight in its four bytes (the shuffle works within each
  // 16-byte half, and each half holds all eight weights).
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4,
                                          4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7);
  int64_t weights;
  std::memcpy(&weights, m, 8);
  const __m256i perByte = _mm256_shuffle_epi8(_mm256_set1_epi64x(weights), spread);
  const __m256i pc = Load(c);
  const __m256i pn = Load(n);
  const __m256i mixed =
      _mm256_packus_epi16(MixBytes(_mm256_unpacklo_epi8(pc, zero), _mm256_unpacklo_epi8(pn, zero),
                                   _mm256_unpacklo_epi8(perByte, zero)),
                          MixBytes(_mm256_unpackhi_epi8(pc, zero), _mm256_unpackhi_epi8(pn, zero),
                                   _mm256_unpackhi_epi8(perByte, zero)));
  const __m256i fourth = _mm256_blendv_epi8(pc, pn, _mm256_cmpeq_epi8(perByte, zero));
  Store(o, _mm256_blendv_epi8(mixed, fourth, _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u))));
}

CORVALIS_AVX2 int32_t BlendPixels(const uint8_t* c, const uint8_t* n, const uint8_t* m, uint8_t* o,
                                  int32_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i full = _mm256_set1_epi8(static_cast<char>(0xFF));
  int32_t x = 0;
  for (; x + 32 <= count; x += 32, c += 128, n += 128, o += 128) {
    const __m256i weights = Load(m + x);
    const auto still =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(weights, zero)));
    const auto moving =
        static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(weights, full)));
    if (still == 0xFFFFFFFFu) {
      if (o != n) std::memcpy(o, n, 128);
    } else if (moving == 0xFFFFFFFFu) {
      if (o != c) std::memcpy(o, c, 128);
    } else {
      for (int32_t k = 0; k < 4; ++k) BlendEight(c + 32 * k, n + 32 * k, m + x + 8 * k, o + 32 * k);
    }
  }
  return x;
}

}  // namespace avx2
#endif

}  // namespace

WindowDivider::WindowDivider(int32_t window) : window_(window) {
  const uint32_t largestSum = 255u * static_cast<uint32_t>(window);
  if (window < 1 || largestSum > 0xFFFF) return;
  // With m = ceil(2^k / window) = (2^k + e) / window, sum × m / 2^k is
  // sum / window + sum × e / (window × 2^k); its floor is floor(sum / window)
  // for every sum up to the largest when largest × e < 2^k, as the remainder
  // of sum / window is at most window − 1.
  for (int32_t shift = 0; shift < 16 && multiplier_ == 0; ++shift) {
    const uint64_t power = uint64_t{1} << (16 + shift);
    const uint64_t candidate = (power + static_cast<uint64_t>(window) - 1) / window;
    if (candidate > 0xFFFF) break;
    const uint64_t excess = candidate * static_cast<uint64_t>(window) - power;
    if (largestSum * excess < power) {
      multiplier_ = static_cast<uint32_t>(candidate);
      shift_ = shift;
    }
  }
}

void WindowDivider::Divide(const uint16_t* sums, uint8_t* out, int32_t count) const {
  int32_t x = 0;
  if (multiplier_ != 0) {
#if defined(CORVALIS_AVX2_LOOPS)
    if (UsesAvx2()) x = avx2::Divide(sums, out, count, multiplier_, shift_);
#endif
#if defined(__SSE2__)
    const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(static_cast<uint16_t>(multiplier_)));
    const __m128i shift = _mm_cvtsi32_si128(shift_);
    for (; x + kBlock <= count; x += kBlock) {
      const __m128i low = _mm_srl_epi16(_mm_mulhi_epu16(Load(sums + x), factor), shift);
      const __m128i high = _mm_srl_epi16(_mm_mulhi_epu16(Load(sums + x + 8), factor), shift);
      Store(out + x, _mm_packus_epi16(low, high));
    }
#endif
    for (; x < count; ++x) out[x] = static_cast<uint8_t>((sums[x] * multiplier_) >> (16 + shift_));
    return;
  }
  for (; x < count; ++x) out[x] = static_cast<uint8_t>(sums[x] / window_);
}

void WindowDivider::AverageAlongRow(const uint8_t* padded, int32_t width, uint16_t* work,
                                    uint16_t* sums, uint8_t* out) const {
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2() && avx2::AverageAlongRow(padded, width, window_, multiplier_, shift_, out) != 0) {
    return;
  }
#endif
  SumAlongRow(padded, width, window_, work, sums);
  Divide(sums, out, width);
}

void MedianRow(const uint8_t* above, const uint8_t* row, const uint8_t* below, uint8_t* out,
               int32_t width, int32_t from, int32_t to) {
  from = std::max(from, 0);
  to = std::min(to, width);
  if (from >= to) return;
  // Sorting each column of three first, the median of nine is the median of
  // the largest low, the middle middle and the smallest high of the three
  // columns: the exchange network of the 3×3 median in another order.
  if (from == 0) out[0] = row[0];
  if (to == width) out[width - 1] = row[width - 1];
  int32_t x = std::max(from, 1);
  const int32_t end = std::min(to, width - 1);
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) x = avx2::MedianRow(above, row, below, out, x, end);
#endif
#if defined(__SSE2__)
  // The last block is moved back to end where the row ends, overlapping the
  // one before: out is none of the rows read, so it makes the same values
  // again instead of leaving a tail to the plain loop.
  const int32_t start = x;
  for (; x < end && end - start >= kBlock; x += kBlock) {
    const int32_t at = std::min(x, end - kBlock);
    __m128i low[3], middle[3], high[3];
    for (int32_t k = 0; k < 3; ++k) {
      SortColumns(Load(above + at - 1 + k), Load(row + at - 1 + k), Load(below + at - 1 + k),
                  low[k], middle[k], high[k]);
    }
    const __m128i largestLow = _mm_max_epu8(_mm_max_epu8(low[0], low[1]), low[2]);
    const __m128i smallestHigh = _mm_min_epu8(_mm_min_epu8(high[0], high[1]), high[2]);
    Store(out + at,
          MedianOfThree(largestLow, MedianOfThree(middle[0], middle[1], middle[2]), smallestHigh));
  }
#endif
  for (; x < end; ++x) {
    uint8_t low[3], middle[3], high[3];
    for (int32_t k = 0; k < 3; ++k) {
      const uint8_t a = above[x - 1 + k];
      const uint8_t b = row[x - 1 + k];
      const uint8_t c = below[x - 1 + k];
      low[k] = std::min({a, b, c});
      middle[k] = MedianOfThree(a, b, c);
      high[k] = std::max({a, b, c});
    }
    out[x] = MedianOfThree(std::max({low[0], low[1], low[2]}),
                           MedianOfThree(middle[0], middle[1], middle[2]),
                           std::min({high[0], high[1], high[2]}));
  }
}

Extent NonZeroExtent(const uint8_t* values, int32_t from, int32_t to) {
  int32_t begin = from;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) begin = avx2::FirstNonZero(values, begin, to);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  while (begin + kBlock <= to &&
         _mm_movemask_epi8(_mm_cmpeq_epi8(Load(values + begin), zero)) == 0xFFFF) {
    begin += kBlock;
  }
#endif
  while (begin < to && values[begin] == 0) ++begin;
  if (begin == to) return Extent{};
  int32_t end = to;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) end = avx2::EndOfNonZero(values, begin, end);
#endif
#if defined(__SSE2__)
  while (end - kBlock >= begin &&
         _mm_movemask_epi8(_mm_cmpeq_epi8(Load(values + end - kBlock), zero)) == 0xFFFF) {
    end -= kBlock;
  }
#endif
  while (values[end - 1] == 0) --end;
  return Extent{begin, end};
}

void MaxOfRows(const uint8_t* const* rows, int32_t count, int32_t from, int32_t to, uint8_t* out) {
  if (count <= 0) return;
  int32_t x = from;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) x = avx2::MaxOfRows(rows, count, x, to, out);
#endif
#if defined(__SSE2__)
  for (; x + kBlock <= to; x += kBlock) {
    __m128i largest = Load(rows[0] + x);
    for (int32_t k = 1; k < count; ++k) largest = _mm_max_epu8(largest, Load(rows[k] + x));
    Store(out + x, largest);
  }
#endif
  for (; x < to; ++x) {
    uint8_t largest = rows[0][x];
    for (int32_t k = 1; k < count; ++k) largest = std::max(largest, rows[k][x]);
    out[x] = largest;
  }
}

namespace {

// values[x] = max(values[x], values[x + offset]) for x < count, in rising x,
// so that every value read is still the one before the step.
void MaxWithShifted(uint8_t* values, int32_t count, int32_t offset, uint8_t* out) {
  int32_t x = 0;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) x = avx2::MaxWithShifted(values, count, offset, out);
#endif
#if defined(__SSE2__)
  for (; x + kBlock <= count; x += kBlock) {
    Store(out + x, _mm_max_epu8(Load(values + x), Load(values + x + offset)));
  }
#endif
  for (; x < count; ++x) out[x] = std::max(values[x], values[x + offset]);
}

void AddShifted(uint16_t* values, int32_t count, const uint16_t* shifted, uint16_t* out) {
  int32_t x = 0;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) x = avx2::AddShifted(values, count, shifted, out);
#endif
#if defined(__SSE2__)
  for (; x + 8 <= count; x += 8) Store(out + x, _mm_add_epi16(Load(values + x), Load(shifted + x)));
#endif
  for (; x < count; ++x) out[x] = static_cast<uint16_t>(values[x] + shifted[x]);
}

}  // namespace

void MaxAlongRow(uint8_t* padded, int32_t width, int32_t reach, uint8_t* out) {
  if (width <= 0) return;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2() && avx2::MaxAlongRow(padded, width, 2 * reach + 1, out) != 0) return;
#endif
  // Doubling windows (2, 4, 8, …) in place, then two overlapping windows of
  // the largest power of two cover the whole window.
  const int32_t window = 2 * reach + 1;
  const int32_t length = width + window - 1;
  int32_t span = 1;
  for (; 2 * span <= window; span *= 2) {
    MaxWithShifted(padded, length - 2 * span + 1, span, padded);
  }
  MaxWithShifted(padded, width, window - span, out);
}

void SumAlongRow(const uint8_t* padded, int32_t width, int32_t window, uint16_t* work,
                 uint16_t* sums) {
  if (width <= 0 || window < 1) return;
  // work holds sums of windows of 1, 2, 4, … values in turn (doubling in
  // place); each power of two in the window's binary form adds its sums at
  // the offset where the powers before it end.
  const int32_t length = width + window - 1;
  int32_t x = 0;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) x = avx2::WidenRow(padded, length, work);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; x + kBlock <= length; x += kBlock) {
    const __m128i values = Load(padded + x);
    Store(work + x, _mm_unpacklo_epi8(values, zero));
    Store(work + x + 8, _mm_unpackhi_epi8(values, zero));
  }
#endif
  for (; x < length; ++x) work[x] = padded[x];
  bool first = true;
  int32_t offset = 0;
  for (int32_t span = 1; span <= window; span *= 2) {
    if ((window & span) != 0) {
      if (first) {
        std::memcpy(sums, work + offset, static_cast<size_t>(width) * sizeof(uint16_t));
      } else {
        AddShifted(sums, width, work + offset, sums);
      }
      first = false;
      offset += span;
    }
    if (2 * span <= window) AddShifted(work, length - 2 * span + 1, work + span, work);
  }
}

void SlideSums(uint16_t* sums, const uint8_t* entering, const uint8_t* leaving, int32_t width) {
  int32_t x = 0;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) x = avx2::SlideSums(sums, entering, leaving, width);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; x + kBlock <= width; x += kBlock) {
    const __m128i in = Load(entering + x);
    const __m128i out = Load(leaving + x);
    Store(sums + x, _mm_sub_epi16(_mm_add_epi16(Load(sums + x), _mm_unpacklo_epi8(in, zero)),
                                  _mm_unpacklo_epi8(out, zero)));
    Store(sums + x + 8,
          _mm_sub_epi16(_mm_add_epi16(Load(sums + x + 8), _mm_unpackhi_epi8(in, zero)),
                        _mm_unpackhi_epi8(out, zero)));
  }
#endif
  for (; x < width; ++x) sums[x] = static_cast<uint16_t>(sums[x] + entering[x] - leaving[x]);
}

void BlendPixels(const uint8_t* c, const uint8_t* n, const uint8_t* m, uint8_t* o, int32_t count) {
  int32_t x = 0;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) {
    x = avx2::BlendPixels(c, n, m, o, count);
    c += 4 * x;
    n += 4 * x;
    o += 4 * x;
  }
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i full = _mm_set1_epi8(static_cast<char>(0xFF));
  // Masks of real footage are mostly long runs of still or of moving
  // pixels: sixteen pixels of one kind are copied whole from their field.
  for (; x + 16 <= count; x += 16, c += 64, n += 64, o += 64) {
    const __m128i weights = Load(m + x);
    const int still = _mm_movemask_epi8(_mm_cmpeq_epi8(weights, zero));
    const int moving = _mm_movemask_epi8(_mm_cmpeq_epi8(weights, full));
    if (still == 0xFFFF) {
      if (o != n) std::memcpy(o, n, 64);
    } else if (moving == 0xFFFF) {
      if (o != c) std::memcpy(o, c, 64);  // in place, the pixels are there already
    } else {
      for (int32_t k = 0; k < 4; ++k) BlendFour(c + 16 * k, n + 16 * k, m + x + 4 * k, o + 16 * k);
    }
  }
  for (; x + 4 <= count; x += 4, c += 16, n += 16, o += 16) BlendFour(c, n, m + x, o);
#endif
  for (; x < count; ++x, c += 4, n += 4, o += 4) {
    const int32_t weight = m[x];
    if (weight == 0) {
      if (o != n) std::memcpy(o, n, 4);
    } else if (weight == 255) {
      if (o != c) std::memcpy(o, c, 4);
    } else {
      o[0] = static_cast<uint8_t>((c[0] * weight + n[0] * (255 - weight)) / 255);
      o[1] = static_cast<uint8_t>((c[1] * weight + n[1] * (255 - weight)) / 255);
      o[2] = static_cast<uint8_t>((c[2] * weight + n[2] * (255 - weight)) / 255);
      // The fourth byte of a mixed pixel is the current field's, so that
      // no byte of the new buffer is left unwritten.
      o[3] = c[3];
    }
  }
}

void BlendMaskRow(const FrameBuffer& current, const FrameBuffer& neighbour, const FrameBuffer& mask,
                  FrameBuffer& out, int32_t y) {
  // Pixels the neighbour or the mask does not reach (the extra row of the
  // taller field of an odd-height frame) keep the current field's.
  const int32_t blended = BlendedColumns(current, neighbour, mask, y);
  const uint8_t* c = current.Row(y);
  uint8_t* o = out.Row(y);
  if (blended < current.width && o != c) {
    std::memcpy(o + 4 * static_cast<size_t>(blended), c + 4 * static_cast<size_t>(blended),
                4 * static_cast<size_t>(current.width - blended));
  }
  if (blended > 0) BlendPixels(c, neighbour.Row(y), mask.Row(y), o, blended);
}

int32_t BlendedColumns(const FrameBuffer& current, const FrameBuffer& neighbour,
                       const FrameBuffer& mask, int32_t y) {
  if (neighbour.data == nullptr || mask.data == nullptr) return 0;
  if (y >= std::min({current.height, neighbour.height, mask.height})) return 0;
  return std::min({current.width, neighbour.width, mask.width});
}

}  // namespace maskrows
