// Whole renders through the reference host on small synthetic clips.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/corvalis.h"
#include "test_clips.h"

namespace {

constexpr int kWidth = 8;
constexpr int kHeight = 6;
constexpr int kFrames = 6;

class RenderTest : public ::testing::Test {
 protected:
  RenderTest() : host_(plugin_, testclips::Settings(kWidth, kHeight, kFrames)) {
    clip_ = testclips::NoiseClip(kWidth, kHeight, kFrames, 7);
    host_.SetInput(1, clip_);
  }

  // A single waypoint at the start with this speed: position speed × u at unit u.
  void SingleWaypoint(double speedPercent) {
    for (const char* id : {"speed", "strobe", "hold", "order"}) host_.Parameter(id)->ClearKeys();
    host_.SetKey("speed", 0.0, speedPercent);
    host_.SetKey("strobe", 0.0, 1);
    host_.SetKey("hold", 0.0, 0);
    host_.SetKey("order", 0.0, 1);
  }

  const uint8_t* SourceRow(int frame, int row) {
    return clip_->FramePixels(frame).data() + row * kWidth * 4;
  }
  static const uint8_t* Row(const refhost::Picture& picture, int row) {
    return picture.pixels.data() + row * picture.width * 4;
  }
  bool RowEquals(const refhost::Picture& picture, int row, int frame, int sourceRow) {
    return std::memcmp(Row(picture, row), SourceRow(frame, sourceRow), kWidth * 4) == 0;
  }
  Corvalis& Effect() { return static_cast<Corvalis&>(host_.Instance()); }

  refhost::Plugin plugin_;
  refhost::EffectHost host_;
  std::shared_ptr<refhost::MemoryClip> clip_;
};

TEST_F(RenderTest, FullSpeedIsAnExactCopyInEveryMode) {
  // Field-based projects interleave two field renders; frame-based ones,
  // which the host gives no fields, copy whole frames.
  for (int videoType : {1, 0}) {
    host_.Settings().videoType = videoType;
    for (int mode : {0, 1, 2, 3}) {
      host_.SetList("deinterlace", mode);
      for (int frame = 0; frame < kFrames; ++frame) {
        refhost::Picture picture;
        ASSERT_TRUE(host_.RenderFrame(frame, picture));
        ASSERT_EQ(picture.pixels, clip_->FramePixels(frame))
            << "video type " << videoType << " mode " << mode << " frame " << frame;
      }
    }
  }
}

TEST_F(RenderTest, HalfSpeedRebuildsTheOtherFieldByMode) {
  SingleWaypoint(50.0);
  // Output frame 2: first field shows unit 4 → position 2.0 → frame 1's top
  // field; second field shows unit 5 → position 2.5 → still frame 1's top
  // field, brought onto the bottom lines.
  host_.SetList("deinterlace", 0);
  refhost::Picture none;
  ASSERT_TRUE(host_.RenderFrame(2, none));
  for (int y = 0; y < kHeight; y += 2) {
    EXPECT_TRUE(RowEquals(none, y, 1, y)) << y;        // top lines: frame 1's top field
    EXPECT_TRUE(RowEquals(none, y + 1, 1, y)) << y;    // bottom lines: the same field, unshifted
  }

  host_.SetList("deinterlace", 2);
  refhost::Picture interpolated;
  ASSERT_TRUE(host_.RenderFrame(2, interpolated));
  for (int y = 0; y < kHeight; y += 2) EXPECT_TRUE(RowEquals(interpolated, y, 1, y));
  // Bottom line 1 lies half-way between top lines 0 and 2.
  for (int x = 0; x < kWidth * 4; ++x) {
    if (x % 4 == 3) continue;
    EXPECT_EQ(Row(interpolated, 1)[x], (SourceRow(1, 0)[x] + SourceRow(1, 2)[x]) >> 1) << x;
  }
  // The last bottom line has no top line below it: it copies the one above.
  EXPECT_TRUE(RowEquals(interpolated, 5, 1, 4));

  host_.SetList("deinterlace", 3);
  refhost::Picture adaptive;
  ASSERT_TRUE(host_.RenderFrame(2, adaptive));
  for (int y = 0; y < kHeight; y += 2) EXPECT_TRUE(RowEquals(adaptive, y, 1, y));
  EXPECT_TRUE(Effect().motionMask);
  bool adaptiveLine = false;
  for (const std::string& line : host_.ConsoleLines()) {
    if (line == "\tAdaptive: comparing frame 0.Even with 1.Even (Odd is dominant)\n") {
      adaptiveLine = true;
    }
  }
  EXPECT_TRUE(adaptiveLine);
}

TEST_F(RenderTest, TapeSimShiftsTheSecondFieldShownFirst) {
  host_.SetList("deinterlace", 1);
  SingleWaypoint(50.0);
  // Output frame 1 first field: unit 2, position 1.0 → frame 0's bottom field
  // shown in the top field's place: moved up one line.
  host_.SetPosition(1, kAvxFieldOdd, 1);
  refhost::Picture first;
  ASSERT_TRUE(host_.RenderOnce(kWidth, kHeight / 2, first));
  ASSERT_EQ(Effect().sourceImages.size(), 1u);
  EXPECT_TRUE(Effect().sourceImages.at(0).second);
  // Bottom field rows are 1, 3, 5; shifted up they give 3, 5, 5.
  EXPECT_EQ(std::memcmp(Row(first, 0), SourceRow(0, 3), kWidth * 4), 0);
  EXPECT_EQ(std::memcmp(Row(first, 1), SourceRow(0, 5), kWidth * 4), 0);
  EXPECT_EQ(std::memcmp(Row(first, 2), SourceRow(0, 5), kWidth * 4), 0);
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
    if (x % 4 == 3) {
      EXPECT_EQ(Row(picture, 0)[x], 0) << "the fourth byte is not accumulated";
      continue;
    }
    int expected = (static_cast<int>(SourceRow(1, 0)[x] * 0.5) + static_cast<int>(SourceRow(1, 1)[x] * 0.5)) & 0xFF;
    EXPECT_EQ(Row(picture, 0)[x], expected) << x;
  }
  std::vector<std::string>& lines = host_.ConsoleLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "GenerateOutput(time=0.454545) srcTime=1.25, #images=2\n");
  EXPECT_EQ(lines[lines.size() - 2], "\t#0: frame=1 level=0.5 second=0 interp=0 [00:00:00:01.1]\n");
  EXPECT_EQ(lines[lines.size() - 1], "\t#1: frame=1 level=0.5 second=1 interp=0 [00:00:00:01.2]\n");
}

TEST_F(RenderTest, FailuresBlackAndUnknownModes) {
  refhost::Picture picture;
  host_.FailAlternateFrameAt(1);
  EXPECT_FALSE(host_.RenderFrame(1, picture));
  host_.FailAlternateFrameAt(0);
  ASSERT_TRUE(host_.RenderFrame(1, picture));
  EXPECT_EQ(picture.pixels, clip_->FramePixels(1));  // a healthy host renders correctly again

  // Black after the last waypoint: nothing located, all-zero output.
  SingleWaypoint(100.0);
  host_.SetList("afterEnd", 0);
  ASSERT_TRUE(host_.RenderFrame(2, picture));
  EXPECT_EQ(picture.pixels, std::vector<uint8_t>(picture.pixels.size(), 0));

  // A field mode that names neither frames nor fields gives all-zero output.
  host_.SetPosition(0, kAvxFieldOdd, 7);
  size_t linesBefore = host_.ConsoleLines().size();
  ASSERT_TRUE(host_.RenderOnce(kWidth, 3, picture));
  EXPECT_EQ(picture.pixels, std::vector<uint8_t>(picture.pixels.size(), 0));
  EXPECT_EQ(host_.ConsoleLines().size(), linesBefore);
}

TEST_F(RenderTest, QueuedLinesPrintFirstAndOnce) {
  Effect().QueueMessage("queued %d\n", 1);
  refhost::Picture picture;
  host_.ConsoleLines().clear();
  ASSERT_TRUE(host_.RenderFrame(0, picture));
  ASSERT_FALSE(host_.ConsoleLines().empty());
  EXPECT_EQ(host_.ConsoleLines()[0], "queued 1\n");
  EXPECT_EQ(std::count(host_.ConsoleLines().begin(), host_.ConsoleLines().end(), "queued 1\n"), 1);
}

TEST_F(RenderTest, SwapInputFieldsExchangesTheFields) {
  host_.SetList("deinterlace", 0);
  host_.SetBool("reverseFields", true);
  refhost::Picture picture;
  ASSERT_TRUE(host_.RenderFrame(2, picture));
  // The first field now shows unit 5 (frame 2's bottom field) and vice versa.
  EXPECT_TRUE(RowEquals(picture, 0, 2, 1));
  EXPECT_TRUE(RowEquals(picture, 1, 2, 0));
}

}  // namespace
