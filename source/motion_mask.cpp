#include "source/motion_mask.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "source/mask_kernels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "source/avx2_support.h"
#if defined(CORVALIS_AVX2_LOOPS)
#include <immintrin.h>
#endif

// The pixel loops below that take 4-byte pixels have an SSE2 block loop
// ahead of the plain per-pixel loop, which finishes each row and is the whole
// loop where SSE2 is missing; both compute the same integer formulas. The
// mask-only loops are written so that the compiler vectorises them.

namespace {

constexpr int32_t kMovingAbove = 127;
constexpr int32_t kGiveUpPercent = 30;

#if defined(__SSE2__)
__m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// The largest channel difference (bytes 0..2) of four pixels of a and b, in
// byte 0 of each 32-bit lane, the other bytes 0. Two steps of the maximum
// with the next byte bring bytes 0..2 together in byte 0 without byte 3.
__m128i LargestDifference(const uint8_t* a, const uint8_t* b) {
  const __m128i pa = Load(a);
  const __m128i pb = Load(b);
  const __m128i difference = _mm_or_si128(_mm_subs_epu8(pa, pb), _mm_subs_epu8(pb, pa));
  const __m128i pairs = _mm_max_epu8(difference, _mm_srli_epi32(difference, 8));
  return _mm_and_si128(_mm_max_epu8(pairs, _mm_srli_epi32(pairs, 8)), _mm_set1_epi32(0xFF));
}

#endif

// The 16-bit multiplier m with table[d] = min(255, 255 × d × m >> 16) for
// every d, or 0 when the nearest one does not give the table (it is then
// looked up pixel by pixel).
uint32_t MotionScale(const uint8_t table[256], int32_t divisor) {
  const uint32_t multiplier =
      (65536 + static_cast<uint32_t>(divisor) - 1) / static_cast<uint32_t>(divisor);
  if (multiplier > 0xFFFF) return 0;
  for (uint32_t d = 0; d < 256; ++d) {
    if (std::min<uint32_t>(255, (255 * d * multiplier) >> 16) != table[d]) return 0;
  }
  return multiplier;
}

inline void Order(uint8_t& a, uint8_t& b) {
  if (a > b) std::swap(a, b);
}

// The median of nine values with a fixed exchange network (19 exchanges).
#if defined(CORVALIS_AVX2_LOOPS)

// The channel differences |a − b| of eight pixels, each byte on its own.
CORVALIS_AVX2 inline __m256i Differences8(const uint8_t* a, const uint8_t* b) {
  const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
  const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
  return _mm256_or_si256(_mm256_subs_epu8(va, vb), _mm256_subs_epu8(vb, va));
}

// The largest channel difference (bytes 0..2) of 32 pixels, one byte each:
// the pixels' bytes are regrouped channel by channel (in each 16-byte half
// of every vector, then across the four vectors), so that two maxima find
// all 32 at once. In each 16-byte half come pixels 0–3, 8–11, 16–19, 24–27
// (first half) and 4–7, 12–15, 20–23, 28–31 (second half) of the 32.
CORVALIS_AVX2 inline __m256i LargestDifferences32(const uint8_t* a, const uint8_t* b) {
  const __m256i byChannel = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15,
                                             0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
  const __m256i s0 = _mm256_shuffle_epi8(Differences8(a, b), byChannel);
  const __m256i s1 = _mm256_shuffle_epi8(Differences8(a + 32, b + 32), byChannel);
  const __m256i s2 = _mm256_shuffle_epi8(Differences8(a + 64, b + 64), byChannel);
  const __m256i s3 = _mm256_shuffle_epi8(Differences8(a + 96, b + 96), byChannel);
  // Each 32-bit group holds one channel of four pixels.
  const __m256i low01 = _mm256_unpacklo_epi32(s0, s1);   // channels 0, 1
  const __m256i high01 = _mm256_unpackhi_epi32(s0, s1);  // channels 2, 3
  const __m256i low23 = _mm256_unpacklo_epi32(s2, s3);
  const __m256i high23 = _mm256_unpackhi_epi32(s2, s3);
  const __m256i channel0 = _mm256_unpacklo_epi64(low01, low23);
  const __m256i channel1 = _mm256_unpackhi_epi64(low01, low23);
  const __m256i channel2 = _mm256_unpacklo_epi64(high01, high23);
  return _mm256_max_epu8(_mm256_max_epu8(channel0, channel1), channel2);
}

// The table entries of sixteen largest differences (16-bit), as in the
// 16-byte loop: 255 × d fits 16 bits, and its high product with the scale
// is the entry before the limit at 255, which the unsigned pack applies.
CORVALIS_AVX2 inline __m256i Entries16(__m256i differences, __m256i scale) {
  return _mm256_mulhi_epu16(_mm256_mullo_epi16(differences, _mm256_set1_epi16(255)), scale);
}

CORVALIS_AVX2 inline int64_t SumOfBytes(__m256i counts) {
  const __m256i sums = _mm256_sad_epu8(counts, _mm256_setzero_si256());
  return _mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
         _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3);
}

// The vector part of a motion mask row with 32-byte vectors: the 16-byte
// loop's formulas, 32 pixels at a time. Returns how many pixels it did, adds
// the moving ones to moving, and narrows [first, end) to the blocks it made
// that hold values other than 0 (first stays −1 where none does).
CORVALIS_AVX2 int32_t MotionMaskRowAvx2(const uint8_t* a, const uint8_t* b, uint8_t* out,
                                        int32_t count, uint32_t multiplier, int64_t& moving,
                                        int32_t& first, int32_t& end) {
  const __m256i scale = _mm256_set1_epi16(static_cast<int16_t>(static_cast<uint16_t>(multiplier)));
  const __m256i zero = _mm256_setzero_si256();
  // The groups of four pixels come in the halves' order (see
  // LargestDifferences32), which unpacking and packing keep; this puts them
  // back in the pixels' order.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  __m256i counts = zero;
  int32_t counted = 0;
  int32_t x = 0;
  int32_t firstFound = first;
  int32_t endFound = end;
  for (; x + 32 <= count; x += 32, a += 128, b += 128) {
    const __m256i largest = LargestDifferences32(a, b);
    if (_mm256_testz_si256(largest, largest) != 0) {
      // Nothing differs in these pixels: every entry is table[0], 0.
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), zero);
      continue;
    }
    const __m256i values = _mm256_permutevar8x32_epi32(
        _mm256_packus_epi16(Entries16(_mm256_unpacklo_epi8(largest, zero), scale),
                            Entries16(_mm256_unpackhi_epi8(largest, zero), scale)),
        order);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), values);
    if (_mm256_testz_si256(values, values) == 0) {
      if (firstFound < 0) firstFound = x;
      endFound = x + 32;
    }
    // Moving entries (above 127) are the negative ones as signed bytes.
    counts = _mm256_sub_epi8(counts, _mm256_cmpgt_epi8(zero, values));
    if (++counted == 255) {
      moving += SumOfBytes(counts);
      counts = zero;
      counted = 0;
    }
  }
  moving += SumOfBytes(counts);
  first = firstFound;
  end = endFound;
  return x;
}
#endif

uint8_t Median9(uint8_t p[9]) {
  Order(p[1], p[2]);
  Order(p[4], p[5]);
  Order(p[7], p[8]);
  Order(p[0], p[1]);
  Order(p[3], p[4]);
  Order(p[6], p[7]);
  Order(p[1], p[2]);
  Order(p[4], p[5]);
  Order(p[7], p[8]);
  Order(p[0], p[3]);
  Order(p[5], p[8]);
  Order(p[4], p[7]);
  Order(p[3], p[6]);
  Order(p[1], p[4]);
  Order(p[2], p[5]);
  Order(p[4], p[7]);
  Order(p[4], p[2]);
  Order(p[6], p[4]);
  Order(p[4], p[2]);
  return p[4];
}

}  // namespace

bool ComputeMotionMask(FrameBuffer& mask, const FrameBuffer& a, const FrameBuffer& b,
                       int32_t threshold, std::vector<maskrows::Extent>* rowExtents) {
  if (rowExtents != nullptr) rowExtents->assign(static_cast<size_t>(std::max(0, mask.height)), {});
  const int32_t divisor = threshold == 0 ? 1 : threshold;
  uint8_t table[256];
  for (int32_t d = 0; d < 256; ++d)
    table[d] = static_cast<uint8_t>(std::min(255, 255 * d / divisor));
  int64_t moving = 0;
  const uint32_t multiplier = MotionScale(table, divisor);
  // Fields of an odd-height frame differ by a row: where either compared
  // field has no pixel there is no motion to measure, the mask says still
  // and the blend keeps the interpolated pixel there (it has no other).
  const int32_t rows = std::min({mask.height, a.height, b.height});
  const int32_t columns = std::min({mask.width, a.width, b.width});
  if (mask.data != nullptr && (a.data == nullptr || b.data == nullptr)) {
    for (int32_t y = 0; y < mask.height; ++y) std::memset(mask.Row(y), 0, mask.width);
  } else if (mask.data != nullptr) {
    for (int32_t y = 0; y < mask.height; ++y) {
      uint8_t* out = mask.Row(y);
      if (y >= rows) {
        std::memset(out, 0, static_cast<size_t>(mask.width));
        continue;
      }
      const uint8_t* pa = a.Row(y);
      const uint8_t* pb = b.Row(y);
      int32_t x = 0;
      // Blocks of the 32-byte loop known to hold values other than 0.
      int32_t blockFirst = -1;
      int32_t blockEnd = 0;
#if defined(CORVALIS_AVX2_LOOPS)
      if (multiplier != 0 && UsesAvx2()) {
        x = MotionMaskRowAvx2(pa, pb, out, columns, multiplier, moving, blockFirst, blockEnd);
        pa += 4 * static_cast<size_t>(x);
        pb += 4 * static_cast<size_t>(x);
      }
#endif
      const int32_t vectorEnd = x;
#if defined(__SSE2__)
      if (multiplier != 0) {
        const __m128i scale =
            _mm_set1_epi16(static_cast<int16_t>(static_cast<uint16_t>(multiplier)));
        const __m128i full = _mm_set1_epi16(255);
        const __m128i zero = _mm_setzero_si128();
        constexpr int32_t kBlock = 16;
        // Per-byte counts of moving entries, added up before any can pass 255.
        __m128i counts = zero;
        int32_t counted = 0;
        auto addCounts = [&] {
          const __m128i sums = _mm_sad_epu8(counts, zero);
          moving += _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
          counts = zero;
          counted = 0;
        };
        for (; x + kBlock <= columns; x += kBlock, pa += 4 * kBlock, pb += 4 * kBlock) {
          // 255 × d fits 16 bits; its high product with the scale is the table entry
          // (before the limit at 255, which the unsigned pack applies).
          auto entries = [&](int32_t first) {
            const __m128i d =
                _mm_packs_epi32(LargestDifference(pa + 4 * first, pb + 4 * first),
                                LargestDifference(pa + 4 * first + 16, pb + 4 * first + 16));
            return _mm_mulhi_epu16(_mm_mullo_epi16(d, full), scale);
          };
          const __m128i values = _mm_packus_epi16(entries(0), entries(8));
          Store(out + x, values);
          // Moving entries (above 127) are the negative ones as signed bytes.
          counts = _mm_sub_epi8(counts, _mm_cmplt_epi8(values, zero));
          if (++counted == 255) addCounts();
        }
        addCounts();
      }
#else
      (void)multiplier;
#endif
      for (; x < columns; ++x, pa += 4, pb += 4) {
        int32_t largest = std::abs(pa[0] - pb[0]);
        largest = std::max(largest, std::abs(pa[1] - pb[1]));
        largest = std::max(largest, std::abs(pa[2] - pb[2]));
        out[x] = table[largest];
        if (out[x] > kMovingAbove) ++moving;
      }
      if (columns < mask.width) std::memset(out + columns, 0, mask.width - columns);
      if (rowExtents != nullptr) {
        // Values other than 0 lie in the blocks where the 32-byte loop saw
        // them, or past where it stopped.
        const int32_t from = blockFirst >= 0 ? blockFirst : vectorEnd;
        const int32_t to = vectorEnd < columns ? columns : blockEnd;
        if (from < to) (*rowExtents)[y] = maskrows::NonZeroExtent(out, from, to);
      }
    }
  }
  const int64_t limit =
      kGiveUpPercent * static_cast<int64_t>(mask.width) * static_cast<int64_t>(mask.height) / 100;
  return moving <= limit;
}

FrameRef MedianFilter3x3(const FrameBuffer& mask) {
  FrameRef filtered = NewMask(mask.width, mask.height);
  if (mask.data == nullptr || filtered->data == nullptr) return filtered;
  const int32_t width = mask.width;
  const int32_t last = mask.height - 1;
  for (int32_t y = 0; y <= last; ++y) {
    const uint8_t* above = mask.Row(y > 0 ? y - 1 : 0);
    const uint8_t* row = mask.Row(y);
    const uint8_t* below = mask.Row(y < last ? y + 1 : last);
    uint8_t* out = filtered->Row(y);
    out[0] = row[0];
    out[width - 1] = row[width - 1];
    for (int32_t x = 1; x < width - 1; ++x) {
      uint8_t window[9] = {above[x - 1], above[x],     above[x + 1], row[x - 1],  row[x],
                           row[x + 1],   below[x - 1], below[x],     below[x + 1]};
      out[x] = Median9(window);
    }
  }
  return filtered;
}

void DilateMask(FrameBuffer& mask, int32_t across, int32_t down) {
  if (mask.data == nullptr) return;
  const int32_t width = mask.width;
  const int32_t height = mask.height;
  FrameRef column = NewMask(width, height);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t from = std::max(0, y - down);
    const int32_t to = std::min(height - 1, y + down);
    uint8_t* out = column->Row(y);
    std::memcpy(out, mask.Row(from), static_cast<size_t>(width));
    for (int32_t k = from + 1; k <= to; ++k) {
      const uint8_t* in = mask.Row(k);
      for (int32_t x = 0; x < width; ++x) out[x] = std::max(out[x], in[x]);
    }
  }
  // The window clipped at the row's ends has the same maximum as the whole
  // window over the row with its end values repeated, which lets every
  // offset of the window run as one pass along the padded row.
  const int32_t reach = std::max(0, across);
  std::vector<uint8_t> padded(static_cast<size_t>(width) + 2 * static_cast<size_t>(reach));
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = column->Row(y);
    uint8_t* out = mask.Row(y);
    std::memset(padded.data(), in[0], static_cast<size_t>(reach));
    std::memcpy(padded.data() + reach, in, static_cast<size_t>(width));
    std::memset(padded.data() + reach + width, in[width - 1], static_cast<size_t>(reach));
    std::memcpy(out, padded.data(), static_cast<size_t>(width));
    for (int32_t k = 1; k <= 2 * reach; ++k) {
      const uint8_t* shifted = padded.data() + k;
      for (int32_t x = 0; x < width; ++x) out[x] = std::max(out[x], shifted[x]);
    }
  }
}

void BoxFilterLine(uint8_t* line, int32_t length, int32_t step, int32_t radius,
                   std::vector<uint8_t>& lineBuffer) {
  if (length <= 0 || radius < 1) return;
  const int32_t pad = radius - 1;
  const int32_t window = 2 * radius - 1;
  uint8_t* buffer = lineBuffer.data();
  for (int32_t j = 0; j < length; ++j) buffer[pad + j] = line[static_cast<intptr_t>(j) * step];
  for (int32_t j = 0; j < pad; ++j) {
    buffer[j] = buffer[pad];
    buffer[pad + length + j] = buffer[pad + length - 1];
  }
  // A running sum over the window: the same quotients as summing afresh.
  int32_t sum = 0;
  for (int32_t k = 0; k < window; ++k) sum += buffer[k];
  for (int32_t j = 0; j < length; ++j) {
    line[static_cast<intptr_t>(j) * step] = static_cast<uint8_t>(sum / window);
    if (j + 1 < length) sum += buffer[j + window] - buffer[j];
  }
}

void BoxBlurMask(FrameBuffer& mask, int32_t across, int32_t down) {
  if (mask.data == nullptr) return;
  const int32_t width = mask.width;
  const int32_t height = mask.height;
  // Both passes give what BoxFilterLine gives on every row and then every
  // column (edge values repeated, window sums divided with truncation), but
  // walk the mask row by row: the horizontal pass sums the window's offsets
  // along a padded row, the vertical pass keeps one running sum per column.
  if (across < 0 || down < 0) {
    // A window narrower than one value leaves its pass undone.
    std::vector<uint8_t> lineBuffer(
        static_cast<size_t>(std::max(width, height) + 2 * std::max(across + 1, down + 1) + 2), 0);
    for (int32_t y = 0; y < height; ++y)
      BoxFilterLine(mask.Row(y), width, 1, across + 1, lineBuffer);
    for (int32_t x = 0; x < width; ++x) {
      BoxFilterLine(mask.data + x, height, mask.rowBytes, down + 1, lineBuffer);
    }
    return;
  }
  const int32_t padAcross = across;  // radius across + 1, window 2 × across + 1
  const int32_t windowAcross = 2 * across + 1;
  const int32_t windowDown = 2 * down + 1;
  FrameRef horizontal = NewMask(width, height);
  std::vector<uint8_t> padded(static_cast<size_t>(width) + 2 * static_cast<size_t>(padAcross));
  std::vector<uint16_t> sums(static_cast<size_t>(width));
  const maskrows::WindowDivider divideAcross(windowAcross);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = mask.Row(y);
    std::memset(padded.data(), row[0], static_cast<size_t>(padAcross));
    std::memcpy(padded.data() + padAcross, row, static_cast<size_t>(width));
    std::memset(padded.data() + padAcross + width, row[width - 1], static_cast<size_t>(padAcross));
    for (int32_t x = 0; x < width; ++x) sums[x] = padded[x];
    for (int32_t k = 1; k < windowAcross; ++k) {
      const uint8_t* shifted = padded.data() + k;
      for (int32_t x = 0; x < width; ++x) sums[x] = static_cast<uint16_t>(sums[x] + shifted[x]);
    }
    divideAcross.Divide(sums.data(), horizontal->Row(y), width);
  }

  const maskrows::WindowDivider divideDown(windowDown);
  auto source = [&](int32_t k) { return horizontal->Row(std::clamp(k, 0, height - 1)); };
  std::fill(sums.begin(), sums.end(), 0);
  for (int32_t k = -down; k <= down; ++k) {
    const uint8_t* in = source(k);
    for (int32_t x = 0; x < width; ++x) sums[x] = static_cast<uint16_t>(sums[x] + in[x]);
  }
  for (int32_t y = 0; y < height; ++y) {
    divideDown.Divide(sums.data(), mask.Row(y), width);
    if (y + 1 == height) break;
    const uint8_t* entering = source(y + down + 1);
    const uint8_t* leaving = source(y - down);
    for (int32_t x = 0; x < width; ++x) {
      sums[x] = static_cast<uint16_t>(sums[x] + entering[x] - leaving[x]);
    }
  }
}

void BlendByMask(const FrameBuffer& current, const FrameBuffer& neighbour, const FrameBuffer& mask,
                 FrameBuffer& out) {
  if (current.data == nullptr || out.data == nullptr) return;
  for (int32_t y = 0; y < current.height; ++y) {
    maskrows::BlendMaskRow(current, neighbour, mask, out, y);
  }
}
