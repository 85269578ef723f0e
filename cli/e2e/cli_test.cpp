// The corvalis tool end to end: real commands on small generated clips.
#include <algorithm>
#include <string>

#include "cli/e2e/cli_fixture.h"
#include "cli/media_reader.h"

namespace {

using e2e::Has;

using e2e::Result;

class CliTest : public e2e::CliFixture {
 protected:
  // A project on a 10-frame 64x48 interlaced test clip, top field first.
  std::string Project(const std::string& extra = "") const {
    return std::string(
               R"({ "source": "lavfi:testsrc2=size=64x48:rate=50:duration=0.4,interlace=scan=tff")") +
           (extra.empty() ? "" : ", " + extra) + " }";
  }
};

TEST_F(CliTest, TimelineAndLocateReportTheEffect) {
  Write("p.json", Project(R"("keys": [{"unit": 0, "speed": 50}, {"unit": 19, "order": 0}])"));
  Result timeline = Run("timeline p.json");
  ASSERT_EQ(timeline.exitCode, 0) << timeline.err;
  EXPECT_EQ(timeline.out.rfind("unit,position,speed,strobe,countdown,keymark\n0,0,0.5,1,1,0\n"
                               "1,0.5,0.5,1,1,-1\n",
                               0),
            0u)
      << timeline.out;
  // A heading, then a row for each of 10 frames' 20 fields.
  EXPECT_EQ(std::count(timeline.out.begin(), timeline.out.end(), '\n'), 21) << timeline.out;

  Result json = Run("timeline p.json --format json");
  ASSERT_EQ(json.exitCode, 0);
  EXPECT_TRUE(Has(json.out, "\"unit\":1,\"position\":0.5,"));

  Result locate = Run("locate p.json --frame 5 --field second");
  ASSERT_EQ(locate.exitCode, 0) << locate.err;
  EXPECT_TRUE(Has(locate.out, "\"sourcePosition\": 5.5"));
  EXPECT_TRUE(Has(locate.out, "\"frame\": 2"));
  EXPECT_TRUE(Has(locate.out, "\"sourceField\": 5"));
}

TEST_F(CliTest, DemoWritesItsClip) {
  Result demo = Run("demo -o '" + Path("demo") + "'");
  ASSERT_EQ(demo.exitCode, 0) << demo.err;
  EXPECT_TRUE(Has(demo.out, Path("demo") + "/demo.mkv"));
  cli::MediaReader clip(Path("demo/demo.mkv"));
  EXPECT_EQ(clip.Width(), 720);
  EXPECT_EQ(clip.Height(), 486);
  EXPECT_EQ(clip.FrameCount(), 120);
}

TEST_F(CliTest, BadInputGetsOneClearLineAndNonZeroExit) {
  struct Case {
    std::string project, expected;
  };
  const Case cases[] = {
      {Project(R"("parameters": {"sped": 10})"), "unknown parameter id \"sped\""},
      {Project(R"("parameters": {"deinterlace": "Fancy"})"),
       "\"None\", \"TapeSim\", \"Interpolated\", \"Adaptive\""},
      {Project(R"("keys": [{"frame": 12}])"), "keys[0]: lies outside the effect"},
      {R"({ "source": "missing.mov" })", "missing.mov"},
  };
  for (const Case& c : cases) {
    Write("p.json", c.project);
    Result result = Run("timeline p.json");
    EXPECT_NE(result.exitCode, 0) << c.project;
    EXPECT_TRUE(Has(result.err, c.expected)) << c.project;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }

  // The output may never be the source, even with -y.
  Write("p.json", Project());
  ASSERT_EQ(Run("render p.json -q -o clip.mkv").exitCode, 0);
  Write("q.json", R"({ "source": "clip.mkv" })");
  Result self = Run("render q.json -o clip.mkv -y");
  EXPECT_NE(self.exitCode, 0);
  EXPECT_TRUE(Has(self.err, "clip.mkv: is the source clip"));
  EXPECT_EQ(Run("render --help").exitCode, 0);
}

TEST_F(CliTest, VersionAndHelpNameTheToolAndEveryCommand) {
  const Result version = Run("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("corvalis 1.0 (FFmpeg ", 0), 0u) << version.out;
  const Result help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(Has(help.out, "(render, timeline, locate, demo, phase, overlay)"));
}

}  // namespace
