// corvalis overlay end to end: the overlay drawn over a rendered frame, its
// alpha layer, clicks that change the play order, and refused requests.
#include <algorithm>
#include <string>

#include "cli/e2e/cli_fixture.h"
#include "cli/media_reader.h"

namespace {

using e2e::Has;

// Ten interlaced 160x120 frames, top field first.
const std::string kSource = "lavfi:testsrc2=size=160x120:rate=50:duration=0.4,interlace=scan=tff";

using e2e::Result;

class OverlayCommand : public e2e::CliFixture {
 protected:
  // Three waypoints at frames 0, 4 and 9 in play order 1, 2, 3; `parameters`
  // is the body of the parameters object.
  void WriteProject(const std::string& name, const std::string& parameters = "") const {
    Write(name, "{ \"source\": \"" + kSource + "\",\n  \"parameters\": {" + parameters +
                    "},\n  \"keys\": [{\"frame\": 0, \"speed\": 100}, {\"frame\": 4, \"speed\": "
                    "50}, {\"frame\": 9, \"speed\": 100}] }\n");
  }

  // The colour type byte of a PNG's header: 2 RGB, 6 RGBA.
  static int PngColourType(const std::string& png) {
    return png.size() > 25 ? static_cast<unsigned char>(png[25]) : -1;
  }
};

TEST_F(OverlayCommand, CompositeIsTheOverlayOverTheRenderedFrame) {
  // Everything off: the overlay stays transparent and the picture is the
  // rendered output frame itself.
  WriteProject("empty.json", R"("showSource": false, "showGraph": false, "showTimeCode": false)");
  Result empty = Run("overlay empty.json --frame 4 -o empty.png");
  ASSERT_EQ(empty.exitCode, 0) << empty.err;
  ASSERT_EQ(Run("render empty.json -o out.mkv").exitCode, 0);
  cli::MediaReader rendered(Path("out.mkv"));
  cli::MediaReader picture(Path("empty.png"));
  ASSERT_EQ(picture.Width(), 160);
  ASSERT_EQ(picture.Height(), 120);
  EXPECT_EQ(PngColourType(Read(Path("empty.png"))), 2);
  EXPECT_TRUE(picture.Frame(0)->pixels == rendered.Frame(4)->pixels);

  // The default view: the source frame covers the whole buffer, so what the
  // editor shows is the overlay's own colour; the alpha layer is RGBA.
  WriteProject("p.json");
  Result shown = Run("overlay p.json --frame 4 -o shown.png");
  ASSERT_EQ(shown.exitCode, 0) << shown.err;
  Result alone = Run("overlay p.json --frame 4 --alpha -o alone.png");
  ASSERT_EQ(alone.exitCode, 0) << alone.err;
  EXPECT_EQ(PngColourType(Read(Path("alone.png"))), 6);
  EXPECT_TRUE(cli::MediaReader(Path("shown.png")).Frame(0)->pixels ==
              cli::MediaReader(Path("alone.png")).Frame(0)->pixels);
  EXPECT_FALSE(cli::MediaReader(Path("shown.png")).Frame(0)->pixels == rendered.Frame(4)->pixels);

  // Same project, same bytes; another field, another picture.
  ASSERT_EQ(Run("overlay p.json --frame 4 -o again.png").exitCode, 0);
  EXPECT_EQ(Read(Path("again.png")), Read(Path("shown.png")));
  ASSERT_EQ(Run("overlay p.json --frame 4 --field second -o second.png").exitCode, 0);
  EXPECT_NE(Read(Path("second.png")), Read(Path("shown.png")));
}

TEST_F(OverlayCommand, ClicksChangeThePlayOrder) {
  // A 200x150 buffer: graph area columns 23 to 189, rows 1 to 146. The key at
  // frame 4 (unit 8 of 20) stands at x = 23 + trunc(8/19 × 167) = 93; its
  // order box spans columns 87 to 100 and rows 71 to 121.
  WriteProject("p.json");
  const std::string base = "overlay p.json --frame 4 --size 200x150 -o o.png -y";
  Result raise = Run(base + " --click 93,75");
  ASSERT_EQ(raise.exitCode, 0) << raise.err;
  EXPECT_EQ(raise.out,
            "key 0 at unit 0: order 1\nkey 1 at unit 8: order 3\nkey 2 at unit 18: order 2\n");
  EXPECT_EQ(cli::MediaReader(Path("o.png")).Width(), 200);

  // Lower twice: swap with order 1, then leave the order; the middle line
  // does nothing.
  Result lower = Run(base + " --click 93,118 --click 93,118 --click 93,96");
  ASSERT_EQ(lower.exitCode, 0) << lower.err;
  EXPECT_EQ(lower.out,
            "key 0 at unit 0: order 1\nkey 1 at unit 8: order 0\nkey 2 at unit 18: order 2\n");

  // A click beside the box changes nothing, and the project file is left as
  // it was: the order lives in this run only.
  const std::string project = Read(Path("p.json"));
  Result miss = Run(base + " --click 10,10");
  ASSERT_EQ(miss.exitCode, 0) << miss.err;
  EXPECT_EQ(miss.out,
            "key 0 at unit 0: order 1\nkey 1 at unit 8: order 2\nkey 2 at unit 18: order 3\n");
  EXPECT_EQ(Read(Path("p.json")), project);
}

TEST_F(OverlayCommand, BadRequestsGetOneClearLine) {
  WriteProject("p.json");
  Write("progressive.json",
        "{ \"source\": \"lavfi:testsrc2=size=64x48:rate=25:duration=0.4\", "
        "\"videoType\": \"progressive\" }");
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {  // arguments, and a part of the error
      {"p.json --frame 10 -o x.png", "--frame 10: the effect has frames 0 to 9"},
      {"p.json --frame 1 --size 0x5 -o x.png", "--size 0x5"}, {"p.json --frame 1 --size big -o x.png", "expected WxH"},
      {"p.json --frame 1 --click 160,3 -o x.png", "--click 160,3: expected X,Y inside the 160x120 overlay"},
      {"p.json --frame 1 --click 3 -o x.png", "--click 3"},
      {"progressive.json --frame 1 --field second -o x.png", "the project is progressive"},
      {"p.json --frame 1 -o p.json -y", "is the project file"},
  };
  // clang-format on
  for (const auto& [arguments, expected] : cases) {
    Result result = Run("overlay " + arguments);
    EXPECT_NE(result.exitCode, 0) << arguments;
    EXPECT_TRUE(Has(result.err, expected)) << arguments;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  EXPECT_TRUE(Has(Read(Path("p.json")), "\"keys\""));

  // An existing output is kept without -y.
  Write("exists.png", "keep me");
  Result refused = Run("overlay p.json --frame 1 -o exists.png");
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_TRUE(Has(refused.err, "already exists"));
  EXPECT_EQ(Read(Path("exists.png")), "keep me");
  EXPECT_EQ(Run("overlay --help").exitCode, 0);
}

}  // namespace
