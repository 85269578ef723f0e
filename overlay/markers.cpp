#include "overlay/markers.h"

#include <cstdint>

#include "overlay/font.h"

namespace {

// The triangle below its point, '#' full coverage: the outline is the tip,
// the two sloping sides and the base; the fill is the inside of the sides.
constexpr const char* kOutlineBelowArt[kMarkerRows] = {
    "......##......", ".....#..#.....", "....#....#....", "...#......#...",
    "..#........#..", ".#..........#.", "##############"};
constexpr const char* kFillBelowArt[kMarkerRows] = {
    "..............", "......##......", ".....####.....", "....######....",
    "...########...", "..##########..", ".............."};

// The tip is this many columns right of the marker's left edge.
constexpr int kTipOffset = 6;
// Rows from the point to the first row of the shape, below or above it.
constexpr int kShapeGapBelow = 1;
constexpr int kShapeGapAbove = 8;
// Rows from the point to the label's top, when hanging below, and from the
// label's glyph bottom to the point, when standing above.
constexpr int kLabelGapBelow = 8;
constexpr int kLabelGapAbove = 10;
// The label box is as wide as the shape: one cell with a two-pixel margin
// on the left and a one-pixel frame on the right.
constexpr int kLabelWidth = kMarkerColumns;
constexpr int kLabelTextInset = 2;

// Mask coverage: 0 leaves the pixel, 255 replaces it, anything between mixes
// all four bytes.
void ApplyMask(FrameBuffer& target, MarkerMask mask, int left, int top, Colour colour) {
  if (target.data == nullptr) return;
  for (int row = 0; row < kMarkerRows; ++row) {
    const int64_t y = int64_t{top} + row;
    if (y < target.viewTop || y >= target.viewBottom) continue;
    for (int column = 0; column < kMarkerColumns; ++column) {
      const int64_t x = int64_t{left} + column;
      if (x < target.viewLeft || x >= target.viewRight) continue;
      const int coverage = MarkerMaskAt(mask, row, column);
      if (coverage == 0) continue;
      uint8_t* pixel = PixelAt(target, static_cast<int>(x), static_cast<int>(y));
      if (coverage == kOpaque) {
        StorePixel(pixel, colour);
        continue;
      }
      const uint8_t paint[4] = {colour.blue, colour.green, colour.red, colour.alpha};
      for (int byte = 0; byte < 4; ++byte) {
        pixel[byte] = static_cast<uint8_t>(
            DivideBy255(pixel[byte] * (kOpaque - coverage) + paint[byte] * coverage));
      }
    }
  }
}

}  // namespace

uint8_t MarkerMaskAt(MarkerMask mask, int row, int column) {
  const bool above = mask == MarkerMask::kOutlineAbove || mask == MarkerMask::kFillAbove;
  const bool outline = mask == MarkerMask::kOutlineBelow || mask == MarkerMask::kOutlineAbove;
  const char* const* art = outline ? kOutlineBelowArt : kFillBelowArt;
  // A marker above its point is the one below turned upside down.
  const int artRow = above ? kMarkerRows - 1 - row : row;
  return art[artRow][column] == '#' ? kOpaque : 0;
}

void DrawMarker(FrameBuffer& target, int x, int y, std::string_view text, bool highlighted) {
  const int left = x - kTipOffset;
  // Above the point when a label hanging below would not fit the target.
  const bool above = int64_t{y} + kLineHeight + kLabelGapBelow > target.height;
  const int shapeTop = above ? y - kShapeGapAbove : y + kShapeGapBelow;
  const int labelTop = above ? y - kLabelGapAbove - kFontHeight : y + kLabelGapBelow;

  ApplyMask(target, above ? MarkerMask::kOutlineAbove : MarkerMask::kOutlineBelow, left, shapeTop,
            kMarkerOutline);
  ApplyMask(target, above ? MarkerMask::kFillAbove : MarkerMask::kFillBelow, left, shapeTop,
            highlighted ? kMarkerFillCurrent : kMarkerFill);

  const PixelRect label{labelTop, left, labelTop + kLineHeight, left + kLabelWidth};
  FillRect(Pen{target, kMarkerLabelFill}, label);
  FrameRect(Pen{target, kMarkerLabelInk}, label);
  DrawText(text, target, left + kLabelTextInset, labelTop + kLabelTextInset,
           highlighted ? kMarkerLabelInkCurrent : kMarkerLabelInk);
}
