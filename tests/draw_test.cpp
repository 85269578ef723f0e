// Overlay drawing primitives, waypoint markers and the built-in font: the
// clipping, blending and placement edges the overlay's golden picture misses.
#include "overlay/draw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>

#include "golden_png.h"
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

using Pixels = std::set<std::pair<int, int>>;

// The pixels of the image that differ from the background, as (x, y).
Pixels Changed(const FrameRef& image, Colour background = kBackground) {
  Pixels changed;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      if (At(image, x, y) != background) changed.insert({x, y});
    }
  }
  return changed;
}

Pixels Block(int left, int top, int right, int bottom) {  // inclusive corners
  Pixels block;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) block.insert({x, y});
  }
  return block;
}

Pixels operator&(const Pixels& a, const Pixels& b) {
  Pixels both;
  for (const auto& pixel : a) {
    if (b.count(pixel)) both.insert(pixel);
  }
  return both;
}

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
  EXPECT_EQ(Changed(image), Block(0, 0, 2, 1));

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
  for (auto [width, height] : {std::pair{0, 5}, std::pair{5, 0}}) {
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

// Runs cover their ends' span less the far end; every line colours the same
// pixels drawn from either end, and lines just outside the 12 × 10 buffer
// colour nothing.
TEST(OverlayDrawLine, LinesColourTheSamePixelsFromEitherEnd) {
  struct Case {
    int x0, y0, x1, y1;
    Pixels expected;
  };
  // clang-format off
  const Case cases[] = {
      {5, 5, 9, 5, {{5, 5}, {6, 5}, {7, 5}, {8, 5}}},
      {3, 8, 3, 6, {{3, 6}, {3, 7}}},
      {4, 4, 4, 4, {}},
      {0, 12, 8, 12, {}}, {-1, 0, -1, 9, {}}, {12, 0, 12, 9, {}}, {0, -1, 11, -1, {}},
      // Shallow: offsets 0, 0.5, 1, 1.5, 2; halves round away from the left end.
      {0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}},
      // Steep, leaning left: offsets 0, 1/3, 2/3, 1 from the top end.
      {1, 0, 0, 3, {{1, 0}, {1, 1}, {0, 2}, {0, 3}}},
      {1, 4, 4, 1, {{1, 4}, {2, 3}, {3, 2}, {4, 1}}},
      // Over the whole int range, without overflow, the line crosses from row 0
      // to row 1 exactly at x = 0 (step 2^31 of 2^32 − 1 rounds up).
      {INT32_MIN, 0, INT32_MAX, 1, Block(0, 1, 11, 1)},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1);
    FrameRef forward = Canvas(12, 10);
    DrawLine(Pen{*forward, kInkWhite}, c.x0, c.y0, c.x1, c.y1);
    EXPECT_EQ(Changed(forward), c.expected);
    FrameRef backward = Canvas(12, 10);
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

// Where each part lands, and the highlight, a whole overlay's golden picture
// pins; here the choice between below and above at its very edge.
TEST(OverlayMarker, HangsBelowUnlessTheLabelWouldPassTheBottom) {
  constexpr int kHeight = 60, kX = 20;
  // y + 17 + 8 = 60 still fits: below, tip on the next row, label from y + 8.
  FrameRef below = Canvas(40, kHeight);
  DrawMarker(*below, kX, 35, "1", false);
  EXPECT_EQ(At(below, kX, 36), kMarkerOutline);
  EXPECT_EQ(At(below, kX, 35), kBackground) << "the point itself is left";
  EXPECT_EQ(At(below, kX + 7, 59), kMarkerLabelInk) << "label frame, bottom-right";
  EXPECT_EQ(At(below, kX, 50), kMarkerLabelFill)
      << "its digit would reach the last row, so the glyph is skipped";

  // One row lower the label no longer fits: above, pointing down.
  FrameRef above = Canvas(40, kHeight);
  DrawMarker(*above, kX, 36, "1", false);
  EXPECT_EQ(At(above, kX, 34), kMarkerOutline) << "tip just above the point";
  EXPECT_EQ(At(above, kX - 6, 11), kMarkerLabelInk) << "label top is y - 25";
  EXPECT_EQ(At(above, kX - 6, 10), kBackground);
  EXPECT_EQ(Changed(above), Changed(above) & Block(0, 0, 39, 35)) << "nothing at or below y";
}

TEST(OverlayMarker, CutAtTheBufferEdgePixelByPixel) {
  FrameRef image = Canvas(12, 40);
  DrawMarker(*image, 2, 3, "5", false);  // left edge at column −4
  for (int x = 0; x <= 9; ++x) EXPECT_EQ(At(image, x, 10), kMarkerOutline) << "base, column " << x;
  EXPECT_EQ(At(image, 10, 10), kBackground);
  EXPECT_EQ(At(image, 0, 12), kMarkerLabelFill) << "label clipped, its left frame outside";
}

constexpr Colour kPaper{0, 0, 0, 0};
constexpr Colour kInk{16, 255, 16, 255};

FrameRef Paper(int width, int height) { return Canvas(width, height, kPaper); }
Pixels Inked(const FrameRef& image) { return Changed(image, kPaper); }

// Every glyph, one cell apart, with a character outside the charset leaving
// its cell empty: the bytes pin each glyph's shape and the advance.
TEST(OverlayFont, EveryGlyphByteExact) {
  const std::string charset = "0123456789+-:;.,";
  for (int i = 0; i < 16; ++i) EXPECT_EQ(GlyphIndex(charset[i]), i) << charset[i];
  for (char other : {'A', '/', '<', '\0', '\xff'}) EXPECT_EQ(GlyphIndex(other), -1) << +other;
  FrameRef strip = Paper(17 * kCellWidth + 1, kFontHeight + 1);
  DrawText("0123456789+-:x;.,", *strip, 0, 0, kInk);
  const std::vector<uint8_t> bytes(strip->data, strip->data + strip->rowBytes * strip->height);
  EXPECT_EQ(golden::HashBytes(bytes), 0x8905272772bf4f9dU);
}

TEST(OverlayFont, GlyphsAreDrawnOnlyWhole) {
  // A glyph may not touch the last row or column of the target.
  FrameRef image = Paper(40, 100);
  DrawChar('8', *image, 5, 85, kInk);
  DrawChar('8', *image, 29, 5, kInk);  // 29 + 11 = 40, the width
  DrawChar('8', *image, -1, 5, kInk);
  DrawChar('8', *image, 5, -1, kInk);
  EXPECT_TRUE(Inked(image).empty());

  DrawChar('8', *image, 28, 84, kInk);
  const Pixels ink = Inked(image);
  ASSERT_FALSE(ink.empty());
  EXPECT_EQ(ink, ink & Block(28, 84, 38, 98)) << "never the last row";
  // Ink is laid over the target with the colour's alpha.
  FrameRef faint = Paper(20, 20);
  DrawChar('.', *faint, 1, 1, Colour{255, 255, 255, 0});
  EXPECT_TRUE(Inked(faint).empty());
  DrawChar('.', *faint, 1, 1, Colour{255, 0, 0, 51});
  EXPECT_EQ(At(faint, 5, 11), (Colour{51, 0, 0, 51}));
}

}  // namespace
