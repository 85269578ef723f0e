// Row kernels of the adaptive steps, shared by the steps themselves and by
// the pass that runs them all at once over rows held in cache.
//
// Each kernel works on one row (or the same columns of a few rows) of mask
// bytes or 4-byte pixels, allocates nothing, and has a plain per-element loop
// that finishes what its vector loop leaves (and is the whole kernel where
// the vector instructions are missing); both compute the same integer
// formulas, so the bytes never depend on which one ran.
#pragma once

#include <cstdint>

#include "source/frame_buffer.h"

namespace maskrows {

// Exact floor(sum / window) for every sum a window of mask values can have,
// by a 16-bit multiply-high and a shift when one gives every quotient (checked
// once per window), else by integer division.
class WindowDivider {
 public:
  explicit WindowDivider(int32_t window);
  // Writes floor(sums[x] / window) for count sums.
  void Divide(const uint16_t* sums, uint8_t* out, int32_t count) const;
  // SumAlongRow over the window, then Divide, into out (which is none of
  // padded): out[x] = floor((padded[x] + … + padded[x + window − 1]) /
  // window) for x < width. work and sums are as SumAlongRow's.
  void AverageAlongRow(const uint8_t* padded, int32_t width, uint16_t* work, uint16_t* sums,
                       uint8_t* out) const;

 private:
  int32_t window_;
  uint32_t multiplier_ = 0;
  int32_t shift_ = 0;
};

// out[x] for from ≤ x < to: for 0 < x < width − 1 the median of the 3×3
// window around column x of the rows above, row and below; out[0] and
// out[width − 1] are row's.
void MedianRow(const uint8_t* above, const uint8_t* row, const uint8_t* below, uint8_t* out,
               int32_t width, int32_t from, int32_t to);

// The columns [begin, end) from the first to the last value that is not 0
// among values[from … to − 1]; begin == end when all are 0.
struct Extent {
  int32_t begin = 0;
  int32_t end = 0;
  bool Empty() const { return begin >= end; }
};
Extent NonZeroExtent(const uint8_t* values, int32_t from, int32_t to);
// The smallest extent holding both.
inline Extent Union(Extent a, Extent b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return Extent{a.begin < b.begin ? a.begin : b.begin, a.end > b.end ? a.end : b.end};
}

// out[x] = the largest of rows[0][x] … rows[count − 1][x], for from ≤ x < to.
void MaxOfRows(const uint8_t* const* rows, int32_t count, int32_t from, int32_t to, uint8_t* out);

// out[x] = the largest of padded[x] … padded[x + 2 reach], for x < width.
// padded holds width + 2 reach values and may be used as working space; out
// is none of it.
void MaxAlongRow(uint8_t* padded, int32_t width, int32_t reach, uint8_t* out);

// sums[x] = padded[x] + … + padded[x + window − 1], for x < width. padded
// holds width + window − 1 values; work holds as many 16-bit values. The
// sums must fit 16 bits (window ≤ 257).
void SumAlongRow(const uint8_t* padded, int32_t width, int32_t window, uint16_t* work,
                 uint16_t* sums);

// sums[x] += entering[x] − leaving[x] (16-bit, wrapping).
void SlideSums(uint16_t* sums, const uint8_t* entering, const uint8_t* leaving, int32_t width);

// BlendByMask on count pixels that all have a neighbour and a mask value.
void BlendPixels(const uint8_t* current, const uint8_t* neighbour, const uint8_t* mask,
                 uint8_t* out, int32_t count);

// Row y of BlendByMask: the mask-weighted mix of current and neighbour into
// out, current's pixel where the neighbour or the mask has none.
void BlendMaskRow(const FrameBuffer& current, const FrameBuffer& neighbour, const FrameBuffer& mask,
                  FrameBuffer& out, int32_t y);
// How many pixels of row y BlendMaskRow mixes, from the left; the rest keep
// current's.
int32_t BlendedColumns(const FrameBuffer& current, const FrameBuffer& neighbour,
                       const FrameBuffer& mask, int32_t y);

}  // namespace maskrows
