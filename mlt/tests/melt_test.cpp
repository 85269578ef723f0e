// melt with the corvalis link, as Linux editors render through it, gives
// `corvalis render`'s frames byte for byte. melt renders without a link it
// cannot find and says nothing, so each comparison also checks that the
// output is not the source's.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/e2e/cli_fixture.h"

namespace {

using e2e::Has;

// melt, with what it needs to load this build's module; a render that hangs
// fails (exit 124) instead of stopping the suite.
const std::string kMelt = std::string(MELT_ENVIRONMENT) + " timeout 120 melt";

class Melt : public e2e::CliFixture {
 protected:
  // A command line run in the scratch folder with MLT finding our module.
  e2e::Result Shell(const std::string& command) const {
    return CliFixture::Shell(
        command, "MLT_REPOSITORY='" MLT_TEST_REPOSITORY "' MLT_DATA='" MLT_TEST_DATA "'");
  }
  // melt ARGUMENTS into OUT as FFV1 BGRA, video only. melt 7.12 now and then
  // ends before its consumer has started, with or without our link, leaving
  // an empty file and exit code 0; such a run is made again. `quiet` leaves
  // out melt's chatter, and every message with it.
  e2e::Result RunMelt(const std::string& arguments, const std::string& out,
                      bool quiet = true) const {
    const std::string file = out.substr(0, out.find(' '));
    for (int attempt = 1;; ++attempt) {
      const e2e::Result run =
          Shell(kMelt + (quiet ? " -quiet " : " ") + arguments + " -consumer avformat:" + out +
                " vcodec=ffv1 pix_fmt=bgra an=1");
      if (run.exitCode != 0 || !Read(Path(file)).empty() || attempt == 3) return run;
    }
  }
  void RenderWithMelt(const std::string& arguments, const std::string& out) const {
    const e2e::Result run = RunMelt(arguments, out);
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  void RenderWithTool(const std::string& project, const std::string& out,
                      const std::string& options = "") const {
    const e2e::Result run = Run("render " + project + " -o " + out + " -y " + options);
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  // The MD5 of every decoded picture, in order.
  std::vector<std::string> FrameHashes(const std::string& media) const {
    const e2e::Result hashed =
        Shell("ffmpeg -nostdin -v error -i " + media + " -map 0:v -pix_fmt bgra -f framemd5 -");
    std::vector<std::string> hashes;
    std::istringstream lines(hashed.out);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line[0] != '#') hashes.push_back(line.substr(line.rfind(' ') + 1));
    }
    return hashes;
  }
  // The link ran: the frames are the tool's and not the source's.
  void ExpectSameFrames(const std::string& melted, const std::string& rendered,
                        const std::string& source) const {
    const std::vector<std::string> fromMelt = FrameHashes(melted);
    ASSERT_FALSE(fromMelt.empty());
    EXPECT_EQ(fromMelt, FrameHashes(rendered));
    std::vector<std::string> fromSource = FrameHashes(source);
    fromSource.resize(fromMelt.size());
    EXPECT_NE(fromMelt, fromSource) << "melt rendered without the link";
  }
};

// A ramp with a backward stretch and a hold: every kind of output field.
const char* const kRampKeys =
    R"("keys": [{"frame": 0, "speed": 100}, {"frame": 24, "speed": -50, "hold": 4},
                {"frame": 8, "speed": 100}])";

TEST_F(Melt, RendersTheToolsFramesOnEveryKindOfRgbSourceAtEveryRealTimeSetting) {
  struct Material {
    const char *name, *make;
  };
  // clang-format off
  const Material materials[] = {
      {"top.mkv", "-f lavfi -i testsrc2=size=96x64:rate=25:duration=1.6 -vf setfield=tff -c:v ffv1 -pix_fmt bgra -field_order tt"},
      {"bottom-odd.mkv", "-f lavfi -i testsrc2=size=98x66:rate=30000/1001:duration=1.6 -vf format=bgra,crop=97:65:0:0,setfield=bff -c:v ffv1 -pix_fmt bgra -field_order bb"},
      {"progressive.mkv", "-f lavfi -i testsrc2=size=64x48:rate=24:duration=1.6 -c:v ffv1 -pix_fmt bgra"},
  };
  // clang-format on
  for (const Material& material : materials) {
    SCOPED_TRACE(material.name);
    ASSERT_NO_FATAL_FAILURE(Ffmpeg(material.make, material.name));
    for (const char* deinterlace : {"Adaptive", "None"}) {
      Write("ramp.json", std::string(R"({"source": ")") + material.name +
                             R"(", "parameters": {"deinterlace": ")" + deinterlace + "\"}, " +
                             kRampKeys + "}");
      ASSERT_NO_FATAL_FAILURE(RenderWithTool("ramp.json", "tool.mkv"));
      // Three renders at once are the in-process test's: melt 7.12 itself now
      // and then never returns from real_time=-3, with or without the link.
      for (const char* realTime : {"1", "-2"}) {
        SCOPED_TRACE(std::string(deinterlace) + " real_time=" + realTime);
        ASSERT_NO_FATAL_FAILURE(RenderWithMelt(
            std::string("-chain ") + material.name + " -link corvalis project=ramp.json",
            "melt.mkv real_time=" + std::string(realTime)));
        ExpectSameFrames("melt.mkv", "tool.mkv", material.name);
      }
    }
  }
}

TEST_F(Melt, PropertiesAndAnimatedKeysSetTheEffectAsAProjectFileDoes) {
  ASSERT_NO_FATAL_FAILURE(
      Ffmpeg("-f lavfi -i testsrc2=size=80x48:rate=25:duration=1.2 -vf setfield=tff -c:v ffv1 "
             "-pix_fmt bgra -field_order tt",
             "clip.mkv"));
  // 40 frames of effect over 30 of clip: black past the clip's end.
  Write("ramp.json", R"({"source": "clip.mkv", "frames": 40,
    "parameters": {"deinterlace": "Interpolated", "afterEnd": "Hold Speed", "blending": true},
    "keys": [{"frame": 0, "speed": 100}, {"frame": 12, "speed": 25, "strobe": 3},
             {"frame": 20, "speed": 150, "hold": 6}]})");
  ASSERT_NO_FATAL_FAILURE(RenderWithTool("ramp.json", "tool.mkv"));
  ASSERT_NO_FATAL_FAILURE(
      RenderWithMelt("-chain clip.mkv length=40 out=39 -link corvalis deinterlace=Interpolated "
                     "afterEnd='Hold Speed' blending=1 frames=40 speed='0=100;12=25;20=150' "
                     "strobe='0|=1;12|=3;20|=1' hold='0|=0;20|=6'",
                     "melt.mkv"));
  ExpectSameFrames("melt.mkv", "tool.mkv", "clip.mkv");
  EXPECT_EQ(FrameHashes("melt.mkv").size(), 40u);
}

TEST_F(Melt, TheExampleProjectRendersItsTrimmedEntry) {
  // The example at a smaller size, to be quick.
  ASSERT_NO_FATAL_FAILURE(
      Ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=25:duration=4 -vf setfield=tff -c:v ffv1 "
             "-pix_fmt bgra -field_order tt",
             "clip.mkv"));
  std::string example = Read(std::string(CORVALIS_SOURCE_DIR) + "/examples/ramp.mlt");
  const size_t size = example.find(R"(width="720" height="576")");
  ASSERT_NE(size, std::string::npos);
  example.replace(size, 24, R"(width="96" height="64")");
  Write("ramp.mlt", example);
  Write("ramp.json", R"({"source": "clip.mkv", "frames": 100,
    "parameters": {"deinterlace": "Adaptive", "afterEnd": "Black"},
    "keys": [{"frame": 0, "speed": 100, "hold": 0}, {"frame": 30, "speed": 25, "hold": 20},
             {"frame": 60, "speed": 100, "hold": 0}]})");
  ASSERT_NO_FATAL_FAILURE(RenderWithTool("ramp.json", "tool.mkv", "--range 10-69"));
  ASSERT_NO_FATAL_FAILURE(RenderWithMelt("ramp.mlt", "melt.mkv"));
  ExpectSameFrames("melt.mkv", "tool.mkv", "clip.mkv");
  EXPECT_EQ(FrameHashes("melt.mkv").size(), 60u);
}

TEST_F(Melt, ReversePlayOverALongGopSourceGivesTheSourceFramesBackwards) {
  // One key frame in 100: every step back decodes from it.
  ASSERT_NO_FATAL_FAILURE(
      Ffmpeg("-f lavfi -i testsrc2=size=128x96:rate=25:duration=4 "
             "-c:v libx264 -g 100 -bf 2 -pix_fmt yuv420p",
             "gop.mp4"));
  Write("reverse.json", R"({"source": "gop.mp4", "parameters": {"deinterlace": "None"},
    "keys": [{"frame": 99, "speed": -100, "order": 1}, {"frame": 0, "speed": -100, "order": 2}]})");
  ASSERT_NO_FATAL_FAILURE(
      RenderWithMelt("-chain gop.mp4 -link corvalis project=reverse.json", "reverse.mkv"));
  ASSERT_NO_FATAL_FAILURE(RenderWithMelt("-chain gop.mp4", "forward.mkv"));
  std::vector<std::string> backwards = FrameHashes("forward.mkv");
  ASSERT_EQ(backwards.size(), 100u);
  std::reverse(backwards.begin(), backwards.end());
  EXPECT_EQ(FrameHashes("reverse.mkv"), backwards);
}

TEST_F(Melt, PassesTheMediaUsersBringThroughAtFullSpeedWithBlackPastTheEffect) {
  // melt alone, at the source's field order: its normalisers would otherwise
  // move interlaced material by a line to the consumer's default.
  struct Material {
    const char *name, *make, *fieldOrder;
  };
  // clang-format off
  const Material materials[] = {
      {"mpeg2.mov", "-f lavfi -i testsrc2=size=720x576:rate=25:duration=0.6 -vf setfield=tff -c:v mpeg2video -pix_fmt yuv422p -flags +ilme+ildct -top 1", " top_field_first=1"},
      {"pal.dv", "-f lavfi -i testsrc2=size=720x576:rate=25:duration=0.6 -vf setfield=bff -c:v dvvideo -pix_fmt yuv420p", " top_field_first=0"},
      {"prores.mov", "-f lavfi -i testsrc2=size=320x240:rate=30000/1001:duration=0.6 -c:v prores_ks", ""},
      {"phone.mp4", "-f lavfi -i testsrc2=size=320x240:rate=30:duration=0.6 -c:v libx264 -pix_fmt yuv420p", ""},
  };
  // clang-format on
  for (const Material& material : materials) {
    SCOPED_TRACE(material.name);
    ASSERT_NO_FATAL_FAILURE(Ffmpeg(material.make, material.name));
    ASSERT_NO_FATAL_FAILURE(RenderWithMelt(std::string("-chain ") + material.name,
                                           std::string("plain.mkv") + material.fieldOrder));
    std::vector<std::string> expected = FrameHashes("plain.mkv");
    ASSERT_GE(expected.size(), 10u);
    // The effect ends two frames before the clip: nothing there.
    const size_t frames = expected.size() - 2;
    ASSERT_NO_FATAL_FAILURE(
        RenderWithMelt(std::string("-chain ") + material.name +
                           " -link corvalis deinterlace=Adaptive frames=" + std::to_string(frames),
                       "linked.mkv"));
    const std::vector<std::string> linked = FrameHashes("linked.mkv");
    ASSERT_EQ(linked.size(), expected.size());
    // From the second frame: MLT converts the first frame it decodes with
    // colour settings a level apart in one of the two paths.
    EXPECT_EQ(std::vector<std::string>(linked.begin() + 1, linked.begin() + frames),
              std::vector<std::string>(expected.begin() + 1, expected.begin() + frames));
    EXPECT_EQ(linked[frames], linked[frames + 1]);
    EXPECT_NE(linked[frames], expected[frames]);
  }
}

TEST_F(Melt, RefusesAProfileOfAnotherRate) {
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(
      "-f lavfi -i testsrc2=size=64x48:rate=25:duration=0.4 -c:v ffv1 -pix_fmt bgra", "clip.mkv"));
  const e2e::Result refused =
      RunMelt("-profile atsc_720p_30 -chain clip.mkv -link corvalis", "out.mkv", false);
  EXPECT_EQ(refused.exitCode, 0);
  EXPECT_TRUE(Has(refused.err, "the profile's frame rate (30/1) differs from the source's (25/1)"));
}

}  // namespace
