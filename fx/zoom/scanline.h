// Scanlines: typed one-row buffers and the fixed-point row arithmetic of the
// resampler.
//
// A type code's bit 4 means four interleaved channels; its low two bits give
// the element size (0 byte, 1 signed 16-bit, 2 signed 32-bit). Each operation
// accepts only the types and combinations listed with it; anything else is a
// programming error, reported on stderr and thrown as ZoomError. All pixel
// arithmetic is integer, rounding by adding half the divisor before an
// arithmetic right shift.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "fx/zoom/pic.h"

namespace zoom {

constexpr int32_t kScanByte = 0;
constexpr int32_t kScanShort = 1;
constexpr int32_t kScanInt = 2;
constexpr int32_t kScanRgbaByte = 4;
constexpr int32_t kScanRgbaShort = 5;
constexpr int32_t kScanRgbaInt = 6;
// Bit of a type code that means four channels.
constexpr int32_t kScanFourChannels = 4;

// An internal error of the resampler: an impossible scanline type or
// combination, or a weight that does not fit 16 bits.
class ZoomError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

struct Scanline {
  int32_t type = kScanByte;
  int32_t length = 0;  // pixels
  void* data = nullptr;
};

// The source pixels [first, end) that one output pixel uses, with their
// weights (end - first of them, summing to one weight unit).
struct WeightRange {
  int16_t first = 0;
  int16_t end = 0;
  int16_t* weights = nullptr;
};

// Allocates length pixels of the type, zeroed, on the general heap.
void ScanlineAlloc(Scanline& s, int32_t type, int32_t length);
void ScanlineFree(Scanline& s);
// Types 2 and 6: every element to 0.
void ScanlineZero(Scanline& s);
// Types 0 and 4: length pixels from (column, row) of the picture.
void ScanlineRead(const ZoomPicture& picture, int32_t column, int32_t row, Scanline& s);
void ScanlineWrite(const ZoomPicture& picture, int32_t column, int32_t row, const Scanline& s);
// b[k] = (half + sum of a[j] x weight) >> shift for every output pixel k, one
// weight range each. 0 into 1 and 4 into 5 take bytes to 16-bit; 2 into 0 and
// 6 into 4 take 32-bit elements (first shifted right by 8 to 16 bits) to
// bytes, clamped to 0..255.
void ScanlineFilter(int32_t shift, const WeightRange* weights, const Scanline& a, Scanline& b);
// b += a x weight for b's length; 0 or 1 into 2, 4 or 5 into 6.
void ScanlineAccumulate(int16_t weight, const Scanline& a, Scanline& b);
// b = (a + half) >> shift clamped to 0..255; 2 into 0, 6 into 4.
void ScanlineShift(int32_t shift, const Scanline& a, Scanline& b);

}  // namespace zoom
