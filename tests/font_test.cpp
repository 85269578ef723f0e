// The built-in font: glyph lookup, glyph shapes and ink extents, and the
// placement rules of characters, texts and labels.
#include "overlay/font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "overlay/draw.h"
#include "source/frame_buffer.h"

namespace {

constexpr Colour kPaper{0, 0, 0, 0};
constexpr Colour kInk{16, 255, 16, 255};
const std::string kCharset = "0123456789+-:;.,";

using Pixels = std::set<std::pair<int, int>>;

FrameRef Paper(int width, int height) {
  FrameRef image = NewImage(width, height);
  image->ClearToZero();
  return image;
}

Colour At(const FrameRef& image, int x, int y) { return LoadPixel(PixelAt(*image, x, y)); }

Pixels Inked(const FrameRef& image) {
  Pixels inked;
  for (int y = 0; y < image->height; ++y) {
    for (int x = 0; x < image->width; ++x) {
      if (At(image, x, y) != kPaper) inked.insert({x, y});
    }
  }
  return inked;
}

// The glyph's ink in cell coordinates, drawn into the smallest target that
// takes it whole.
Pixels GlyphInk(char ch) {
  FrameRef cell = Paper(kCellWidth + 1, kFontHeight + 1);
  DrawChar(ch, *cell, 0, 0, kInk);
  return Inked(cell);
}

Pixels Block(int left, int top, int right, int bottom) {  // inclusive corners
  Pixels block;
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) block.insert({x, y});
  }
  return block;
}

Pixels Union(Pixels a, const Pixels& b) {
  a.insert(b.begin(), b.end());
  return a;
}

TEST(OverlayFontGlyphs, LookupFollowsTheCharset) {
  EXPECT_EQ(kOverlayFont.rowBytes, 180);
  EXPECT_EQ(kOverlayFont.height, 15);
  EXPECT_EQ(kOverlayFont.cellWidth, 11);
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
  EXPECT_EQ(GlyphInk(':'), Union(upperDot, lowerDot));
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
  EXPECT_EQ(TextWidth("01:00:00;01.2"), 13 * 11);

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
