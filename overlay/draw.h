// Drawing primitives for the overlay buffer.
//
// Rules common to everything here:
// - Targets are 4-byte image FrameBuffers (blue, green, red, alpha); the
//   caller owns them and nothing here allocates.
// - Drawing clips to the target's view rectangle; a target without pixels
//   (data null or an empty view) is left alone. Nothing reports failure.
// - Colours are given as the four bytes in memory order and are laid over
//   the old pixel with BlendPixel.
#pragma once

#include <cstdint>

#include "overlay/corvalis_overlay.h"
#include "source/frame_buffer.h"

// One pixel or colour, its bytes in memory order.
struct Colour {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t alpha = 0;

  bool operator==(const Colour& other) const {
    return blue == other.blue && green == other.green && red == other.red && alpha == other.alpha;
  }
  bool operator!=(const Colour& other) const { return !(*this == other); }
};

// A target and the colour that rectangles and lines are drawn in.
struct Pen {
  FrameBuffer& target;
  Colour colour;
};

// The coverage that replaces a pixel outright.
constexpr int kOpaque = 255;

// Integer division by 255, truncating, for the non-negative sums of blending.
inline int DivideBy255(int value) { return value / 255; }

// The old pixel with the colour laid over it at the colour's alpha.
Colour BlendPixel(Colour old, Colour colour);

// The four bytes at pixel, as a Colour, and back.
inline Colour LoadPixel(const uint8_t* pixel) {
  return Colour{pixel[0], pixel[1], pixel[2], pixel[3]};
}
inline void StorePixel(uint8_t* pixel, Colour colour) {
  pixel[0] = colour.blue;
  pixel[1] = colour.green;
  pixel[2] = colour.red;
  pixel[3] = colour.alpha;
}

// Pixel (x, y) of an image buffer; the caller has checked the bounds.
inline uint8_t* PixelAt(FrameBuffer& target, int x, int y) {
  return target.Row(y) + static_cast<intptr_t>(x) * 4;
}

// The rectangle cut to the target's view; empty (bottom <= top or
// right <= left) when nothing of it can be drawn, also for a target
// without pixels.
PixelRect ClipToView(const FrameBuffer& target, const PixelRect& rect);

// Blends the pen colour into every pixel of the rectangle.
void FillRect(const Pen& pen, const PixelRect& rect);

// Blends the pen colour once into each pixel of the rectangle's one-pixel
// border (rows top and bottom - 1, columns left and right - 1).
void FrameRect(const Pen& pen, const PixelRect& rect);

// A vertical or horizontal run from the smaller coordinate up to, not
// including, the larger; any other pair of points a Bresenham line that
// includes both end points.
void DrawLine(const Pen& pen, int x0, int y0, int x1, int y1);
