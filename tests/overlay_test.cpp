// The overlay: its drawing primitives, waypoint markers and font at the
// clipping, blending and placement edges; which layers a Draw paints for which
// settings, with a golden picture of a whole draw that pins where every part
// lands; and the order editing of the graph's order box by the mouse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "golden_png.h"
#include "overlay/draw.h"
#include "overlay/font.h"
#include "overlay/markers.h"
#include "overlay/palette.h"
#include "overlay/status.h"
#include "overlay_rig.h"
#include "source/frame_buffer.h"

namespace {

constexpr Colour kBackground{40, 80, 120, 60};
constexpr Colour kInkWhite{255, 255, 255, 255};
constexpr Colour kClear{0, 0, 0, 0};

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

TEST(OverlayDrawRect, FillClipsToTheBufferAndLeavesRowPaddingAlone) {
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

  FrameRef padded(FrameBuffer::CreateImage(3, 2, 16));  // 4 padding bytes a row
  for (int i = 0; i < 32; ++i) padded->data[i] = 7;
  FillRect(Pen{*padded, Colour{255, 0, 0, 51}}, PixelRect{0, 0, 2, 3});
  for (int y = 0; y < 2; ++y) {
    // (7×204 + 255×51)/255 = 56.6 → 56 and 7×204/255 = 5.6 → 5; alpha max(7, 51).
    for (int x = 0; x < 3; ++x) EXPECT_EQ(At(padded, x, y), (Colour{56, 5, 5, 51}));
    for (int pad = 12; pad < 16; ++pad) EXPECT_EQ(padded->data[y * 16 + pad], 7);
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
// pins; here the choice between below and above at its very edge, and a
// marker cut by the buffer's left edge.
TEST(OverlayMarker, HangsBelowUnlessTheLabelWouldPassTheBottomAndIsCutAtTheEdges) {
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
  const Pixels drawn = Changed(above), region = Block(0, 0, 39, 35);
  EXPECT_TRUE(std::includes(region.begin(), region.end(), drawn.begin(), drawn.end()))
      << "nothing at or below y";

  FrameRef cut = Canvas(12, 40);
  DrawMarker(*cut, 2, 3, "5", false);  // left edge at column −4
  for (int x = 0; x <= 9; ++x) EXPECT_EQ(At(cut, x, 10), kMarkerOutline) << "base, column " << x;
  EXPECT_EQ(At(cut, 10, 10), kBackground);
  EXPECT_EQ(At(cut, 0, 12), kMarkerLabelFill) << "label clipped, its left frame outside";
}

// Every glyph, one cell apart, with a character outside the charset leaving
// its cell empty: the bytes pin each glyph's shape and the advance.
TEST(OverlayFont, EveryGlyphByteExact) {
  const std::string charset = "0123456789+-:;.,";
  for (int i = 0; i < 16; ++i) EXPECT_EQ(GlyphIndex(charset[i]), i) << charset[i];
  for (char other : {'A', '/', '<', '\0', '\xff'}) EXPECT_EQ(GlyphIndex(other), -1) << +other;
  FrameRef strip = Canvas(17 * kCellWidth + 1, kFontHeight + 1, kClear);
  DrawText("0123456789+-:x;.,", *strip, 0, 0, kSourceCursorColour);
  const std::vector<uint8_t> bytes(strip->data, strip->data + strip->rowBytes * strip->height);
  EXPECT_EQ(golden::HashBytes(bytes), 0x8905272772bf4f9dU);
}

TEST(OverlayFont, GlyphsAreDrawnOnlyWhole) {
  // A glyph may not touch the last row or column of the target.
  FrameRef image = Canvas(40, 100, kClear);
  DrawChar('8', *image, 5, 85, kSourceCursorColour);
  DrawChar('8', *image, 29, 5, kSourceCursorColour);  // 29 + 11 = 40, the width
  DrawChar('8', *image, -1, 5, kSourceCursorColour);
  DrawChar('8', *image, 5, -1, kSourceCursorColour);
  EXPECT_TRUE(Changed(image, kClear).empty());

  DrawChar('8', *image, 28, 84, kSourceCursorColour);
  const Pixels ink = Changed(image, kClear);
  ASSERT_FALSE(ink.empty());
  const Pixels cell = Block(28, 84, 38, 98);
  EXPECT_TRUE(std::includes(cell.begin(), cell.end(), ink.begin(), ink.end()))
      << "never the last row";
}

using overlaytest::OverlayRig;

TEST(OverlayDraw, HiddenOrKeylessDrawsLeaveTheBuffer) {
  OverlayRig rig(10);
  rig.Key(0, 100.0, 1);
  rig.Key(19, 100.0, 2);
  rig.Render(2);
  rig.Open(60, 40);
  for (int i = 0; i < 60 * 40 * 4; ++i) rig.host().OverlayImage()->GetRowPtr(0, 0)[i] = i * 7;
  const std::vector<uint8_t> before = rig.Bytes();
  rig.host().ConsoleLines().clear();  // the render's own lines
  rig.overlay().Draw(false);
  EXPECT_EQ(rig.Bytes(), before);
  EXPECT_TRUE(rig.host().ConsoleLines().empty());

  // Every draw says the buffer's size.
  rig.Draw();
  rig.Draw();
  EXPECT_EQ(rig.host().ConsoleLines(),
            (std::vector<std::string>{"Overlay size: 60x40\n", "Overlay size: 60x40\n"}));

  OverlayRig keyless(10);
  keyless.Render(2);
  keyless.host().ConsoleLines().clear();
  keyless.Open(60, 40);
  keyless.Draw();
  EXPECT_EQ(keyless.Bytes(), std::vector<uint8_t>(60 * 40 * 4, 0));
  EXPECT_TRUE(keyless.host().ConsoleLines().empty());
}

TEST(OverlayDraw, OrderBoxShowsWhatAPressWouldDo) {
  // Ten keys, two units apart; the current time is the last one's (unit 18).
  // Its box is at columns 99 to 112, rows 11 to 61, of a 120 × 90 overlay.
  auto drawn = [](int lastOrder) {
    auto rig = std::make_unique<OverlayRig>(10);
    for (int i = 0; i < 10; ++i) rig->Key(2 * i, 100.0, i < 9 ? i + 1 : lastOrder);
    rig->SetBool("showSource", false);
    rig->SetBool("showTimeCode", false);
    rig->Render(9);
    rig->Open(120, 90);
    rig->Draw();
    return rig;
  };
  const int plusInk[] = {102, 19};   // row 6 of the "+" at (101, 13)
  const int colonDot[] = {105, 34};  // the upper dot of ":", where "0" has no ink
  const int minusInk[] = {102, 53};  // row 6 of the "-" at (101, 47)

  // Order 10 is the top order: it cannot rise, it can be lowered, and its
  // digit is the character after "9".
  auto top = drawn(10);
  ASSERT_EQ(top->overlay().currentKey, 9);
  EXPECT_EQ(top->At(plusInk[0], plusInk[1]), kDisabledSignColour);
  EXPECT_EQ(top->At(colonDot[0], colonDot[1]), kEnabledSignColour);
  EXPECT_EQ(top->At(minusInk[0], minusInk[1]), kEnabledSignColour);
  // Waypoint 10's label is "0" (one digit only), seen through the box's
  // shade: the first ink of the glyph at (101, 16).
  EXPECT_EQ(top->At(104, 16), BlendPixel(kMarkerLabelInkCurrent, kBoxShade));

  // Order 0: it can join the order but not leave it.
  auto unordered = drawn(0);
  ASSERT_EQ(unordered->overlay().currentKey, 9);
  EXPECT_EQ(unordered->At(plusInk[0], plusInk[1]), kEnabledSignColour);
  EXPECT_EQ(unordered->At(minusInk[0], minusInk[1]), kDisabledSignColour);
}

TEST(OverlayStatus, ShownFieldAndTimeCodeText) {
  SourceImageList mix;
  mix.Append(SourceImage{3, 0.25, false, false});
  mix.Append(SourceImage{4, 0.75, true, false});
  EXPECT_EQ(ShownSourceField(mix, 99), 9) << "frame 4, second field";
  SourceImageList even;
  even.Append(SourceImage{3, 0.5, false, false});
  even.Append(SourceImage{4, 0.5, true, false});
  EXPECT_EQ(ShownSourceField(even, 99), 99) << "no field above half";
  SourceImageList three = mix;
  three.Append(SourceImage{5, 0.9, false, false});
  EXPECT_EQ(ShownSourceField(three, 7), 7) << "only a mix of two is named";

  const double ntsc = 30000.0 / 1001.0;
  EXPECT_EQ(StatusText("01:00:00;00", ntsc, 3600), "01:01:00;02.1") << "labels 00 and 01 dropped";
  EXPECT_EQ(StatusText("00:00:00:00", 25.0, 51), "00:00:01:00.2");
  EXPECT_EQ(StatusText("-00:00:01:00", 25.0, 2), "") << "before 00:00:00:00 cannot be shown";
}

// Past the last waypoint with "Black" no source field is shown: dashes, drawn
// where the time code stands.
TEST(OverlayStatus, LabelShowsDashesForBlack) {
  OverlayRig rig(10);
  rig.Key(0, 100.0, 1);
  rig.Key(10, 100.0, 2);
  rig.SetList("afterEnd", kAfterEndBlack);
  rig.SetBool("showSource", false);
  rig.SetBool("showGraph", false);
  rig.Open(160, 40);
  rig.Render(8);  // unit 16
  ASSERT_TRUE(rig.effect().sourceImages.empty());
  rig.Draw();
  FrameRef expected = NewImage(160, 40);
  expected->ClearToZero();
  DrawLabel(*expected, 40, 2, kSourceCursorColour, "--:--:--.-");
  EXPECT_EQ(rig.Bytes(), std::vector<uint8_t>(expected->data, expected->data + 160 * 40 * 4));
}

TEST(OverlayDraw, SourceFrameIsReadOncePerFrameAndField) {
  OverlayRig rig(10, 24, 16);
  rig.Key(0, 100.0, 1);
  rig.Key(19, 100.0, 2);
  rig.SetBool("showGraph", false);
  rig.SetBool("showTimeCode", false);
  rig.Open(48, 32);
  rig.Render(3);
  const int32_t calls = rig.host().AlternateFrameCalls();
  rig.Draw();
  EXPECT_EQ(rig.host().AlternateFrameCalls(), calls + 1);
  const std::vector<uint8_t> first = rig.Bytes();

  rig.Draw();
  EXPECT_EQ(rig.host().AlternateFrameCalls(), calls + 1) << "the cached frame is reused";
  EXPECT_EQ(rig.Bytes(), first);
  rig.Render(3, 2);
  const int32_t secondField = rig.host().AlternateFrameCalls();
  rig.Draw();
  EXPECT_EQ(rig.host().AlternateFrameCalls(), secondField + 1) << "another field is read";

  // A frame the host cannot deliver is not shown, and not taken for read.
  rig.Render(5);
  rig.host().FailAlternateFrameAt(1);
  rig.Draw();
  EXPECT_EQ(rig.host().AlternateFrameCalls(), 1);
  EXPECT_EQ(rig.Bytes(), std::vector<uint8_t>(48 * 32 * 4, 0));
  rig.Draw();
  EXPECT_EQ(rig.host().AlternateFrameCalls(), 2) << "asked again";
  EXPECT_NE(rig.Bytes(), std::vector<uint8_t>(48 * 32 * 4, 0)) << "and shown";
}

// A whole draw on a small clip: the source view held within video levels, the
// graph's bands, cursors and curve, three waypoints (one standing above its
// point, the current one highlighted), order box and status label, so it pins
// where every layer lands and in which order. The picture is kept as
// tests/data/overlay_golden.png; CORVALIS_UPDATE_GOLDEN=1 rewrites it.
TEST(OverlayDraw, GoldenPicture) {
  const std::string goldenPath = std::string(CORVALIS_TEST_DATA) + "/overlay_golden.png";

  OverlayRig rig(12, 48, 32);
  rig.Key(0, 100.0, 1);
  rig.Key(8, 50.0, 2, 2.0);
  rig.Key(16, 100.0, 3);
  rig.Key(23, 100.0, 0);
  rig.host().SetString("timeCode", "01:00:00;00");
  rig.Render(4);  // unit 8: the second key is current
  rig.Open(200, 112);
  rig.Draw();
  ASSERT_EQ(rig.overlay().currentKey, 1);

  const std::vector<uint8_t> bytes = rig.Bytes();
  const std::string png = golden::EncodePng(bytes.data(), 200, 112, 200 * 4);
  if (const char* update = std::getenv("CORVALIS_UPDATE_GOLDEN"); update && *update == '1') {
    golden::WriteFile(goldenPath, png);
    GTEST_SKIP() << "rewrote " << goldenPath;
  }
  const std::string actualPath = ::testing::TempDir() + "overlay_golden_actual.png";
  const bool same = golden::ReadFile(goldenPath) == png;
  if (!same) golden::WriteFile(actualPath, png);
  EXPECT_TRUE(same) << goldenPath << " is not the picture drawn, " << actualPath;
}

using Orders = std::vector<int32_t>;

constexpr int32_t kFrames = 10;  // 20 units
constexpr int32_t kOverlayWidth = 200;
constexpr int32_t kOverlayHeight = 100;
// The four keys of the tests stand at these units.
constexpr int32_t kKeyUnits[] = {0, 6, 12, 19};
constexpr int kBand = 17;  // font height + 2

// An effect with four keys of the given orders, rendered once so that the key
// table holds them, and its overlay open.
struct OrderRig {
  explicit OrderRig(const Orders& orders) : rig(kFrames) {
    for (size_t i = 0; i < orders.size(); ++i) rig.Key(kKeyUnits[i], 100.0, orders[i]);
    rig.Render(0);
    rig.Open(kOverlayWidth, kOverlayHeight);
  }

  // The order box of key k, as the last draw of the graph would have left it.
  PixelRect BoxOf(int key) {
    CorvalisOverlay& overlay = rig.overlay();
    overlay.currentKey = key;
    overlay.graphShown = true;
    const PixelRect graph = overlay.GraphArea(kOverlayWidth, kOverlayHeight);
    return CorvalisOverlay::OrderBox(graph,
                                     CorvalisOverlay::KeyX(graph, rig.UnitTime(kKeyUnits[key])));
  }

  OverlayRig rig;
};

// Presses at the box of a key: its top line raises the key's order, its
// bottom line lowers it, by the order rules; the middle line and the pixels
// around the box do nothing.
TEST(OverlayOrderBox, PressesInTheBandsRaiseOrLowerByTheOrderRules) {
  struct Case {
    const char* what;
    Orders before;
    int key;
    int dx, dy;  // from the box's left, and from its top or else its bottom
    bool fromBottom;
    Orders after;
  };
  const Orders plain{1, 2, 3, 4}, raised{1, 3, 2, 4}, lowered{2, 1, 3, 4};
  // clang-format off
  const Case cases[] = {
      {"top-left pixel", plain, 1, 0, 0, false, raised},
      {"last row of the up band", plain, 1, 0, kBand - 1, false, raised},
      {"first row of the middle line", plain, 1, 0, kBand, false, plain},
      {"last row of the middle line", plain, 1, 0, -kBand, true, plain},
      {"first row of the down band", plain, 1, 0, -kBand + 1, true, lowered},
      {"bottom row", plain, 1, 13, -1, true, lowered},
      {"right column, up band", plain, 1, 13, 5, false, raised},
      {"just right of the box", plain, 1, 14, 5, false, plain},
      {"just left of the box", plain, 1, -1, 5, false, plain},
      {"just above the box", plain, 1, 3, -1, false, plain},
      {"just below the box", plain, 1, 3, 0, true, plain},
      {"the top order cannot rise", plain, 3, 7, 2, false, plain},
      {"lower swaps with the previous", plain, 2, 7, -2, true, {1, 3, 2, 4}},
      {"order 0 joins as the last", {1, 0, 2, 3}, 1, 7, 2, false, {1, 4, 2, 3}},
      {"order 0 has no down action", {1, 0, 2, 3}, 1, 7, -2, true, {1, 0, 2, 3}},
      {"order 1 leaves, the others move up", {3, 1, 2, 4}, 1, 7, -2, true, {2, 0, 1, 3}},
      {"a single ordered key cannot leave", {0, 1, 0, 0}, 1, 7, -2, true, {0, 1, 0, 0}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OrderRig order(c.before);
    const PixelRect box = order.BoxOf(c.key);
    const int y = (c.fromBottom ? box.bottom : box.top) + c.dy;
    EXPECT_EQ(order.rig.host().Click(box.left + c.dx, y), c.after != c.before);
    EXPECT_EQ(order.rig.Orders(), c.after);
  }
}

TEST(OverlayOrderBox, PressesNeedTheGraphAndACurrentKey) {
  OrderRig order({1, 2, 3, 4});
  const PixelRect box = order.BoxOf(1);
  CorvalisOverlay& overlay = order.rig.overlay();

  // Positions far outside the buffer miss the box like any other.
  for (double far : {1e300, -1e300, std::nan("")}) {
    EXPECT_FALSE(order.rig.host().MousePress(far, (box.top + 2.5) / kOverlayHeight));
    EXPECT_FALSE(order.rig.host().MousePress((box.left + 7.5) / kOverlayWidth, far));
  }
  overlay.currentKey = -1;
  EXPECT_FALSE(order.rig.host().Click(box.left + 7, box.top + 2));

  // A draw without the graph leaves the mouse nothing to act on.
  order.rig.SetBool("showGraph", false);
  overlay.currentKey = 1;
  order.rig.Draw();
  EXPECT_FALSE(overlay.graphShown);
  EXPECT_FALSE(order.rig.host().Click(box.left + 7, box.top + 2));
  EXPECT_EQ(order.rig.Orders(), (Orders{1, 2, 3, 4}));
}

TEST(OverlayOrderBox, DrawMakesTheLastKeyNearTheCurrentTimeCurrent) {
  // Half a frame of a 10-frame effect is 0.05; the current time is unit 9.
  OverlayRig rig(kFrames);
  const double now = 9.0 / 19.0;
  rig.KeyAt(0.0, 100.0, 1);
  rig.KeyAt(now - 0.07, 100.0, 2);  // too far
  rig.KeyAt(now - 0.04, 100.0, 3);
  rig.KeyAt(now + 0.03, 100.0, 4);
  rig.KeyAt(now + 0.06, 100.0, 5);  // too far
  rig.Render(4, 2);
  rig.Open(kOverlayWidth, kOverlayHeight);
  rig.Draw();
  EXPECT_EQ(rig.overlay().currentKey, 3);
  EXPECT_TRUE(rig.overlay().graphShown);

  rig.host().SetPosition(0, kAvxFieldEven, 1);  // unit 1: no key within half a frame
  rig.Draw();
  EXPECT_EQ(rig.overlay().currentKey, -1);
}

TEST(OverlayOrderRelease, NotifiesOnlyAfterAChangeAndTheOrderReachesTheKeys) {
  OrderRig order({1, 2, 3, 4});
  refhost::EffectHost& host = order.rig.host();
  const PixelRect box = order.BoxOf(1);
  const double x = (box.left + 7.5) / kOverlayWidth;
  const double middle = (box.top + kBand + 8.5) / kOverlayHeight;
  const double up = (box.top + 2.5) / kOverlayHeight;

  // A press that changes nothing, then its release: the host hears nothing.
  EXPECT_FALSE(host.MousePress(x, middle));
  EXPECT_FALSE(host.MouseRelease(x, middle));

  // A press in the up band changes the key table at once; the keys of the
  // order parameter learn of it through the release and the update callback.
  EXPECT_TRUE(host.MousePress(x, up));
  EXPECT_EQ(order.rig.Orders(), (Orders{1, 3, 2, 4}));
  EXPECT_EQ(order.rig.OrderKeys(), (Orders{1, 2, 3, 4}));
  EXPECT_TRUE(host.MouseRelease(x, up));
  EXPECT_EQ(host.ParametersModifiedCount(), 1);
  EXPECT_EQ(order.rig.OrderKeys(), (Orders{1, 3, 2, 4}));
  EXPECT_FALSE(order.rig.overlay().modified);

  EXPECT_FALSE(host.MouseRelease(x, up)) << "a second release has nothing left to commit";
  EXPECT_EQ(host.ParametersModifiedCount(), 1);

  // The next render plays the waypoints in the new order: the second
  // waypoint is now key 2 at source unit 12, no longer key 1 at unit 6.
  order.rig.Render(0);
  EXPECT_EQ(order.rig.Orders(), (Orders{1, 3, 2, 4}));
  const Corvalis& effect = order.rig.effect();
  double secondWaypoint = -1.0;
  for (size_t unit = 0; unit < effect.timelineKeyMarks.size(); ++unit) {
    if (effect.timelineKeyMarks[unit] == 1) secondWaypoint = effect.timelinePositions[unit];
  }
  EXPECT_EQ(secondWaypoint, 12.0);
}

}  // namespace
