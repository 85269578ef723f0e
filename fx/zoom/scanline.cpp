#include "fx/zoom/scanline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zoom {
namespace {

// Bytes of one pixel of a valid type, or 0 for a code that does not exist.
int32_t PixelBytes(int32_t type) {
  switch (type) {
    case kScanByte:
      return 1;
    case kScanShort:
      return 2;
    case kScanInt:
      return 4;
    case kScanRgbaByte:
      return 4;
    case kScanRgbaShort:
      return 8;
    case kScanRgbaInt:
      return 16;
    default:
      return 0;
  }
}

int32_t Channels(int32_t type) { return (type & kScanFourChannels) != 0 ? 4 : 1; }

// The driver never makes a bad scanline, so reaching these is a bug in the
// caller; throwing keeps the host alive where aborting would take the user's
// session with it.
[[noreturn]] void BadType(const char* operation, int32_t type) {
  char message[96];
  std::snprintf(message, sizeof message, "scanline_%s: bad scanline type: %d\n", operation,
                static_cast<int>(type));
  std::fputs(message, stderr);
  throw ZoomError(message);
}

[[noreturn]] void BadCombination(const char* operation, int32_t a, int32_t b) {
  char message[96];
  std::snprintf(message, sizeof message, "scanline_%s: bad type combination: %d & %d\n", operation,
                static_cast<int>(a), static_cast<int>(b));
  std::fputs(message, stderr);
  throw ZoomError(message);
}

int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// What a source element contributes to a weighted sum: bytes as they are;
// 32-bit accumulations brought back to the 16-bit scale (pixel x 64) first.
int32_t SampleValue(uint8_t v) { return v; }
int32_t SampleValue(int32_t v) { return static_cast<int16_t>(v >> 8); }

void StoreSum(int16_t& out, int32_t v) { out = static_cast<int16_t>(v); }
void StoreSum(uint8_t& out, int32_t v) { out = static_cast<uint8_t>(Clamp255(v)); }

// b[k] per channel = (half + weighted sum of a over range k) >> shift.
template <int channels, typename In, typename Out>
void FilterRow(int32_t shift, const WeightRange* weights, const void* a, void* b, int32_t n) {
  const auto* in = static_cast<const In*>(a);
  auto* out = static_cast<Out*>(b);
  const int32_t half = 1 << (shift - 1);
  for (int32_t k = 0; k < n; ++k) {
    const WeightRange& range = weights[k];
    for (int c = 0; c < channels; ++c) {
      int32_t sum = half;
      const In* source = in + static_cast<intptr_t>(range.first) * channels + c;
      for (int32_t j = 0; j < range.end - range.first; ++j) {
        sum += SampleValue(source[j * channels]) * range.weights[j];
      }
      StoreSum(out[k * channels + c], sum >> shift);
    }
  }
}

#if defined(__SSE2__)
// FilterRow for four channels with all four in one register: two taps at a
// time through a 16 x 16 -> 32-bit multiply-add. The samples are exactly
// the 16-bit values the plain loop multiplies (sign-extended from their low
// 16 bits), so the sums and therefore the bytes are the same.
__m128i FourSamples(const uint8_t* in) {
  int32_t packed;
  std::memcpy(&packed, in, 4);
  const __m128i zero = _mm_setzero_si128();
  return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(packed), zero), zero);
}
__m128i FourSamples(const int32_t* in) {
  const __m128i reduced = _mm_srai_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), 8);
  return _mm_srai_epi32(_mm_slli_epi32(reduced, 16), 16);
}
// The four 32-bit results reduced as StoreSum does: to their low 16 bits
// for 16-bit rows, clamped to 0..255 for bytes.
void StoreFour(int16_t* out, __m128i v) {
  const __m128i low16 = _mm_srai_epi32(_mm_slli_epi32(v, 16), 16);
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(low16, low16));
}
void StoreFour(uint8_t* out, __m128i v) {
  const __m128i words = _mm_packs_epi32(v, v);
  const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
  std::memcpy(out, &bytes, 4);
}

template <typename In, typename Out>
void FilterRowFourChannels(int32_t shift, const WeightRange* weights, const void* a, void* b,
                           int32_t n) {
  const auto* in = static_cast<const In*>(a);
  auto* out = static_cast<Out*>(b);
  const __m128i half = _mm_set1_epi32(1 << (shift - 1));
  const __m128i count = _mm_cvtsi32_si128(shift);
  for (int32_t k = 0; k < n; ++k) {
    const WeightRange& range = weights[k];
    const In* source = in + static_cast<intptr_t>(range.first) * 4;
    const int32_t taps = range.end - range.first;
    __m128i sum = half;
    int32_t j = 0;
    for (; j + 2 <= taps; j += 2) {
      const __m128i pair =
          _mm_packs_epi32(FourSamples(source + j * 4), FourSamples(source + j * 4 + 4));
      const __m128i interleaved = _mm_unpacklo_epi16(pair, _mm_srli_si128(pair, 8));
      const __m128i taps2 = _mm_set1_epi32(static_cast<int32_t>(
          (static_cast<uint32_t>(static_cast<uint16_t>(range.weights[j + 1])) << 16) |
          static_cast<uint16_t>(range.weights[j])));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(interleaved, taps2));
    }
    if (j < taps) {
      const __m128i single = _mm_packs_epi32(FourSamples(source + j * 4), _mm_setzero_si128());
      const __m128i interleaved = _mm_unpacklo_epi16(single, _mm_setzero_si128());
      const __m128i tap = _mm_set1_epi32(static_cast<uint16_t>(range.weights[j]));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(interleaved, tap));
    }
    StoreFour(out + k * 4, _mm_sra_epi32(sum, count));
  }
}
#endif

template <typename Element>
void AccumulateElements(int32_t weight, const Element* a, int32_t* b, int32_t count) {
  for (int32_t i = 0; i < count; ++i) b[i] += static_cast<int32_t>(a[i]) * weight;
}

}  // namespace

void ScanlineAlloc(Scanline& s, int32_t type, int32_t length) {
  const int32_t pixelBytes = PixelBytes(type);
  if (pixelBytes == 0) BadType("alloc", type);
  s.type = type;
  s.length = length;
  // Zeroed so that no uninitialised byte can ever reach a picture.
  const size_t bytes = static_cast<size_t>(length > 0 ? length : 0) * pixelBytes;
  s.data = std::calloc(bytes > 0 ? bytes : 1, 1);
  if (s.data == nullptr) throw std::bad_alloc();
}

void ScanlineFree(Scanline& s) {
  if (PixelBytes(s.type) == 0) BadType("free", s.type);
  std::free(s.data);
  s.data = nullptr;
}

void ScanlineZero(Scanline& s) {
  if (s.type != kScanInt && s.type != kScanRgbaInt) BadType("zero", s.type);
  std::memset(s.data, 0, static_cast<size_t>(s.length) * PixelBytes(s.type));
}

void ScanlineRead(const ZoomPicture& picture, int32_t column, int32_t row, Scanline& s) {
  auto* pixels = static_cast<uint8_t*>(s.data);
  if (s.type == kScanByte) {
    picture.device->readRowBytes(picture.data, row, column, s.length, pixels);
  } else if (s.type == kScanRgbaByte) {
    picture.device->readRowRgba(picture.data, row, column, s.length, pixels);
  } else {
    BadType("read", s.type);
  }
}

void ScanlineWrite(const ZoomPicture& picture, int32_t column, int32_t row, const Scanline& s) {
  const auto* pixels = static_cast<const uint8_t*>(s.data);
  if (s.type == kScanByte) {
    picture.device->writeRowBytes(picture.data, row, column, s.length, pixels);
  } else if (s.type == kScanRgbaByte) {
    picture.device->writeRowRgba(picture.data, row, column, s.length, pixels);
  } else {
    BadType("write", s.type);
  }
}

void ScanlineFilter(int32_t shift, const WeightRange* weights, const Scanline& a, Scanline& b) {
  if (a.type == kScanByte && b.type == kScanShort) {
    FilterRow<1, uint8_t, int16_t>(shift, weights, a.data, b.data, b.length);
  } else if (a.type == kScanRgbaByte && b.type == kScanRgbaShort) {
#if defined(__SSE2__)
    FilterRowFourChannels<uint8_t, int16_t>(shift, weights, a.data, b.data, b.length);
#else
    FilterRow<4, uint8_t, int16_t>(shift, weights, a.data, b.data, b.length);
#endif
  } else if (a.type == kScanInt && b.type == kScanByte) {
    FilterRow<1, int32_t, uint8_t>(shift, weights, a.data, b.data, b.length);
  } else if (a.type == kScanRgbaInt && b.type == kScanRgbaByte) {
#if defined(__SSE2__)
    FilterRowFourChannels<int32_t, uint8_t>(shift, weights, a.data, b.data, b.length);
#else
    FilterRow<4, int32_t, uint8_t>(shift, weights, a.data, b.data, b.length);
#endif
  } else {
    BadCombination("filter", a.type, b.type);
  }
}

void ScanlineAccumulate(int16_t weight, const Scanline& a, Scanline& b) {
  const bool oneChannel = (a.type == kScanByte || a.type == kScanShort) && b.type == kScanInt;
  const bool fourChannels =
      (a.type == kScanRgbaByte || a.type == kScanRgbaShort) && b.type == kScanRgbaInt;
  if (!oneChannel && !fourChannels) BadCombination("accum", a.type, b.type);
  if (weight == 0) return;
  const int32_t count = b.length * Channels(b.type);
  auto* sums = static_cast<int32_t*>(b.data);
  if (a.type == kScanByte || a.type == kScanRgbaByte) {
    AccumulateElements(weight, static_cast<const uint8_t*>(a.data), sums, count);
  } else {
    AccumulateElements(weight, static_cast<const int16_t*>(a.data), sums, count);
  }
}

void ScanlineShift(int32_t shift, const Scanline& a, Scanline& b) {
  const bool valid = (a.type == kScanInt && b.type == kScanByte) ||
                     (a.type == kScanRgbaInt && b.type == kScanRgbaByte);
  if (!valid) BadCombination("shift", a.type, b.type);
  const int32_t half = 1 << (shift - 1);
  const int32_t count = b.length * Channels(b.type);
  const auto* sums = static_cast<const int32_t*>(a.data);
  auto* bytes = static_cast<uint8_t*>(b.data);
  for (int32_t i = 0; i < count; ++i) {
    // Widened so that rounding a sum near the 32-bit limit cannot overflow.
    const int64_t rounded = (static_cast<int64_t>(sums[i]) + half) >> shift;
    bytes[i] = static_cast<uint8_t>(rounded < 0 ? 0 : (rounded > 255 ? 255 : rounded));
  }
}

}  // namespace zoom
