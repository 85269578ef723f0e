// Whole renders through the reference host on a small noise clip, odd in width
// so that rows have a leftover after the vector blocks. The render's short ways
// (fetching or interpolating straight into the output) must give the bytes of
// the long way: field buffer, kernels, copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "host/corvalis.h"
#include "render/line_kernels.h"
#include "source/motion_mask.h"
#include "source/source_fetch.h"
#include "test_clips.h"

namespace {

constexpr int kWidth = 13, kHeight = 10, kFrames = 6;

class RenderTest : public ::testing::Test {
 protected:
  RenderTest() : host_(plugin_, testclips::Settings(kWidth, kHeight, kFrames)) {
    clip_ = testclips::NoiseClip(kWidth, kHeight, kFrames, 7);
    host_.SetInput(1, clip_);
  }

  // A single waypoint at the start with this speed: position speed × u at unit u.
  void SingleWaypoint(double speedPercent) { testclips::SetRamp(host_, {{0.0, speedPercent, 0}}); }
  const uint8_t* SourceRow(int frame, int row) {
    return clip_->FramePixels(frame).data() + row * kWidth * 4;
  }
  static const uint8_t* Row(const refhost::Picture& picture, int row) {
    return picture.pixels.data() + row * picture.width * 4;
  }
  bool RowEquals(const refhost::Picture& picture, int row, int frame, int sourceRow) {
    return std::memcmp(Row(picture, row), SourceRow(frame, sourceRow), kWidth * 4) == 0;
  }
  // The top (first line 0) or bottom (line 1) field of a source frame as a
  // field buffer.
  FrameRef SourceField(int32_t frame, int32_t firstLine) {
    FrameRef field = NewImage(kWidth, kHeight / 2);
    for (int32_t y = 0; y < kHeight / 2; ++y) {
      std::memcpy(field->Row(y), SourceRow(frame, 2 * y + firstLine), kWidth * 4);
    }
    return field;
  }
  // Whether the lines of one field (first line 0 or 1) of a rendered frame hold the field buffer.
  static bool FieldLinesAre(const refhost::Picture& picture, int32_t firstLine,
                            const FrameBuffer& field) {
    for (int32_t y = 0; y < kHeight / 2; ++y) {
      if (std::memcmp(Row(picture, 2 * y + firstLine), field.Row(y), kWidth * 4) != 0) return false;
    }
    return true;
  }
  Corvalis& Effect() { return static_cast<Corvalis&>(host_.Instance()); }

  refhost::Plugin plugin_;
  refhost::EffectHost host_;
  std::shared_ptr<refhost::MemoryClip> clip_;
};

// Output frame 2: first field shows unit 4 → position 2.0 → frame 1's top
// field; second field shows unit 5 → position 2.5 → still frame 1's top
// field, brought onto the bottom lines by the mode.
TEST_F(RenderTest, HalfSpeedRebuildsTheOtherFieldByMode) {
  SingleWaypoint(50.0);
  const FrameRef top = SourceField(1, 0);
  for (int mode : {0, 2, 3}) {
    host_.SetList("deinterlace", mode);
    for (bool enhance : {false, true}) {
      host_.SetBool("enhance", enhance);
      SCOPED_TRACE(testing::Message() << "mode " << mode << " enhance " << enhance);
      refhost::Picture picture;
      ASSERT_TRUE(host_.RenderFrame(2, picture));
      EXPECT_TRUE(FieldLinesAre(picture, 0, *top));
      // "None" shows the field unchanged on both lines of each pair;
      // "Interpolate" what the kernels make of it.
      FrameRef expected = SourceField(1, 0);
      if (mode == 2) InterpolateField(*top, *expected, true, enhance);
      EXPECT_TRUE(mode == 3 || FieldLinesAre(picture, 1, *expected));
    }
  }
  host_.SetBool("enhance", false);
  // The overlay's mask is there when it shows it.
  host_.SetBool("showMotion", true);
  refhost::Picture shown;
  ASSERT_TRUE(host_.RenderFrame(2, shown));
  EXPECT_TRUE(Effect().motionMask);
  host_.SetBool("showMotion", false);
  const auto& lines = host_.ConsoleLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "\tAdaptive: comparing frame 0.Even with 1.Even (Odd is dominant)\n"),
            lines.end());

  // "Interpolate All" smooths the field shown on its own lines, in place.
  host_.SetList("deinterlace", 2);
  host_.SetBool("interpAll", true);
  refhost::Picture picture;
  ASSERT_TRUE(host_.RenderFrame(2, picture));
  FrameRef smoothed = SourceField(1, 0);
  SmoothVertical(*smoothed);
  EXPECT_TRUE(FieldLinesAre(picture, 0, *smoothed));
}

TEST_F(RenderTest, AdaptiveFieldsMatchTheStepsOnFieldBuffers) {
  SingleWaypoint(50.0);
  host_.SetList("deinterlace", 3);
  // Output frame 2n's second field shows frame n's top field on the bottom
  // lines, compared between the bottom fields of frames n − 1 and n.
  auto check = [&](int32_t outputFrame, bool blends, bool sixTap = false) {
    refhost::Picture picture;
    ASSERT_TRUE(host_.RenderFrame(outputFrame, picture));
    const int32_t frame = outputFrame / 2;
    FrameRef expected = SourceField(frame, 0);
    InterpolateField(*SourceField(frame, 0), *expected, true, sixTap);
    FrameRef before = frame > 0 ? SourceField(frame - 1, 1) : expected;
    FrameRef after = SourceField(frame, 1);
    FrameRef mask = NewMask(kWidth, kHeight / 2);
    ASSERT_EQ(ComputeMotionMask(*mask, *before, *after, 32), blends) << outputFrame;
    if (blends) {
      mask = MedianFilter3x3(*mask);
      DilateMask(*mask, 4, 2);
      BoxBlurMask(*mask, 4, 2);
      BlendByMask(*expected, *after, *mask, *expected);
    }
    EXPECT_TRUE(FieldLinesAre(picture, 1, *expected)) << outputFrame;
  };
  // Frame 1 made frame 0 with some columns changed.
  auto changeColumns = [&](int32_t first, int32_t end) {
    std::vector<uint8_t>& moved = clip_->FramePixels(1);
    moved = clip_->FramePixels(0);
    for (size_t i = 0; i < moved.size(); ++i) {
      if (int32_t(i / 4 % kWidth) >= first && int32_t(i / 4 % kWidth) < end && i % 4 != 3)
        moved[i] ^= 0x80;
    }
  };
  // Six columns of thirteen: too much moves, and the interpolated field stays
  // whole (the still part is not taken from the neighbour).
  changeColumns(0, 6);
  check(2, false);
  // Two columns: little enough motion for the adaptive step to blend.
  changeColumns(5, 7);
  check(2, true);
  // Frame 0 has no field before it: the current field stands in, so it is
  // made whole before the comparison (which, against frame 0's noise, gives
  // up).
  check(0, false);
  // Six taps read rows above the one they make, so a field interpolated
  // over itself would show: where the step gives up, too, the field comes
  // from a buffer of its own.
  host_.SetBool("enhance", true);
  changeColumns(0, 6);
  check(2, false, true);
}

TEST_F(RenderTest, TapeSimShiftsTheSecondFieldShownFirst) {
  host_.SetList("deinterlace", 1);
  SingleWaypoint(50.0);
  // Output frame 1 first field: unit 2, position 1.0 → frame 0's bottom field
  // shown in the top field's place: moved up one line, the last line kept.
  host_.SetPosition(1, kAvxFieldOdd, 1);
  refhost::Picture first;
  ASSERT_TRUE(host_.RenderOnce(kWidth, kHeight / 2, first));
  ASSERT_EQ(Effect().sourceImages.size(), 1u);
  EXPECT_TRUE(Effect().sourceImages.at(0).second);
  for (int y = 0; y < kHeight / 2; ++y) {
    EXPECT_TRUE(RowEquals(first, y, 0, std::min(2 * y + 3, kHeight - 1))) << y;
  }
}

TEST_F(RenderTest, BlendingAddsWeightedFieldsAndReportsThem) {
  host_.SetList("deinterlace", 0);
  host_.SetBool("blending", true);
  SingleWaypoint(50.0);
  host_.SetPosition(2, kAvxFieldEven, 1);  // unit 5, position 2.5: fields 2 and 3 at 0.5 each
  refhost::Picture picture;
  ASSERT_TRUE(host_.RenderOnce(kWidth, kHeight / 2, picture));
  ASSERT_EQ(Effect().sourceImages.size(), 2u);
  for (int x = 0; x < kWidth * 4; ++x) {
    // The fourth byte is not accumulated.
    const int sum = int(SourceRow(1, 0)[x] * 0.5) + int(SourceRow(1, 1)[x] * 0.5);
    EXPECT_EQ(Row(picture, 0)[x], x % 4 == 3 ? 0 : sum & 0xFF) << x;
  }
  const std::vector<std::string>& lines = host_.ConsoleLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(
      std::vector<std::string>(lines.end() - 3, lines.end()),
      (std::vector<std::string>{"GenerateOutput(time=0.454545) srcTime=1.25, #images=2\n",
                                "\t#0: frame=1 level=0.5 second=0 interp=0 [00:00:00:01.1]\n",
                                "\t#1: frame=1 level=0.5 second=1 interp=0 [00:00:00:01.2]\n"}));
}

TEST_F(RenderTest, BlackAfterTheEndAndInUnknownModes) {
  // Black after the last waypoint: nothing located, all-zero output.
  refhost::Picture picture;
  SingleWaypoint(100.0);
  host_.SetList("afterEnd", 0);
  ASSERT_TRUE(host_.RenderFrame(2, picture));
  EXPECT_EQ(picture.pixels, std::vector<uint8_t>(picture.pixels.size(), 0));

  // A field mode that names neither frames nor fields gives all-zero output.
  host_.SetPosition(0, kAvxFieldOdd, 7);
  size_t linesBefore = host_.ConsoleLines().size();
  ASSERT_TRUE(host_.RenderOnce(kWidth, kHeight / 2, picture));
  EXPECT_EQ(picture.pixels, std::vector<uint8_t>(picture.pixels.size(), 0));
  EXPECT_EQ(host_.ConsoleLines().size(), linesBefore);
}

// Fetching source fields through the per-operation cache.

}  // namespace
