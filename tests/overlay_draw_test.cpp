// The overlay's Draw: which layers it paints for which settings, the order
// box's signs, the status label, the source and motion views, and a golden
// picture of a whole draw that pins where the graph's parts land.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "golden_png.h"
#include "overlay/font.h"
#include "overlay/markers.h"
#include "overlay/palette.h"
#include "overlay/status.h"
#include "overlay_rig.h"

namespace {

using overlaytest::OverlayRig;

constexpr Colour kClear{0, 0, 0, 0};

// What a colour leaves when blended into the host's cleared buffer.
Colour OnClear(Colour colour) { return BlendPixel(kClear, colour); }

// The bytes a cleared buffer of that size holds after the label is drawn.
std::vector<uint8_t> ExpectedLabel(int width, int height, const std::string& text) {
  FrameRef expected = NewImage(width, height);
  expected->ClearToZero();
  DrawLabel(*expected, 40, 2, kSourceCursorColour, text);
  return std::vector<uint8_t>(expected->data,
                              expected->data + static_cast<size_t>(expected->rowBytes) * height);
}

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
  const int digitTop[] = {104, 30};  // row 0, column 3 of the digit at (101, 30): ink of "0"
  const int colonDot[] = {105, 34};  // row 4, column 4: the upper dot of ":"
  const int minusInk[] = {102, 53};  // row 6 of the "-" at (101, 47)

  // Order 10 is the top order: it cannot rise, it can be lowered, and its
  // digit is the character after "9".
  auto top = drawn(10);
  ASSERT_EQ(top->overlay().currentKey, 9);
  EXPECT_EQ(top->At(plusInk[0], plusInk[1]), kDisabledSignColour);
  EXPECT_EQ(top->At(colonDot[0], colonDot[1]), kEnabledSignColour);
  EXPECT_NE(top->At(digitTop[0], digitTop[1]), kEnabledSignColour) << "a colon, not a zero";
  EXPECT_EQ(top->At(minusInk[0], minusInk[1]), kEnabledSignColour);
  // Waypoint 10's label is "0" (one digit only), seen through the box's
  // shade: the first ink of the glyph at (101, 16).
  EXPECT_EQ(top->At(104, 16), BlendPixel(kMarkerLabelInkCurrent, kBoxShade));

  // Order 0: it can join the order but not leave it.
  auto unordered = drawn(0);
  ASSERT_EQ(unordered->overlay().currentKey, 9);
  EXPECT_EQ(unordered->At(plusInk[0], plusInk[1]), kEnabledSignColour);
  EXPECT_EQ(unordered->At(digitTop[0], digitTop[1]), kEnabledSignColour);
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
  EXPECT_EQ(StatusText("01:00:00;00", ntsc, 3596), "01:00:59;28.1");
  EXPECT_EQ(StatusText("01:00:00;00", ntsc, 3600), "01:01:00;02.1") << "labels 00 and 01 dropped";
  EXPECT_EQ(StatusText("01:00:00:00", ntsc, 3598), "01:00:59:29.1") << "no drop frame";
  EXPECT_EQ(StatusText("00:00:00:00", 25.0, 51), "00:00:01:00.2");
  EXPECT_EQ(StatusText("00:00:00:00", 25.0, -1), "--:--:--.-");
  EXPECT_EQ(StatusText("23:59:59:24", 25.0, 2), "00:00:00:00.1") << "the day wraps";
  EXPECT_EQ(StatusText("-00:00:01:00", 25.0, 2), "") << "before 00:00:00:00 cannot be shown";
}

TEST(OverlayStatus, LabelShowsTheSourceFieldOrDashesForBlack) {
  OverlayRig rig(10);
  rig.Key(0, 100.0, 1);
  rig.Key(10, 100.0, 2);
  rig.SetList("afterEnd", kAfterEndBlack);
  rig.SetBool("showSource", false);
  rig.SetBool("showGraph", false);
  rig.host().SetString("timeCode", "01:00:00;00");
  rig.Open(160, 40);

  rig.Render(2);  // unit 4: source field 4
  rig.Draw();
  EXPECT_EQ(rig.Bytes(), ExpectedLabel(160, 40, "01:00:00;02.1"));

  rig.Render(8);  // unit 16 lies after the last waypoint: black
  ASSERT_TRUE(rig.effect().sourceImages.empty());
  rig.Draw();
  EXPECT_EQ(rig.Bytes(), ExpectedLabel(160, 40, "--:--:--.-"));

  rig.SetBool("showTimeCode", false);
  rig.Draw();
  EXPECT_EQ(rig.Bytes(), std::vector<uint8_t>(160 * 40 * 4, 0));
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
  EXPECT_EQ(rig.At(10, 10).alpha, 255);
}

TEST(OverlayDraw, MotionViewShowsTheLastMaskAlone) {
  // Half speed with "Adaptive" interpolates every other field and leaves a
  // motion mask of the field's size.
  OverlayRig rig(10, 32, 16);
  rig.Key(0, 50.0, 1);
  rig.Key(19, 50.0, 2);
  rig.SetList("deinterlace", kDeinterlaceAdaptive);
  rig.SetBool("showMotion", true);
  rig.SetBool("showSource", false);

  // No mask made yet (the first field at unit 0 is a source field): the
  // normal view, here the graph's band.
  rig.Render(0);
  ASSERT_FALSE(rig.effect().motionMask);
  rig.Open(32, 8);
  rig.Draw();
  EXPECT_EQ(rig.At(0, 1), OnClear(kBandColour));

  rig.Render(0, 2);
  ASSERT_TRUE(rig.effect().motionMask);
  const FrameBuffer& mask = *rig.effect().motionMask;
  ASSERT_EQ(mask.width, 32);
  ASSERT_EQ(mask.height, 8);
  rig.Draw();
  // Same size: the mask is copied, each value held within video levels, into
  // the three colour bytes; the alpha stays as the host cleared it.
  bool sawMotion = false;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 32; ++x) {
      const int value = mask.Row(y)[x];
      const uint8_t level = static_cast<uint8_t>(value < 16 ? 16 : value > 235 ? 235 : value);
      ASSERT_EQ(rig.At(x, y), (Colour{level, level, level, 0})) << x << "," << y;
      sawMotion = sawMotion || value > 16;
    }
  }
  EXPECT_TRUE(sawMotion) << "the moving square leaves motion in the mask";
  EXPECT_FALSE(rig.overlay().graphShown);
}

// A whole draw on a small clip: the source view held within video levels, the
// graph's bands, cursors and curve, three waypoints (one standing above its
// point, the current one highlighted), order box and status label, so it pins
// where every layer lands and in which order. The picture is kept as
// tests/data/overlay_golden.png; CORVALIS_UPDATE_GOLDEN=1 rewrites it.
TEST(OverlayDraw, GoldenPicture) {
  constexpr uint64_t kGoldenHash = 0xb4796dfc30b05105;
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
  const uint64_t hash = golden::HashBytes(bytes);
  if (const char* update = std::getenv("CORVALIS_UPDATE_GOLDEN"); update && *update == '1') {
    golden::WriteFile(goldenPath, png);
    GTEST_SKIP() << "rewrote " << goldenPath << "; hash 0x" << std::hex << hash;
  }
  const std::string actualPath = ::testing::TempDir() + "overlay_golden_actual.png";
  if (hash != kGoldenHash) golden::WriteFile(actualPath, png);
  EXPECT_EQ(hash, kGoldenHash) << std::hex << "hash 0x" << hash << "; the picture drawn is "
                               << actualPath;
  EXPECT_TRUE(golden::ReadFile(goldenPath) == png)
      << goldenPath << " is not the picture the test draws";
}

}  // namespace
