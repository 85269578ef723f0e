#include "render/line_kernels.h"

#include <algorithm>
#include <cstring>

#include "source/avx2_support.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(CORVALIS_AVX2_LOOPS)
#include <immintrin.h>
#endif

// Every row loop below has an SSE2 block loop (four pixels at a time) ahead
// of the plain per-pixel loop, which finishes the row and is the whole
// kernel where SSE2 is missing. Both compute the same integer formulas, so
// the bytes do not depend on which one ran.

namespace {

bool HasPixels(const FrameBuffer& image) {
  return image.data != nullptr && image.width > 0 && image.height > 0;
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
  return value < low ? low : (value > high ? high : value);
}

// How far ahead of the row interpolated its source rows are asked for.
constexpr int32_t kPrefetchRows = 3;

#if defined(__SSE2__)
constexpr int32_t kBlockPixels = 4;

__m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void Store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Bytes 0..2 of each pixel from computed, byte 3 from kept.
__m128i KeepFourthByte(__m128i computed, __m128i kept) {
  const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
  return _mm_or_si128(_mm_and_si128(computed, colour), _mm_andnot_si128(colour, kept));
}

// The floor of a / 255 for 32-bit lanes in −24480..89505, exact for
// 0..65280 and beyond 255 above it, negative below 0 (the saturating packs
// that follow then clamp to 0..255 as the plain loop does).
__m128i DivideBy255Lanes(__m128i s) {
  return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(s, _mm_srai_epi32(s, 8)), _mm_set1_epi32(1)),
                        8);
}

// The six-tap sums of eight 16-bit values of each row, as two 32-bit halves.
void SixTapSums(const __m128i rows[6], bool high, __m128i& low4, __m128i& high4) {
  const __m128i weights12 = _mm_set_epi16(-48, 29, -48, 29, -48, 29, -48, 29);
  const __m128i weights34 = _mm_set_epi16(146, 147, 146, 147, 146, 147, 146, 147);
  const __m128i weights56 = _mm_set_epi16(29, -48, 29, -48, 29, -48, 29, -48);
  const __m128i zero = _mm_setzero_si128();
  __m128i wide[6];
  for (int i = 0; i < 6; ++i) {
    wide[i] = high ? _mm_unpackhi_epi8(rows[i], zero) : _mm_unpacklo_epi8(rows[i], zero);
  }
  low4 =
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(wide[0], wide[1]), weights12),
                                  _mm_madd_epi16(_mm_unpacklo_epi16(wide[2], wide[3]), weights34)),
                    _mm_madd_epi16(_mm_unpacklo_epi16(wide[4], wide[5]), weights56));
  high4 =
      _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(wide[0], wide[1]), weights12),
                                  _mm_madd_epi16(_mm_unpackhi_epi16(wide[2], wide[3]), weights34)),
                    _mm_madd_epi16(_mm_unpackhi_epi16(wide[4], wide[5]), weights56));
}
#endif

// The 16-bit fixed-point multiplier that gives table[v] = v × m >> 16 for
// every byte v, or 0 when none of the two nearest does (the table is then
// used byte by byte).
uint32_t FixedPointScale(const uint8_t table[256], double level) {
  if (!(level > 0.0 && level < 1.0)) return 0;
  const auto nearest = static_cast<uint32_t>(level * 65536.0);
  for (uint32_t multiplier : {nearest, nearest + 1}) {
    if (multiplier == 0 || multiplier > 0xFFFF) continue;
    bool exact = true;
    for (uint32_t v = 0; v < 256 && exact; ++v) exact = ((v * multiplier) >> 16) == table[v];
    if (exact) return multiplier;
  }
  return 0;
}

}  // namespace

void CopyImage(FrameBuffer& destination, const FrameBuffer& source) {
  if (&destination == &source || !HasPixels(source) || !HasPixels(destination)) return;
  if (destination.rowBytes == source.rowBytes) {
    std::memcpy(destination.data, source.data,
                static_cast<size_t>(source.rowBytes) * static_cast<size_t>(source.height));
    return;
  }
  const size_t rowLength = static_cast<size_t>(source.width) * 4;
  for (int32_t y = 0; y < source.height; ++y) {
    std::memcpy(destination.Row(y), source.Row(y), rowLength);
  }
}

void CopyOverlap(FrameBuffer& destination, const FrameBuffer& source) {
  if (destination.width == source.width && destination.height == source.height) {
    CopyImage(destination, source);
    return;
  }
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int32_t rows = std::min(destination.height, source.height);
  const size_t rowLength = static_cast<size_t>(std::min(destination.width, source.width)) * 4;
  for (int32_t y = 0; y < rows; ++y) std::memcpy(destination.Row(y), source.Row(y), rowLength);
}

void AccumulateScaled(FrameBuffer& destination, const FrameBuffer& source, double level) {
  if (static_cast<int32_t>(level * 255.0) == 0) return;
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int32_t rows = std::min(destination.height, source.height);
  const int32_t columns = std::min(destination.width, source.width);
  // A table of the 256 scaled values gives the same bytes as scaling each
  // byte: the product depends on the byte alone.
  uint8_t scaled[256];
  for (int32_t v = 0; v < 256; ++v) {
    scaled[v] = static_cast<uint8_t>(static_cast<int32_t>(v * level) & 0xFF);
  }
  const uint32_t multiplier = FixedPointScale(scaled, level);
  for (int32_t y = 0; y < rows; ++y) {
    uint8_t* out = destination.Row(y);
    const uint8_t* in = source.Row(y);
    int32_t x = 0;
#if defined(__SSE2__)
    if (multiplier != 0) {
      const __m128i factor =
          _mm_set1_epi16(static_cast<int16_t>(static_cast<uint16_t>(multiplier)));
      const __m128i zero = _mm_setzero_si128();
      for (; x + kBlockPixels <= columns; x += kBlockPixels, out += 16, in += 16) {
        const __m128i pixels = Load(in);
        const __m128i low = _mm_mulhi_epu16(_mm_unpacklo_epi8(pixels, zero), factor);
        const __m128i high = _mm_mulhi_epu16(_mm_unpackhi_epi8(pixels, zero), factor);
        const __m128i added = _mm_packus_epi16(low, high);
        const __m128i current = Load(out);
        Store(out, KeepFourthByte(_mm_add_epi8(current, added), current));
      }
    }
#else
    (void)multiplier;
#endif
    for (; x < columns; ++x, out += 4, in += 4) {
      out[2] = static_cast<uint8_t>(out[2] + scaled[in[2]]);
      out[1] = static_cast<uint8_t>(out[1] + scaled[in[1]]);
      out[0] = static_cast<uint8_t>(out[0] + scaled[in[0]]);
    }
  }
}

namespace {

// The two kernels below with the fourth byte of each pixel taken from the row
// `fourth` (the destination row itself for the plain kernels, which leave
// that byte alone).
#if defined(CORVALIS_AVX2_LOOPS)
CORVALIS_AVX2 inline __m256i Load32(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The two-tap block loop with 32-byte vectors (eight pixels at a time), where
// the processor has them; returns how many pixels it made.
CORVALIS_AVX2 int32_t AverageRowsAvx2(const uint8_t* a, const uint8_t* b, const uint8_t* fourth,
                                      uint8_t* destination, int32_t count) {
  const __m256i ones = _mm256_set1_epi8(1);
  const __m256i fourthBytes = _mm256_set1_epi32(static_cast<int32_t>(0xFF000000u));
  int32_t x = 0;
  for (; x + 8 <= count; x += 8, a += 32, b += 32, fourth += 32, destination += 32) {
    const __m256i left = Load32(a);
    const __m256i right = Load32(b);
    const __m256i mean = _mm256_sub_epi8(_mm256_avg_epu8(left, right),
                                         _mm256_and_si256(_mm256_xor_si256(left, right), ones));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination),
                        _mm256_blendv_epi8(mean, Load32(fourth), fourthBytes));
  }
  return x;
}
#endif

void AverageRowsKeeping(const uint8_t* a, const uint8_t* b, const uint8_t* fourth,
                        uint8_t* destination, int32_t count) {
  if (count <= 0) return;
  if (a == b) {
    if (destination != a) std::memmove(destination, a, static_cast<size_t>(count) * 4);
    return;
  }
  int32_t x = 0;
#if defined(CORVALIS_AVX2_LOOPS)
  if (UsesAvx2()) {
    x = AverageRowsAvx2(a, b, fourth, destination, count);
    a += 4 * x;
    b += 4 * x;
    fourth += 4 * x;
    destination += 4 * x;
  }
#endif
#if defined(__SSE2__)
  const __m128i ones = _mm_set1_epi8(1);
  for (; x + kBlockPixels <= count;
       x += kBlockPixels, a += 16, b += 16, fourth += 16, destination += 16) {
    const __m128i left = Load(a);
    const __m128i right = Load(b);
    // The rounded-up mean less the rounding bit is the floor of the mean.
    const __m128i mean =
        _mm_sub_epi8(_mm_avg_epu8(left, right), _mm_and_si128(_mm_xor_si128(left, right), ones));
    Store(destination, KeepFourthByte(mean, Load(fourth)));
  }
#endif
  for (; x < count; ++x, a += 4, b += 4, fourth += 4, destination += 4) {
    destination[2] = static_cast<uint8_t>((a[2] + b[2]) >> 1);
    destination[1] = static_cast<uint8_t>((a[1] + b[1]) >> 1);
    destination[0] = static_cast<uint8_t>((a[0] + b[0]) >> 1);
    destination[3] = fourth[3];
  }
}

void InterpolateLine6Keeping(const uint8_t* row1, const uint8_t* row2, const uint8_t* row3,
                             const uint8_t* row4, const uint8_t* row5, const uint8_t* row6,
                             const uint8_t* fourth, uint8_t* destination, int32_t count) {
  int32_t x = 0;
#if defined(__SSE2__)
  for (; x + kBlockPixels <= count; x += kBlockPixels) {
    const int32_t offset = x * 4;
    const __m128i rows[6] = {Load(row1 + offset), Load(row2 + offset), Load(row3 + offset),
                             Load(row4 + offset), Load(row5 + offset), Load(row6 + offset)};
    __m128i sums[4];
    SixTapSums(rows, false, sums[0], sums[1]);
    SixTapSums(rows, true, sums[2], sums[3]);
    const __m128i low = _mm_packs_epi32(DivideBy255Lanes(sums[0]), DivideBy255Lanes(sums[1]));
    const __m128i high = _mm_packs_epi32(DivideBy255Lanes(sums[2]), DivideBy255Lanes(sums[3]));
    Store(destination + offset, KeepFourthByte(_mm_packus_epi16(low, high), Load(fourth + offset)));
  }
#endif
  for (; x < count; ++x) {
    const int32_t offset = x * 4;
    for (int32_t c = 2; c >= 0; --c) {
      const int32_t i = offset + c;
      const int32_t sum =
          29 * (row1[i] + row6[i]) - 48 * (row2[i] + row5[i]) + 147 * row3[i] + 146 * row4[i];
      destination[i] = static_cast<uint8_t>(Clamp(sum / 255, 0, 255));
    }
    destination[offset + 3] = fourth[offset + 3];
  }
}

// InterpolateField with the fourth byte of each destination pixel from the
// source row of the same number (fromSource) or left alone.
// Pixels firstColumn … endColumn − 1 of rows firstRow … endRow − 1.
// Pixels firstColumn … firstColumn + count − 1 of row y, into out (which
// points at pixel firstColumn); each pixel's fourth byte from the source row
// when fromSource, else as out has it.
void InterpolateRow(const FrameBuffer& source, int32_t y, bool top, bool sixTap, bool fromSource,
                    int32_t firstColumn, int32_t count, uint8_t* out) {
  const int32_t last = source.height - 1;
  const size_t offset = 4 * static_cast<size_t>(firstColumn);
  auto row = [&](int32_t k) { return source.Row(Clamp(k, 0, last)) + offset; };
  const uint8_t* fourth = fromSource ? source.Row(y) + offset : out;
  if (sixTap) {
    if (top) {
      InterpolateLine6Keeping(row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), row(y + 3),
                              fourth, out, count);
    } else {
      InterpolateLine6Keeping(row(y - 3), row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2),
                              fourth, out, count);
    }
  } else if (top) {
    AverageRowsKeeping(row(y), row(y + 1), fourth, out, count);
  } else {
    AverageRowsKeeping(row(y - 1), row(y), fourth, out, count);
  }
}

void InterpolateFieldRows(const FrameBuffer& source, FrameBuffer& destination, bool top,
                          bool sixTap, bool fromSource) {
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int32_t count = std::min(source.width, destination.width);
  for (int32_t y = 0; y < source.height && y < destination.height; ++y) {
    InterpolateRow(source, y, top, sixTap, fromSource, 0, count, destination.Row(y));
  }
}

}  // namespace

void AverageRows(const uint8_t* a, const uint8_t* b, uint8_t* destination, int32_t count) {
  AverageRowsKeeping(a, b, destination, destination, count);
}

void InterpolateLine6(const uint8_t* row1, const uint8_t* row2, const uint8_t* row3,
                      const uint8_t* row4, const uint8_t* row5, const uint8_t* row6,
                      uint8_t* destination, int32_t count) {
  InterpolateLine6Keeping(row1, row2, row3, row4, row5, row6, destination, destination, count);
}

void InterpolateField(const FrameBuffer& source, FrameBuffer& destination, bool top, bool sixTap) {
  InterpolateFieldRows(source, destination, top, sixTap, false);
}

void CopyAndInterpolateField(const FrameBuffer& source, FrameBuffer& destination, bool top,
                             bool sixTap) {
  if (&source == &destination) return;
  if (!HasPixels(source) || !HasPixels(destination)) return;
  if (source.width != destination.width || source.height != destination.height) {
    CopyImage(destination, source);
    InterpolateField(source, destination, top, sixTap);
    return;
  }
  InterpolateFieldRows(source, destination, top, sixTap, true);
  // CopyImage of a source with the same rowBytes copies each row's padding too.
  if (source.rowBytes == destination.rowBytes && source.rowBytes > source.width * 4) {
    const size_t padding = static_cast<size_t>(source.rowBytes - source.width * 4);
    for (int32_t y = 0; y < source.height; ++y) {
      std::memcpy(destination.Row(y) + source.width * 4, source.Row(y) + source.width * 4, padding);
    }
  }
}

void CopyAndInterpolatePixels(const FrameBuffer& source, bool top, bool sixTap, int32_t y,
                              int32_t firstColumn, int32_t endColumn, uint8_t* row) {
  if (!HasPixels(source) || y < 0 || y >= source.height) return;
  firstColumn = std::max(firstColumn, 0);
  endColumn = std::min(endColumn, source.width);
  if (firstColumn >= endColumn) return;
  InterpolateRow(source, y, top, sixTap, true, firstColumn, endColumn - firstColumn,
                 row + 4 * static_cast<size_t>(firstColumn));
  // Rows are asked for in rising order, a few columns of each, with other
  // work between them: ask the memory for the same columns a few rows on
  // now, so that they are in cache by the time they are read.
  const int32_t ahead = y + kPrefetchRows + (sixTap ? 3 : 1);
  if (ahead < source.height) {
    const uint8_t* start = source.Row(ahead) + 4 * static_cast<size_t>(firstColumn);
    const uint8_t* end = source.Row(ahead) + 4 * static_cast<size_t>(endColumn);
    for (const uint8_t* p = start; p < end; p += 64) __builtin_prefetch(p);
  }
}

void ShiftUpOneLine(FrameBuffer& image) {
  if (!HasPixels(image)) return;
  for (int32_t y = 0; y + 1 < image.height; ++y) {
    std::memcpy(image.Row(y), image.Row(y + 1), static_cast<size_t>(image.rowBytes));
  }
}

void SmoothVertical(FrameBuffer& image) {
  if (!HasPixels(image)) return;
  const int32_t last = image.height - 1;
  for (int32_t y = 0; y <= last; ++y) {
    uint8_t* row = image.Row(y);
    const uint8_t* above = y > 0 ? image.Row(y - 1) : nullptr;
    const uint8_t* below = y < last ? image.Row(y + 1) : nullptr;
    int32_t x = 0;
#if defined(__SSE2__)
    // (3c + above + below) / 5 is at most 1275; c × 13108 >> 16 is its exact
    // floor over that range.
    const __m128i fifth = _mm_set1_epi16(13108);
    const __m128i zero = _mm_setzero_si128();
    for (; x + kBlockPixels <= image.width; x += kBlockPixels) {
      const int32_t offset = x * 4;
      const __m128i centre = Load(row + offset);
      const __m128i up = above ? Load(above + offset) : centre;
      const __m128i down = below ? Load(below + offset) : centre;
      auto smooth = [&](__m128i c, __m128i u, __m128i d) {
        const __m128i sum =
            _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(c, c), c), _mm_add_epi16(u, d));
        return _mm_mulhi_epu16(sum, fifth);
      };
      const __m128i smoothed =
          _mm_packus_epi16(smooth(_mm_unpacklo_epi8(centre, zero), _mm_unpacklo_epi8(up, zero),
                                  _mm_unpacklo_epi8(down, zero)),
                           smooth(_mm_unpackhi_epi8(centre, zero), _mm_unpackhi_epi8(up, zero),
                                  _mm_unpackhi_epi8(down, zero)));
      Store(row + offset, KeepFourthByte(smoothed, centre));
    }
#endif
    for (; x < image.width; ++x) {
      for (int32_t c = 2; c >= 0; --c) {
        const int32_t i = x * 4 + c;
        const int32_t center = row[i];
        const int32_t up = above ? above[i] : center;
        const int32_t down = below ? below[i] : center;
        row[i] = static_cast<uint8_t>((3 * center + up + down) * 51 / 255);
      }
    }
  }
}
