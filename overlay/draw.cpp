#include "overlay/draw.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

// The part of the target that may be drawn on: its view, or nothing when
// it has no pixels.
PixelRect ViewOf(const FrameBuffer& target) {
  if (target.data == nullptr) return PixelRect{};
  return PixelRect{target.viewTop, target.viewLeft, target.viewBottom, target.viewRight};
}

// Blends the colour into the rectangle given in 64-bit coordinates, so that
// callers may pass x + 1 or y + 1 of any int without overflow.
void BlendRect(FrameBuffer& target, int64_t top, int64_t left, int64_t bottom, int64_t right,
               Colour colour) {
  if (colour.alpha == 0) return;
  const PixelRect view = ViewOf(target);
  const int64_t y0 = std::max<int64_t>(top, view.top);
  const int64_t y1 = std::min<int64_t>(bottom, view.bottom);
  const int64_t x0 = std::max<int64_t>(left, view.left);
  const int64_t x1 = std::min<int64_t>(right, view.right);
  for (int64_t y = y0; y < y1; ++y) {
    for (int64_t x = x0; x < x1; ++x) {
      uint8_t* pixel = PixelAt(target, static_cast<int>(x), static_cast<int>(y));
      StorePixel(pixel, BlendPixel(LoadPixel(pixel), colour));
    }
  }
}

// Cohen–Sutherland region codes against a view whose bottom and right are
// exclusive.
enum RegionBits : int { kInside = 0, kLeftOf = 1, kRightOf = 2, kAbove = 4, kBelow = 8 };

int RegionCode(const PixelRect& view, int x, int y) {
  int code = kInside;
  if (x < view.left) code |= kLeftOf;
  if (x >= view.right) code |= kRightOf;
  if (y < view.top) code |= kAbove;
  if (y >= view.bottom) code |= kBelow;
  return code;
}

// The minor-axis offset of step i of a line that advances `minor` units over
// `major` steps (0 < minor <= major < 2^32): i × minor / major rounded to
// nearest, halves away from the start. Split as quotient and remainder so no
// product overflows.
struct StepOffset {
  uint64_t quotient;
  uint64_t remainder;
};

StepOffset OffsetAt(uint64_t step, uint64_t major, uint64_t minor) {
  const uint64_t product = step * minor;
  return StepOffset{product / major, product % major};
}

uint64_t Rounded(const StepOffset& offset, uint64_t major) {
  return offset.quotient + (2 * offset.remainder >= major ? 1 : 0);
}

// The first step (0 to major) whose offset is at least `wanted`, or
// major + 1 when none is.
int64_t FirstStepReaching(int64_t wanted, uint64_t major, uint64_t minor) {
  if (wanted <= 0) return 0;
  if (static_cast<uint64_t>(wanted) > minor) return static_cast<int64_t>(major) + 1;
  uint64_t low = 0;
  uint64_t high = major;  // the last step's offset is `minor`, which reaches `wanted`
  while (low < high) {
    const uint64_t middle = low + (high - low) / 2;
    if (Rounded(OffsetAt(middle, major, minor), major) >= static_cast<uint64_t>(wanted)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return static_cast<int64_t>(low);
}

// Bresenham's line between two points that differ in both coordinates,
// stepping only over the steps whose pixel lies in the view. The steps are
// always taken from the end with the smaller major coordinate, so a line
// covers the same pixels whichever way round its ends are given.
void DrawDiagonal(const Pen& pen, int x0, int y0, int x1, int y1) {
  const PixelRect view = ViewOf(pen.target);
  if (view.bottom <= view.top || view.right <= view.left) return;
  if ((RegionCode(view, x0, y0) & RegionCode(view, x1, y1)) != 0) return;

  const bool steep = std::abs(int64_t{y1} - y0) > std::abs(int64_t{x1} - x0);
  int64_t majorStart = steep ? y0 : x0;
  int64_t minorStart = steep ? x0 : y0;
  int64_t majorEnd = steep ? y1 : x1;
  int64_t minorEnd = steep ? x1 : y1;
  if (majorStart > majorEnd) {
    std::swap(majorStart, majorEnd);
    std::swap(minorStart, minorEnd);
  }
  const uint64_t major = static_cast<uint64_t>(majorEnd - majorStart);
  const int64_t minorSign = minorEnd > minorStart ? 1 : -1;
  const uint64_t minor = static_cast<uint64_t>((minorEnd - minorStart) * minorSign);

  const int64_t majorLow = steep ? view.top : view.left;
  const int64_t majorHigh = steep ? view.bottom : view.right;  // exclusive
  const int64_t minorLow = steep ? view.left : view.top;
  const int64_t minorHigh = steep ? view.right : view.bottom;  // exclusive

  // Steps whose major coordinate is inside the view.
  int64_t first = std::max<int64_t>(0, majorLow - majorStart);
  int64_t last = std::min<int64_t>(static_cast<int64_t>(major), majorHigh - 1 - majorStart);
  // Offsets whose minor coordinate is inside the view; offsets only grow
  // with the step, so they bound the steps to one more interval.
  const int64_t offsetLow = minorSign > 0 ? minorLow - minorStart : minorStart - (minorHigh - 1);
  const int64_t offsetHigh = minorSign > 0 ? minorHigh - 1 - minorStart : minorStart - minorLow;
  first = std::max(first, FirstStepReaching(offsetLow, major, minor));
  last = std::min(last, FirstStepReaching(offsetHigh + 1, major, minor) - 1);
  if (first > last) return;

  // The error term of the first visible step, then Bresenham's increments.
  StepOffset offset = OffsetAt(static_cast<uint64_t>(first), major, minor);
  for (int64_t step = first; step <= last; ++step) {
    const int64_t majorAt = majorStart + step;
    const int64_t minorAt = minorStart + minorSign * static_cast<int64_t>(Rounded(offset, major));
    const int x = static_cast<int>(steep ? minorAt : majorAt);
    const int y = static_cast<int>(steep ? majorAt : minorAt);
    uint8_t* pixel = PixelAt(pen.target, x, y);
    StorePixel(pixel, BlendPixel(LoadPixel(pixel), pen.colour));
    offset.remainder += minor;
    if (offset.remainder >= major) {
      offset.remainder -= major;
      ++offset.quotient;
    }
  }
}

}  // namespace

Colour BlendPixel(Colour old, Colour colour) {
  const int a = colour.alpha;
  if (a == kOpaque) return colour;
  if (a == 0) return old;
  auto mix = [a](uint8_t from, uint8_t to) {
    return static_cast<uint8_t>(DivideBy255(from * (kOpaque - a) + to * a));
  };
  return Colour{mix(old.blue, colour.blue), mix(old.green, colour.green), mix(old.red, colour.red),
                std::max(old.alpha, colour.alpha)};
}

PixelRect ClipToView(const FrameBuffer& target, const PixelRect& rect) {
  const PixelRect view = ViewOf(target);
  PixelRect clipped{std::max(rect.top, view.top), std::max(rect.left, view.left),
                    std::min(rect.bottom, view.bottom), std::min(rect.right, view.right)};
  if (clipped.bottom <= clipped.top || clipped.right <= clipped.left) return PixelRect{};
  return clipped;
}

void FillRect(const Pen& pen, const PixelRect& rect) {
  BlendRect(pen.target, rect.top, rect.left, rect.bottom, rect.right, pen.colour);
}

void FrameRect(const Pen& pen, const PixelRect& rect) {
  if (rect.bottom <= rect.top || rect.right <= rect.left) return;
  // Each border pixel is blended once, so a translucent frame has even
  // corners and a rectangle one pixel high or wide is not darkened twice.
  const int64_t top = rect.top;
  const int64_t bottom = rect.bottom;
  BlendRect(pen.target, top, rect.left, top + 1, rect.right, pen.colour);
  if (bottom - 1 > top)
    BlendRect(pen.target, bottom - 1, rect.left, bottom, rect.right, pen.colour);
  BlendRect(pen.target, top + 1, rect.left, bottom - 1, int64_t{rect.left} + 1, pen.colour);
  if (rect.right - 1 > rect.left) {
    BlendRect(pen.target, top + 1, int64_t{rect.right} - 1, bottom - 1, rect.right, pen.colour);
  }
}

void DrawLine(const Pen& pen, int x0, int y0, int x1, int y1) {
  if (x0 == x1) {
    BlendRect(pen.target, std::min(y0, y1), x0, std::max(y0, y1), int64_t{x0} + 1, pen.colour);
  } else if (y0 == y1) {
    BlendRect(pen.target, y0, std::min(x0, x1), int64_t{y0} + 1, std::max(x0, x1), pen.colour);
  } else {
    DrawDiagonal(pen, x0, y0, x1, y1);
  }
}
