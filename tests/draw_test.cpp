// Overlay drawing primitives, waypoint markers and the built-in font: byte
// results, clipping and placement.
#include "overlay/draw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <set>
#include <string>
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

// Runs cover their ends' span less the far end; every line colours the same
// pixels drawn from either end, and is cut at the 12 × 10 buffer's edges
// without overflow however far outside its ends lie.
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
      {-5, 2, 3, 2, {{0, 2}, {1, 2}, {2, 2}}},
      {10, 7, 30, 7, {{10, 7}, {11, 7}}},
      {11, -4, 11, 1, {{11, 0}}},
      {0, 12, 8, 12, {}}, {-1, 0, -1, 9, {}}, {12, 0, 12, 9, {}}, {0, -1, 11, -1, {}},
      // Shallow: offsets 0, 0.5, 1, 1.5, 2; halves round away from the left end.
      {0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}},
      // Steep, leaning left: offsets 0, 1/3, 2/3, 1 from the top end.
      {1, 0, 0, 3, {{1, 0}, {1, 1}, {0, 2}, {0, 3}}},
      {1, 4, 4, 1, {{1, 4}, {2, 3}, {3, 2}, {4, 1}}},
      // Far outside: both ends above, both to the right, past the top-left corner.
      {-10, -3, 20, -1, {}}, {9, -20, 30, 10, {}}, {-6, 2, 2, -6, {}},
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

// Where each part lands, and the highlight, a whole overlay's golden picture
// pins; here the choice between below and above at its very edge.
TEST(OverlayMarker, HangsBelowUnlessTheLabelWouldPassTheBottom) {
  constexpr int kHeight = 60, kX = 20;
  // y + 17 + 8 = 60 still fits: below, tip on the next row, label from y + 8.
  FrameRef below = Canvas(40, kHeight);
  DrawMarker(*below, kX, 35, "1", false);
  EXPECT_EQ(At(below, kX, 36), kMarkerOutline);
  EXPECT_EQ(At(below, kX + 1, 36), kMarkerOutline);
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
  EXPECT_EQ(At(above, kX, 35), kBackground);
  EXPECT_EQ(At(above, kX - 6, 11), kMarkerLabelInk) << "label top is y - 25";
  EXPECT_EQ(At(above, kX - 6, 27), kMarkerLabelInk) << "label bottom row";
  EXPECT_EQ(At(above, kX - 6, 10), kBackground);
  for (int y = 36; y < kHeight; ++y) {
    for (int x = 0; x < 40; ++x) ASSERT_EQ(At(above, x, y), kBackground) << x << "," << y;
  }
}

TEST(OverlayMarker, CutAtTheBufferEdgePixelByPixel) {
  FrameRef image = Canvas(12, 40);
  DrawMarker(*image, 2, 3, "5", false);  // left edge at column −4
  for (int x = 0; x <= 9; ++x) EXPECT_EQ(At(image, x, 10), kMarkerOutline) << "base, column " << x;
  EXPECT_EQ(At(image, 10, 10), kBackground);
  EXPECT_EQ(At(image, 2, 4), kMarkerOutline) << "tip";
  EXPECT_EQ(At(image, 0, 12), kMarkerLabelFill) << "label clipped, its left frame outside";
}

constexpr Colour kPaper{0, 0, 0, 0};
constexpr Colour kInk{16, 255, 16, 255};
const std::string kCharset = "0123456789+-:;.,";

FrameRef Paper(int width, int height) { return Canvas(width, height, kPaper); }
Pixels Inked(const FrameRef& image) { return Changed(image, kPaper); }

// The glyph's ink in cell coordinates, drawn into the smallest target that
// takes it whole.
Pixels GlyphInk(char ch) {
  FrameRef cell = Paper(kCellWidth + 1, kFontHeight + 1);
  DrawChar(ch, *cell, 0, 0, kInk);
  return Inked(cell);
}

TEST(OverlayFontGlyphs, LookupFollowsTheCharset) {
  ASSERT_EQ(kOverlayFont.glyphCount, 16);
  EXPECT_EQ(std::string(kOverlayFont.charset, 16), kCharset);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(GlyphIndex(kCharset[i]), i) << kCharset[i];
  for (char other : {'A', 'a', ' ', '/', '<', '\0', '\xff'}) {
    EXPECT_EQ(GlyphIndex(other), -1) << static_cast<int>(other);
  }
}

TEST(OverlayFontGlyphs, ZeroIsTheGivenShape) {
  const char* const rows[] = {"...####....", "..######...", "..##..##...", ".##....##..",
                              ".##....##..", ".##....##..", ".##....##..", ".##....##..",
                              ".##....##..", "..##..##...", "..######...", "...####...."};
  Pixels expected;
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 11; ++x) {
      if (rows[y][x] == '#') expected.insert({x, y});
    }
  }
  EXPECT_EQ(GlyphInk('0'), expected);
}

TEST(OverlayFontGlyphs, InkStaysWithinEachGlyphsExtent) {
  for (char ch : kCharset) {
    const Pixels ink = GlyphInk(ch);
    ASSERT_FALSE(ink.empty()) << ch;
    int top = kFontHeight, bottom = -1;
    for (auto [x, y] : ink) {
      EXPECT_LT(x, kCellWidth) << ch;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
    if (ch >= '0' && ch <= '9') {
      EXPECT_EQ(top, 0) << ch;
      EXPECT_EQ(bottom, 11) << ch;
    } else if (ch == '+') {
      EXPECT_EQ(top, 2);
      EXPECT_EQ(bottom, 11);
    } else if (ch == ';' || ch == ',') {
      EXPECT_EQ(bottom, 14) << ch;
    }
  }
  const Pixels upperDot = Block(4, 4, 6, 5);
  const Pixels lowerDot = Block(4, 10, 6, 11);
  Pixels colon = upperDot;
  colon.insert(lowerDot.begin(), lowerDot.end());
  EXPECT_EQ(GlyphInk(':'), colon);
  EXPECT_EQ(GlyphInk('.'), lowerDot);
  std::set<int> minusRows;
  for (auto [x, y] : GlyphInk('-')) minusRows.insert(y);
  EXPECT_EQ(minusRows, (std::set<int>{6, 7}));
  // ";" is ":" with a tail, "," is "." with the same tail.
  for (auto [x, y] : GlyphInk(':')) EXPECT_TRUE(GlyphInk(';').count({x, y}));
  EXPECT_EQ(GlyphInk(';').size() - GlyphInk(':').size(), GlyphInk(',').size() - lowerDot.size());

  // Every glyph is its own shape, and the strip past the last cell is blank.
  std::set<Pixels> shapes;
  for (char ch : kCharset) shapes.insert(GlyphInk(ch));
  EXPECT_EQ(shapes.size(), kCharset.size());
  for (int row = 0; row < kOverlayFont.height; ++row) {
    for (int column = 176; column < 180; ++column) {
      EXPECT_EQ(kOverlayFont.bitmap[row * kOverlayFont.rowBytes + column], 0);
    }
  }
}

TEST(OverlayFontText, GlyphsAreDrawnOnlyWhole) {
  // A glyph may not touch the last row or column of the target.
  FrameRef image = Paper(40, 100);
  DrawChar('8', *image, 5, 85, kInk);
  DrawChar('8', *image, 29, 5, kInk);  // 29 + 11 = 40, the width
  DrawChar('8', *image, -1, 5, kInk);
  DrawChar('8', *image, 5, -1, kInk);
  DrawChar('A', *image, 5, 5, kInk);
  EXPECT_TRUE(Inked(image).empty());

  DrawChar('8', *image, 28, 84, kInk);
  const Pixels ink = Inked(image);
  ASSERT_FALSE(ink.empty());
  for (auto [x, y] : ink) {
    EXPECT_GE(x, 28);
    EXPECT_GE(y, 84);
    EXPECT_LT(y, 99) << "never the last row";
  }
  // Ink is laid over the target with the colour's alpha.
  FrameRef faint = Paper(20, 20);
  DrawChar('.', *faint, 1, 1, Colour{255, 255, 255, 0});
  EXPECT_TRUE(Inked(faint).empty());
  DrawChar('.', *faint, 1, 1, Colour{255, 0, 0, 51});
  EXPECT_EQ(At(faint, 5, 11), (Colour{51, 0, 0, 51}));
}

TEST(OverlayFontText, TextAdvancesOneCellPerCharacter) {
  EXPECT_EQ(TextWidth(""), 0);
  EXPECT_EQ(TextWidth("abc"), 33);

  FrameRef text = Paper(60, 20);
  DrawText("0x1", *text, 2, 1, kInk);
  Pixels expected;
  for (auto [x, y] : GlyphInk('0')) expected.insert({x + 2, y + 1});
  for (auto [x, y] : GlyphInk('1')) expected.insert({x + 24, y + 1});
  EXPECT_EQ(Inked(text), expected) << "the letter leaves an empty cell";

  // Cells that do not fit whole are skipped; the ones before them are drawn.
  FrameRef narrow = Paper(30, 20);
  DrawText("111", *narrow, 2, 1, kInk);
  int rightmost = 0;
  for (auto [x, y] : Inked(narrow)) rightmost = std::max(rightmost, x);
  EXPECT_GE(rightmost, 13);
  EXPECT_LT(rightmost, 24);
}

TEST(OverlayFontLabel, ShadesABoxAroundTheText) {
  FrameRef image = NewImage(30, 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) StorePixel(PixelAt(*image, x, y), Colour{255, 100, 0, 50});
  }
  StorePixel(PixelAt(*image, 10, 10), Colour{255, 100, 0, 200});
  DrawLabel(*image, 10, 8, kInk, "");
  // An empty text still shades 4 columns by 19 rows: (x − 2, y − 2) to (x + 1, y + 16).
  int shaded = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 30; ++x) {
      const bool inBox = x >= 8 && x <= 11 && y >= 6 && y <= 24;
      const Colour pixel = At(image, x, y);
      if (!inBox) {
        EXPECT_EQ(pixel, (Colour{255, 100, 0, 50})) << x << "," << y;
        continue;
      }
      ++shaded;
      // (136 × 255 + 2380)/255 = 145, (136 × 100 + 2380)/255 = 62, 2380/255 = 9.
      EXPECT_EQ(pixel.blue, 145);
      EXPECT_EQ(pixel.green, 62);
      EXPECT_EQ(pixel.red, 9);
      EXPECT_EQ(pixel.alpha, (x == 10 && y == 10) ? 200 : 119) << "coverage raised to 119 only";
    }
  }
  EXPECT_EQ(shaded, 4 * 19);

  // At the corner the box is clipped and the text drawn over the shade.
  FrameRef corner = Paper(40, 30);
  DrawLabel(*corner, 0, 0, kInk, "0");
  EXPECT_EQ(At(corner, 0, 0), (Colour{9, 9, 9, 119}));
  EXPECT_EQ(At(corner, 12, 16), (Colour{9, 9, 9, 119})) << "box corner (x + 11 + 1, y + 16)";
  EXPECT_EQ(At(corner, 13, 0), kPaper);
  EXPECT_EQ(At(corner, 0, 17), kPaper);
  EXPECT_EQ(At(corner, 3, 0), kInk) << "first ink of the 0";
}

}  // namespace
