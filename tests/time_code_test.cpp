// Time code text, packed values and frame counts.
#include "overlay/time_code.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

namespace {

std::string Text(const TimeCode& code, int32_t packed) {
  char text[TimeCode::kTextSize];
  return code.Format(packed, text) ? text : "<fail:" + std::string(text) + ">";
}

TEST(TimeCode, ParsesAndCountsAsEditorsDo) {
  TimeCode ntsc(29.97);
  EXPECT_EQ(ntsc.Parse("01:00:00;00"), 1000000);
  EXPECT_TRUE(ntsc.dropFrame);
  EXPECT_EQ(ntsc.PackedToFrames(1000000, 29.97), 107892);
  EXPECT_EQ(ntsc.PackedToFrames(100000, 29.97), 17982);  // 00:10:00;00
  EXPECT_EQ(Text(ntsc, ntsc.FramesToPacked(1800, 29.97)), "00:01:00;02");
  EXPECT_EQ(Text(ntsc, ntsc.FramesToPacked(1798, 29.97)), "00:00:59;28");
  EXPECT_EQ(ntsc.Parse("00:01:00;02"), 10002);

  TimeCode ndf(29.97);
  EXPECT_EQ(ndf.Parse("01:00:00:00"), 1000000);
  EXPECT_FALSE(ndf.dropFrame);
  EXPECT_EQ(ndf.PackedToFrames(1000000, 29.97), 108000);

  TimeCode pal(25.0);
  EXPECT_EQ(pal.PackedToFrames(pal.Parse("01:00:00:00"), 25.0), 90000);
  EXPECT_EQ(Text(pal, pal.FramesToPacked(90000, 25.0)), "01:00:00:00");
  pal.Parse("00:00:10;00");
  EXPECT_FALSE(pal.dropFrame);
  EXPECT_EQ(Text(pal, 1000), "00:00:10:00");

  TimeCode fast(59.94);
  fast.Parse("00:00:01;00");
  EXPECT_TRUE(fast.dropFrame);
  EXPECT_EQ(fast.PackedToFrames(100, 59.94), 59);  // counting uses the truncated rate
  EXPECT_EQ(Text(fast, 100), "00:00:01;00");

  EXPECT_EQ(pal.Parse("1.."), 10000);
  EXPECT_EQ(pal.Parse("00:00:75:00"), 7500);
  EXPECT_EQ(pal.PackedToFrames(7500, 25.0), 75 * 25);
  EXPECT_EQ(pal.Parse("01a0"), 1);
  EXPECT_EQ(pal.Parse(""), 0);
  EXPECT_EQ(pal.Parse("  -12"), -12);
  EXPECT_EQ(pal.Parse(std::string(200, '9').c_str()), INT32_MAX);  // longer than the count holds

  EXPECT_EQ(Text(pal, -1), "<fail:>");
  EXPECT_EQ(Text(pal, 24000001), "<fail:>");
  EXPECT_EQ(Text(pal, 24000000), "00:00:00:00");
}

TEST(TimeCode, DropFrameConversionsAreInverseOverADay) {
  const int32_t day = 24 * 107892;
  for (int32_t frame = 0; frame < day; ++frame)
    ASSERT_EQ(TimeCode::DropLabelToFrame(TimeCode::DropFrameToLabel(frame)), frame);
  EXPECT_EQ(TimeCode::DropLabelToFrame(1800), 1799);  // skipped labels name the frame before
  EXPECT_EQ(TimeCode::DropLabelToFrame(1801), 1799);

  TimeCode ntsc(29.97);
  ntsc.dropFrame = true;
  for (int32_t frame = 0; frame < day; frame += 7) {
    char text[TimeCode::kTextSize];
    ASSERT_TRUE(ntsc.Format(ntsc.FramesToPacked(frame, 29.97), text));
    TimeCode reread(29.97);
    ASSERT_EQ(reread.PackedToFrames(reread.Parse(text), 29.97), frame) << text;
  }
}

// Counts, labels and rates far outside a day, as a host or a damaged project
// may give them: computed without overflow (the sanitizer build would stop
// here), cut to 32 bits, and rates that are no count at all count as one.
TEST(TimeCode, ExtremeCountsAndRatesStayDefined) {
  EXPECT_EQ(TimeCode::DropFrameToLabel(INT32_MAX), -2145334017);  // 2149633279 cut to 32 bits
  EXPECT_EQ(TimeCode::DropFrameToLabel(INT32_MIN), 2145334016);
  EXPECT_EQ(TimeCode::DropFrameToLabel(-1194240), -1195436);
  EXPECT_EQ(TimeCode::DropLabelToFrame(TimeCode::DropFrameToLabel(-1194240)), -1194240);

  TimeCode timeCode(25.0);
  EXPECT_EQ(timeCode.FramesToPacked(90000, std::nan("")), 1000000);  // one a second: 25 hours
  EXPECT_EQ(timeCode.FramesToPacked(90000, -5.0), 1000000);
  EXPECT_EQ(timeCode.FramesToPacked(INT32_MAX, 1e12), 100);       // one second of the largest base
  EXPECT_EQ(timeCode.FramesToPacked(INT32_MAX, 1e9), 147483847);  // 00:00:02 and 147483647 frames
  // 86399 seconds of 10^9 frames and 99, cut to 32 bits.
  EXPECT_EQ(timeCode.PackedToFrames(23595999, 1e9), 1437873763);
}

}  // namespace
