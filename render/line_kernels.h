// Line and pixel kernels: the only code that changes source fields on their
// way into the output.
//
// Rules common to every kernel here:
// - Images are 4-byte-pixel FrameBuffers owned by the caller; kernels
//   allocate nothing and never change geometry.
// - Bytes 0, 1 and 2 of a pixel are computed independently with the same
//   formula; byte 3 is carried only by the copies (CopyImage, CopyOverlap,
//   ShiftUpOneLine and the equal-rows case of AverageRows) and left alone by
//   every other kernel.
// - Integer arithmetic; divisions truncate toward zero, and so do
//   double-to-integer conversions.
// - Row y starts at data + y × rowBytes and holds width pixels; a buffer
//   without pixels (data null) makes every kernel do nothing.
#pragma once

#include <cstdint>

#include "source/frame_buffer.h"

// Copies all pixels of a source of equal size.
void CopyImage(FrameBuffer& destination, const FrameBuffer& source);
// Copies the common top-left region; other destination pixels are untouched.
void CopyOverlap(FrameBuffer& destination, const FrameBuffer& source);
// Adds the source scaled by level (low 8 bits of each product, wrapping).
void AccumulateScaled(FrameBuffer& destination, const FrameBuffer& source, double level);
// Two-tap half line: the floor of the mean of rows a and b.
void AverageRows(const uint8_t* a, const uint8_t* b, uint8_t* destination, int32_t count);
// Six-tap half line between rows 3 and 4, clamped to 0..255.
void InterpolateLine6(const uint8_t* row1, const uint8_t* row2, const uint8_t* row3,
                      const uint8_t* row4, const uint8_t* row5, const uint8_t* row6,
                      uint8_t* destination, int32_t count);
// Builds every destination line between the source field's lines; top says
// the source is the top field. Source and destination have equal size.
void InterpolateField(const FrameBuffer& source, FrameBuffer& destination, bool top, bool sixTap);
// CopyImage followed by InterpolateField in one pass: each pixel's fourth
// byte (and each row's padding) comes from the source, the rest is
// interpolated. Source and destination are different buffers of equal size.
void CopyAndInterpolateField(const FrameBuffer& source, FrameBuffer& destination, bool top,
                             bool sixTap);
// Pixels firstColumn … endColumn − 1 of row y of what CopyAndInterpolateField
// makes of source (padding aside), written into row (its pixel 0), so that a
// caller can make just the pixels it needs, where it needs them.
void CopyAndInterpolatePixels(const FrameBuffer& source, bool top, bool sixTap, int32_t y,
                              int32_t firstColumn, int32_t endColumn, uint8_t* row);
// Moves every line up by one, in place; the last line keeps its content.
void ShiftUpOneLine(FrameBuffer& image);
// Vertical (1 3 1)/5 smoothing in place, each row using the smoothed row above.
void SmoothVertical(FrameBuffer& image);
