// The overlay's built-in bitmap font and the text drawn with it.
//
// Rules common to everything here:
// - Glyphs are 11 × 15 cells; a position is the top-left corner of the cell.
// - A glyph is drawn only whole: one that would reach the last row or column
//   of the target, or lie partly outside it, is skipped.
// - Text advances one cell per character; a character without a glyph
//   leaves its cell empty.
// - Ink is laid over the target with BlendPixel (see draw.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "overlay/draw.h"
#include "source/frame_buffer.h"

// The glyph strip: one byte a pixel, 0 no ink, 255 ink; glyph i occupies
// columns cellWidth × i to cellWidth × i + cellWidth − 1.
struct OverlayFont {
  const uint8_t* bitmap;
  int32_t rowBytes;
  int32_t height;
  int32_t cellWidth;
  int32_t glyphCount;
  const char* charset;
};

// The glyph cell: every glyph is this wide and high.
constexpr int kCellWidth = 11;
constexpr int kFontHeight = 15;
// One line of text with a pixel of room above and below, as in the order
// box and the marker labels.
constexpr int kLineHeight = kFontHeight + 2;

// The one font of the process; constant from load.
extern const OverlayFont kOverlayFont;

// The room a label's shaded box leaves around its text, on every side.
constexpr int kLabelMargin = 2;

// Index of the character in the font's charset, or −1 when it has no glyph.
int GlyphIndex(char ch);

// One glyph with its cell's top-left corner at (x, y).
void DrawChar(char ch, FrameBuffer& target, int x, int y, Colour colour);

// The characters in turn, each one cell to the right of the previous.
void DrawText(std::string_view text, FrameBuffer& target, int x, int y, Colour colour);

// Width in pixels of the text's cells.
int TextWidth(std::string_view text);

// Darkens a box around the text's cells, then draws the text over it.
void DrawLabel(FrameBuffer& target, int x, int y, Colour colour, std::string_view text);
