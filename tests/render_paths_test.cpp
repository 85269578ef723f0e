// The render's short ways (fetching a field straight into the output,
// interpolating straight into it, clearing only when something would show
// the clear) give the bytes of the long way: field buffer, kernels, copy.
#include <gtest/gtest.h>

#include <cstring>

#include "render/line_kernels.h"
#include "source/motion_mask.h"
#include "test_clips.h"

namespace {

// Odd sizes, so that rows have a leftover after the vector blocks.
constexpr int32_t kWidth = 13;
constexpr int32_t kHeight = 10;
constexpr int32_t kFrames = 4;

class RenderPathsTest : public ::testing::Test {
 protected:
  RenderPathsTest() : host_(plugin_, testclips::Settings(kWidth, kHeight, kFrames)) {
    clip_ = testclips::NoiseClip(kWidth, kHeight, kFrames, 3);
    host_.SetInput(1, clip_);
    for (const char* id : {"speed", "strobe", "hold", "order"}) host_.Parameter(id)->ClearKeys();
    host_.SetKey("speed", 0.0, 50.0);
    host_.SetKey("strobe", 0.0, 1);
    host_.SetKey("hold", 0.0, 0);
    host_.SetKey("order", 0.0, 1);
  }

  // The top (first line 0) or bottom (line 1) field of a source frame as a
  // field buffer.
  FrameRef SourceField(int32_t frame, int32_t firstLine) {
    FrameRef field = NewImage(kWidth, kHeight / 2);
    for (int32_t y = 0; y < kHeight / 2; ++y) {
      std::memcpy(field->Row(y),
                  clip_->FramePixels(frame).data() + (2 * y + firstLine) * kWidth * 4, kWidth * 4);
    }
    return field;
  }
  FrameRef TopField(int32_t frame) { return SourceField(frame, 0); }

  // The bottom lines of a rendered frame, as a field buffer.
  static FrameRef BottomLines(const refhost::Picture& picture) {
    FrameRef field = NewImage(kWidth, kHeight / 2);
    for (int32_t y = 0; y < kHeight / 2; ++y) {
      std::memcpy(field->Row(y), picture.pixels.data() + (2 * y + 1) * kWidth * 4, kWidth * 4);
    }
    return field;
  }

  refhost::Plugin plugin_;
  refhost::EffectHost host_;
  std::shared_ptr<refhost::MemoryClip> clip_;
};

TEST_F(RenderPathsTest, HalfSpeedFieldsMatchTheKernelsOnAFieldBuffer) {
  // Output frame 2: both fields show frame 1's top field; the second one is
  // brought onto the bottom lines by the mode.
  for (bool enhance : {false, true}) {
    host_.SetList("deinterlace", 2);
    host_.SetBool("enhance", enhance);
    refhost::Picture picture;
    ASSERT_TRUE(host_.RenderFrame(2, picture));
    FrameRef field = TopField(1);
    FrameRef expected = NewImage(kWidth, kHeight / 2);
    CopyImage(*expected, *field);
    InterpolateField(*field, *expected, true, enhance);
    FrameRef rendered = BottomLines(picture);
    EXPECT_EQ(std::memcmp(rendered->data, expected->data, kWidth * 4 * (kHeight / 2)), 0)
        << "enhance " << enhance;
  }
  host_.SetBool("enhance", false);

  // "Interpolate All" smooths the field shown on its own lines, in place.
  host_.SetBool("interpAll", true);
  refhost::Picture picture;
  ASSERT_TRUE(host_.RenderFrame(2, picture));
  FrameRef smoothed = TopField(1);
  SmoothVertical(*smoothed);
  for (int32_t y = 0; y < kHeight / 2; ++y) {
    EXPECT_EQ(std::memcmp(picture.pixels.data() + 2 * y * kWidth * 4, smoothed->Row(y), kWidth * 4),
              0)
        << y;
  }
  host_.SetBool("interpAll", false);

  // "None" shows the field unchanged on both lines of each pair.
  host_.SetList("deinterlace", 0);
  ASSERT_TRUE(host_.RenderFrame(2, picture));
  FrameRef top = TopField(1);
  FrameRef bottom = BottomLines(picture);
  EXPECT_EQ(std::memcmp(bottom->data, top->data, kWidth * 4 * (kHeight / 2)), 0);
}

TEST_F(RenderPathsTest, AdaptiveFieldsMatchTheStepsOnFieldBuffers) {
  host_.SetList("deinterlace", 3);
  // Output frame 2n's second field shows frame n's top field on the bottom
  // lines, compared between the bottom fields of frames n − 1 and n.
  auto check = [&](int32_t outputFrame, bool blends) {
    refhost::Picture picture;
    ASSERT_TRUE(host_.RenderFrame(outputFrame, picture));
    const int32_t frame = outputFrame / 2;
    FrameRef field = TopField(frame);
    FrameRef expected = NewImage(kWidth, kHeight / 2);
    CopyImage(*expected, *field);
    InterpolateField(*field, *expected, true, false);
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
    FrameRef rendered = BottomLines(picture);
    EXPECT_EQ(std::memcmp(rendered->data, expected->data, kWidth * 4 * (kHeight / 2)), 0)
        << outputFrame;
  };
  // Frame 1 made frame 0 with some columns changed.
  auto changeColumns = [&](int32_t first, int32_t end) {
    std::vector<uint8_t>& moved = clip_->FramePixels(1);
    moved = clip_->FramePixels(0);
    for (int32_t y = 0; y < kHeight; ++y) {
      for (int32_t x = first; x < end; ++x) {
        for (int32_t c = 0; c < 3; ++c) moved[(y * kWidth + x) * 4 + c] ^= 0x80;
      }
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
}

}  // namespace
