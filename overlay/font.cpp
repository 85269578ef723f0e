#include "overlay/font.h"

#include <cstddef>

namespace {

constexpr int kGlyphCount = 16;
// 16 cells, then four blank columns.
constexpr int kStripWidth = 180;
constexpr char kCharset[] = "0123456789+-:;.,";
static_assert(sizeof(kCharset) - 1 == kGlyphCount, "one glyph per charset character");
static_assert(kGlyphCount * kCellWidth <= kStripWidth, "the cells fit the strip");

constexpr uint8_t kInk = 255;

// The glyphs drawn as text, '#' ink and '.' none, in charset order. Digits
// stand in rows 0 to 11, columns 1 to 8, with two-pixel strokes; "+" and
// "-" span the digits' width.
// clang-format off
constexpr const char* kGlyphArt[kGlyphCount][kFontHeight] = {
    {  // 0
        "...####....",
        "..######...",
        "..##..##...",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        "..##..##...",
        "..######...",
        "...####....",
        "...........",
        "...........",
        "...........",
    },
    {  // 1
        "....##.....",
        "...###.....",
        "..####.....",
        ".##.##.....",
        "....##.....",
        "....##.....",
        "....##.....",
        "....##.....",
        "....##.....",
        "....##.....",
        "..######...",
        "..######...",
        "...........",
        "...........",
        "...........",
    },
    {  // 2
        "...####....",
        "..######...",
        ".##....##..",
        ".......##..",
        ".......##..",
        "......##...",
        ".....##....",
        "....##.....",
        "...##......",
        "..##.......",
        ".########..",
        ".########..",
        "...........",
        "...........",
        "...........",
    },
    {  // 3
        "..######...",
        ".########..",
        ".......##..",
        ".......##..",
        ".......##..",
        "...#####...",
        "...#####...",
        ".......##..",
        ".......##..",
        ".......##..",
        ".########..",
        "..######...",
        "...........",
        "...........",
        "...........",
    },
    {  // 4
        "......##...",
        ".....###...",
        "....####...",
        "...##.##...",
        "..##..##...",
        ".##...##...",
        ".##...##...",
        ".########..",
        ".########..",
        "......##...",
        "......##...",
        "......##...",
        "...........",
        "...........",
        "...........",
    },
    {  // 5
        ".########..",
        ".########..",
        ".##........",
        ".##........",
        ".######....",
        ".#######...",
        ".......##..",
        ".......##..",
        ".......##..",
        ".##....##..",
        ".#######...",
        "..#####....",
        "...........",
        "...........",
        "...........",
    },
    {  // 6
        "...#####...",
        "..######...",
        ".##........",
        ".##........",
        ".##.####...",
        ".########..",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        "..######...",
        "...####....",
        "...........",
        "...........",
        "...........",
    },
    {  // 7
        ".########..",
        ".########..",
        ".......##..",
        "......##...",
        "......##...",
        ".....##....",
        ".....##....",
        "....##.....",
        "....##.....",
        "...##......",
        "...##......",
        "...##......",
        "...........",
        "...........",
        "...........",
    },
    {  // 8
        "...####....",
        "..######...",
        ".##....##..",
        ".##....##..",
        "..##..##...",
        "...####....",
        "..######...",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        "..######...",
        "...####....",
        "...........",
        "...........",
        "...........",
    },
    {  // 9
        "...####....",
        "..######...",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        ".##....##..",
        ".########..",
        "..####.##..",
        ".......##..",
        ".......##..",
        "..######...",
        "..#####....",
        "...........",
        "...........",
        "...........",
    },
    {  // +
        "...........",
        "...........",
        "....##.....",
        "....##.....",
        "....##.....",
        "....##.....",
        ".########..",
        ".########..",
        "....##.....",
        "....##.....",
        "....##.....",
        "....##.....",
        "...........",
        "...........",
        "...........",
    },
    {  // -
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        ".########..",
        ".########..",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
    },
    {  // :
        "...........",
        "...........",
        "...........",
        "...........",
        "....###....",
        "....###....",
        "...........",
        "...........",
        "...........",
        "...........",
        "....###....",
        "....###....",
        "...........",
        "...........",
        "...........",
    },
    {  // ;
        "...........",
        "...........",
        "...........",
        "...........",
        "....###....",
        "....###....",
        "...........",
        "...........",
        "...........",
        "...........",
        "....###....",
        "....###....",
        ".....##....",
        "....##.....",
        "...##......",
    },
    {  // .
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "....###....",
        "....###....",
        "...........",
        "...........",
        "...........",
    },
    {  // ,
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "...........",
        "....###....",
        "....###....",
        ".....##....",
        "....##.....",
        "...##......",
    },
};
// clang-format on

// Every row of the art is a full cell of ink and blank marks only.
constexpr bool ArtIsWellFormed() {
  for (int glyph = 0; glyph < kGlyphCount; ++glyph) {
    for (int row = 0; row < kFontHeight; ++row) {
      const char* line = kGlyphArt[glyph][row];
      for (int column = 0; column < kCellWidth; ++column) {
        if (line[column] != '#' && line[column] != '.') return false;
      }
      if (line[kCellWidth] != '\0') return false;
    }
  }
  return true;
}
static_assert(ArtIsWellFormed(), "each glyph row is 11 marks of '#' or '.'");

struct GlyphStrip {
  uint8_t pixels[kFontHeight * kStripWidth];
};

// Built at compile time, so the font is a constant before any code runs.
constexpr GlyphStrip BuildStrip() {
  GlyphStrip strip{};
  for (int glyph = 0; glyph < kGlyphCount; ++glyph) {
    for (int row = 0; row < kFontHeight; ++row) {
      for (int column = 0; column < kCellWidth; ++column) {
        const bool ink = kGlyphArt[glyph][row][column] == '#';
        strip.pixels[row * kStripWidth + glyph * kCellWidth + column] = ink ? kInk : 0;
      }
    }
  }
  return strip;
}

constexpr GlyphStrip kStrip = BuildStrip();

// Label shading: colours are pulled to a little over half their value and
// the coverage is raised to at least 119, so text reads on any picture.
constexpr int kLabelShadeAlpha = 119;
uint8_t ShadeForLabel(uint8_t value) {
  return static_cast<uint8_t>(DivideBy255(136 * value + 2380));
}

}  // namespace

const OverlayFont kOverlayFont = {kStrip.pixels, kStripWidth, kFontHeight,
                                  kCellWidth,    kGlyphCount, kCharset};

int GlyphIndex(char ch) {
  for (int i = 0; i < kOverlayFont.glyphCount; ++i) {
    if (kOverlayFont.charset[i] == ch) return i;
  }
  return -1;
}

void DrawChar(char ch, FrameBuffer& target, int x, int y, Colour colour) {
  const int glyph = GlyphIndex(ch);
  if (glyph < 0 || target.data == nullptr) return;
  const OverlayFont& font = kOverlayFont;
  // Strictly below the size: a glyph never touches the last row or column.
  if (x < 0 || y < 0) return;
  if (int64_t{y} + font.height >= target.height) return;
  if (int64_t{x} + font.cellWidth >= target.width) return;
  for (int row = 0; row < font.height; ++row) {
    const uint8_t* ink = font.bitmap + row * font.rowBytes + glyph * font.cellWidth;
    for (int column = 0; column < font.cellWidth; ++column) {
      if (ink[column] == 0) continue;
      uint8_t* pixel = PixelAt(target, x + column, y + row);
      StorePixel(pixel, BlendPixel(LoadPixel(pixel), colour));
    }
  }
}

void DrawText(std::string_view text, FrameBuffer& target, int x, int y, Colour colour) {
  int64_t cellX = x;
  for (char ch : text) {
    // Cells beyond the int range cannot be inside any buffer.
    if (cellX > INT32_MAX) break;
    DrawChar(ch, target, static_cast<int>(cellX), y, colour);
    cellX += kOverlayFont.cellWidth;
  }
}

int TextWidth(std::string_view text) {
  const uint64_t width = static_cast<uint64_t>(text.size()) * kOverlayFont.cellWidth;
  return width > INT32_MAX ? INT32_MAX : static_cast<int>(width);
}

void DrawLabel(FrameBuffer& target, int x, int y, Colour colour, std::string_view text) {
  const PixelRect box = ClipToView(
      target, PixelRect{y - kLabelMargin, x - kLabelMargin, y + kOverlayFont.height + kLabelMargin,
                        x + TextWidth(text) + kLabelMargin});
  for (int row = box.top; row < box.bottom; ++row) {
    for (int column = box.left; column < box.right; ++column) {
      uint8_t* pixel = PixelAt(target, column, row);
      pixel[0] = ShadeForLabel(pixel[0]);
      pixel[1] = ShadeForLabel(pixel[1]);
      pixel[2] = ShadeForLabel(pixel[2]);
      if (pixel[3] <= kLabelShadeAlpha) pixel[3] = kLabelShadeAlpha;
    }
  }
  DrawText(text, target, x, y, colour);
}
