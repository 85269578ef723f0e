// Overlay drawing primitives and waypoint markers: byte results, clipping
// and placement.
#include "overlay/draw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <utility>

#include "overlay/font.h"
#include "overlay/markers.h"
#include "source/frame_buffer.h"

namespace {

constexpr Colour kBackground{40, 80, 120, 60};
constexpr Colour kInkWhite{255, 255, 255, 255};

FrameRef Canvas(int width, int height, Colour background = kBackground) {
  FrameRef image = NewImage(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) StorePixel(PixelAt(*image, x, y), background);
  }
  return image;
}

Colour At(const FrameRef& image, int x, int y) { return LoadPixel(PixelAt(*image, x, y)); }

// The pixels of the image that differ from the background, as (x, y).
std::set<std::pair<int, int>> Changed(const FrameRef& image, Colour background = kBackground) {
  std::set<std::pair<int, int>> changed;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      if (At(image, x, y) != background) changed.insert({x, y});
    }
  }
  return changed;
}

using Pixels = std::set<std::pair<int, int>>;

TEST(OverlayDrawBlend, AlphaRules) {
  const Colour old{0, 100, 255, 200};
  EXPECT_EQ(BlendPixel(old, Colour{1, 2, 3, 255}), (Colour{1, 2, 3, 255}))
      << "full coverage replaces the alpha byte too";
  EXPECT_EQ(BlendPixel(old, Colour{1, 2, 3, 0}), old);
  // (0×127 + 255×128)/255 = 128, (100×127)/255 = 49.8 → 49,
  // (255×127 + 10×128)/255 = 132.02 → 132; alpha keeps the larger.
  EXPECT_EQ(BlendPixel(old, Colour{255, 0, 10, 128}), (Colour{128, 49, 132, 200}));
  EXPECT_EQ(BlendPixel(Colour{0, 100, 255, 50}, Colour{255, 0, 10, 128}),
            (Colour{128, 49, 132, 128}));
  // 254 × 1 / 255 truncates to 0.
  EXPECT_EQ(BlendPixel(Colour{0, 0, 0, 0}, Colour{254, 254, 254, 1}), (Colour{0, 0, 0, 1}));
}

TEST(OverlayDrawRect, FillClipsToTheBuffer) {
  FrameRef image = Canvas(8, 6);
  FillRect(Pen{*image, kInkWhite}, PixelRect{-3, -2, 2, 3});
  Pixels expected;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) expected.insert({x, y});
  }
  EXPECT_EQ(Changed(image), expected);

  FrameRef untouched = Canvas(8, 6);
  for (const PixelRect& outside :
       {PixelRect{0, 8, 6, 20}, PixelRect{6, 0, 9, 8}, PixelRect{-5, -5, 0, 0},
        PixelRect{4, 4, 2, 6}, PixelRect{2, 2, 2, 6}}) {
    FillRect(Pen{*untouched, kInkWhite}, outside);
  }
  EXPECT_TRUE(Changed(untouched).empty());
}

TEST(OverlayDrawRect, FillBlendsAndLeavesRowPaddingAlone) {
  FrameRef image(FrameBuffer::CreateImage(3, 2, 16));  // 4 padding bytes a row
  for (int i = 0; i < 32; ++i) image->data[i] = 7;
  FillRect(Pen{*image, Colour{255, 0, 0, 51}}, PixelRect{0, 0, 2, 3});
  for (int y = 0; y < 2; ++y) {
    // (7×204 + 255×51)/255 = 56.6 → 56 and 7×204/255 = 5.6 → 5; alpha max(7, 51).
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At(image, x, y), (Colour{56, 5, 5, 51}));
    for (int pad = 12; pad < 16; ++pad) EXPECT_EQ(image->data[y * 16 + pad], 7);
  }
}

TEST(OverlayDrawRect, BuffersWithoutPixelsAreLeftAlone) {
  for (auto [width, height] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
    FrameRef empty = NewImage(width, height);
    ASSERT_EQ(empty->data, nullptr);
    const Pen pen{*empty, kInkWhite};
    FillRect(pen, PixelRect{0, 0, 10, 10});
    FrameRect(pen, PixelRect{0, 0, 10, 10});
    DrawLine(pen, 0, 0, 9, 4);
    DrawLine(pen, 2, 0, 2, 9);
    DrawText("0123", *empty, 0, 0, kInkWhite);
    DrawLabel(*empty, 0, 0, kInkWhite, "12");
    DrawMarker(*empty, 3, 3, "1", true);
    EXPECT_EQ(ClipToView(*empty, PixelRect{0, 0, 10, 10}).bottom, 0);
  }
}

TEST(OverlayDrawRect, FrameBlendsEachBorderPixelOnce) {
  FrameRef image = Canvas(10, 8);
  const Colour translucent{200, 200, 200, 100};
  FrameRect(Pen{*image, translucent}, PixelRect{1, 2, 5, 7});
  const Colour once = BlendPixel(kBackground, translucent);
  Pixels border;
  for (int x = 2; x < 7; ++x) border.insert({x, 1}), border.insert({x, 4});
  for (int y = 1; y < 5; ++y) border.insert({2, y}), border.insert({6, y});
  EXPECT_EQ(Changed(image), border);
  for (auto [x, y] : border) EXPECT_EQ(At(image, x, y), once) << x << "," << y;

  FrameRef thin = Canvas(10, 8);
  FrameRect(Pen{*thin, translucent}, PixelRect{3, 1, 4, 6});
  for (int x = 1; x < 6; ++x) EXPECT_EQ(At(thin, x, 3), once) << "one-row frame, column " << x;
  EXPECT_EQ(Changed(thin).size(), 5u);

  FrameRef clipped = Canvas(10, 8);
  FrameRect(Pen{*clipped, kInkWhite}, PixelRect{-1, -1, 3, 3});
  EXPECT_EQ(Changed(clipped), (Pixels{{0, 2}, {1, 2}, {2, 2}, {2, 0}, {2, 1}}));
}

TEST(OverlayDrawLine, RunsExcludeTheirFarEnd) {
  FrameRef image = Canvas(12, 10);
  DrawLine(Pen{*image, kInkWhite}, 5, 5, 9, 5);
  EXPECT_EQ(Changed(image), (Pixels{{5, 5}, {6, 5}, {7, 5}, {8, 5}}));

  FrameRef reversed = Canvas(12, 10);
  DrawLine(Pen{*reversed, kInkWhite}, 3, 8, 3, 6);
  EXPECT_EQ(Changed(reversed), (Pixels{{3, 6}, {3, 7}}));

  FrameRef point = Canvas(12, 10);
  DrawLine(Pen{*point, kInkWhite}, 4, 4, 4, 4);
  EXPECT_TRUE(Changed(point).empty());
}

TEST(OverlayDrawLine, RunsClipToTheBuffer) {
  FrameRef image = Canvas(12, 10);
  const Pen pen{*image, kInkWhite};
  DrawLine(pen, -5, 2, 3, 2);
  DrawLine(pen, 10, 7, 30, 7);
  DrawLine(pen, 11, -4, 11, 1);
  DrawLine(pen, 0, 12, 8, 12);   // below the last row
  DrawLine(pen, -1, 0, -1, 9);   // left of the first column
  DrawLine(pen, 12, 0, 12, 9);   // right of the last column
  DrawLine(pen, 0, -1, 11, -1);  // above the first row
  EXPECT_EQ(Changed(image), (Pixels{{0, 2}, {1, 2}, {2, 2}, {10, 7}, {11, 7}, {11, 0}}));
}

TEST(OverlayDrawLine, DiagonalsFollowBresenhamFromEitherEnd) {
  struct Case {
    int x0, y0, x1, y1;
    Pixels expected;
  };
  const Case cases[] = {
      // Shallow: offsets 0, 0.5, 1, 1.5, 2; halves round away from the left end.
      {0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}},
      // Steep, leaning left: offsets 0, 1/3, 2/3, 1 from the top end.
      {1, 0, 0, 3, {{1, 0}, {1, 1}, {0, 2}, {0, 3}}},
      // Exactly diagonal, upwards.
      {1, 4, 4, 1, {{1, 4}, {2, 3}, {3, 2}, {4, 1}}},
  };
  for (const Case& c : cases) {
    FrameRef forward = Canvas(8, 8);
    DrawLine(Pen{*forward, kInkWhite}, c.x0, c.y0, c.x1, c.y1);
    EXPECT_EQ(Changed(forward), c.expected) << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1;
    FrameRef backward = Canvas(8, 8);
    DrawLine(Pen{*backward, kInkWhite}, c.x1, c.y1, c.x0, c.y0);
    EXPECT_EQ(Changed(backward), c.expected) << "reversed";
  }
}

// A line clipped by a small buffer colours exactly the pixels that the same
// line colours in a buffer large enough to hold it whole.
TEST(OverlayDrawLine, ClippedLinesMatchTheUnclippedLine) {
  constexpr int kWidth = 9, kHeight = 7, kMargin = 20;
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> xs(-kMargin, kWidth + kMargin - 1);
  std::uniform_int_distribution<int> ys(-kMargin, kHeight + kMargin - 1);
  int clippedLines = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int x0 = xs(random), y0 = ys(random), x1 = xs(random), y1 = ys(random);
    FrameRef whole = Canvas(kWidth + 2 * kMargin, kHeight + 2 * kMargin);
    DrawLine(Pen{*whole, kInkWhite}, x0 + kMargin, y0 + kMargin, x1 + kMargin, y1 + kMargin);
    Pixels inside;
    for (auto [x, y] : Changed(whole)) {
      const int bx = x - kMargin, by = y - kMargin;
      if (bx >= 0 && bx < kWidth && by >= 0 && by < kHeight) inside.insert({bx, by});
    }
    FrameRef small = Canvas(kWidth, kHeight);
    DrawLine(Pen{*small, kInkWhite}, x0, y0, x1, y1);
    ASSERT_EQ(Changed(small), inside) << x0 << "," << y0 << " to " << x1 << "," << y1;
    if (!inside.empty() && inside.size() < Changed(whole).size()) ++clippedLines;
  }
  EXPECT_GT(clippedLines, 20) << "the trials should cross the buffer's edges";
}

TEST(OverlayDrawLine, FarOutsideEndsAreRejectedOrClippedWithoutOverflow) {
  FrameRef image = Canvas(8, 4);
  const Pen pen{*image, kInkWhite};
  DrawLine(pen, -10, -3, 20, -1);  // both ends above
  DrawLine(pen, 9, -20, 30, 10);   // both ends to the right
  DrawLine(pen, -6, 2, 2, -6);     // passes the top-left corner outside
  EXPECT_TRUE(Changed(image).empty());

  // Over the whole int range the line crosses from row 0 to row 1 exactly
  // at x = 0 (step 2^31 of 2^32 − 1 rounds up).
  DrawLine(pen, INT32_MIN, 0, INT32_MAX, 1);
  Pixels row1;
  for (int x = 0; x < 8; ++x) row1.insert({x, 1});
  EXPECT_EQ(Changed(image), row1);
}

TEST(OverlayMarker, MasksAreTheTriangleAndItsInside) {
  for (int row = 0; row < kMarkerRows; ++row) {
    for (int column = 0; column < kMarkerColumns; ++column) {
      const bool outline = row == 6 || (row == 0 && (column == 6 || column == 7)) ||
                           (row >= 1 && row <= 5 && (column == 6 - row || column == 7 + row));
      const bool fill = row >= 1 && row <= 5 && column >= 7 - row && column <= 6 + row;
      EXPECT_EQ(MarkerMaskAt(MarkerMask::kOutlineBelow, row, column), outline ? 255 : 0)
          << row << "," << column;
      EXPECT_EQ(MarkerMaskAt(MarkerMask::kFillBelow, row, column), fill ? 255 : 0)
          << row << "," << column;
      EXPECT_EQ(MarkerMaskAt(MarkerMask::kOutlineAbove, 6 - row, column),
                MarkerMaskAt(MarkerMask::kOutlineBelow, row, column));
      EXPECT_EQ(MarkerMaskAt(MarkerMask::kFillAbove, 6 - row, column),
                MarkerMaskAt(MarkerMask::kFillBelow, row, column));
    }
  }
}

TEST(OverlayMarker, HangsBelowUnlessTheLabelWouldPassTheBottom) {
  constexpr int kHeight = 60, kX = 20;
  // y + 17 + 8 = 60 still fits: below, tip on the next row, label from y + 8.
  FrameRef below = Canvas(40, kHeight);
  DrawMarker(*below, kX, 35, "1", false);
  EXPECT_EQ(At(below, kX, 36), kMarkerOutline);
  EXPECT_EQ(At(below, kX + 1, 36), kMarkerOutline);
  EXPECT_EQ(At(below, kX - 6, 42), kMarkerOutline) << "base row, left end";
  EXPECT_EQ(At(below, kX + 7, 42), kMarkerOutline) << "base row, right end";
  EXPECT_EQ(At(below, kX, 38), kMarkerFill);
  EXPECT_EQ(At(below, kX, 35), kBackground) << "the point itself is left";
  EXPECT_EQ(At(below, kX - 6, 43), kMarkerLabelInk) << "label frame, top-left";
  EXPECT_EQ(At(below, kX + 7, 59), kMarkerLabelInk) << "label frame, bottom-right";
  EXPECT_EQ(At(below, kX, 50), kMarkerLabelFill)
      << "its digit would reach the last row, so the glyph is skipped";

  // One row lower the label no longer fits: above, pointing down.
  FrameRef above = Canvas(40, kHeight);
  DrawMarker(*above, kX, 36, "1", false);
  EXPECT_EQ(At(above, kX, 34), kMarkerOutline) << "tip just above the point";
  EXPECT_EQ(At(above, kX + 1, 34), kMarkerOutline);
  EXPECT_EQ(At(above, kX - 6, 28), kMarkerOutline) << "base row on top";
  EXPECT_EQ(At(above, kX, 32), kMarkerFill);
  EXPECT_EQ(At(above, kX, 35), kBackground);
  EXPECT_EQ(At(above, kX - 6, 11), kMarkerLabelInk) << "label top is y - 25";
  EXPECT_EQ(At(above, kX - 6, 27), kMarkerLabelInk) << "label bottom row";
  EXPECT_EQ(At(above, kX - 6, 10), kBackground);
  for (int y = 36; y < kHeight; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(At(above, x, y), kBackground) << x << "," << y;
  }
}

TEST(OverlayMarker, HighlightChangesFillAndDigit) {
  constexpr int kX = 20, kY = 5;
  FrameRef plain = Canvas(40, 60);
  DrawMarker(*plain, kX, kY, "0", false);
  FrameRef current = Canvas(40, 60);
  DrawMarker(*current, kX, kY, "0", true);
  EXPECT_EQ(At(plain, kX, kY + 3), kMarkerFill);
  EXPECT_EQ(At(current, kX, kY + 3), kMarkerFillCurrent);
  // The "0" glyph's first ink is row 0, column 3 of its cell at
  // (left + 2, top + 2) = (x − 4, y + 10).
  EXPECT_EQ(At(plain, kX - 1, kY + 10), kMarkerLabelInk);
  EXPECT_EQ(At(current, kX - 1, kY + 10), kMarkerLabelInkCurrent);
  EXPECT_EQ(At(plain, kX - 2, kY + 10), kMarkerLabelFill);
}

TEST(OverlayMarker, CutAtTheBufferEdgePixelByPixel) {
  FrameRef image = Canvas(12, 40);
  DrawMarker(*image, 2, 3, "5", false);  // left edge at column −4
  for (int x = 0; x <= 9; ++x) EXPECT_EQ(At(image, x, 10), kMarkerOutline) << "base, column " << x;
  EXPECT_EQ(At(image, 10, 10), kBackground);
  EXPECT_EQ(At(image, 2, 4), kMarkerOutline) << "tip";
  EXPECT_EQ(At(image, 0, 12), kMarkerLabelFill) << "label clipped, its left frame outside";
}

}  // namespace
