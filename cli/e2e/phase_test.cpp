// corvalis phase end to end: the 3:2 phase dialog on telecined clips.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/e2e/cli_fixture.h"
#include "cli/media_reader.h"

namespace {

using e2e::Has;

// Film at 24000/1001 frames a second; 160x120 keeps enough detail that
// neighbouring film frames differ in all three channels somewhere.
const std::string kFilm = "testsrc2=size=160x120:rate=24000/1001:duration=1,format=bgra";

using e2e::Result;

class PhaseCommand : public e2e::CliFixture {
 protected:
  // A project retiming telecined film from 3:2 to progressive; `extra` is
  // added as further fields.
  void WriteProject(const std::string& name, const std::string& telecine,
                    const std::string& dominance, const std::string& extra = "") const {
    Write(name, "{ \"source\": \"lavfi:" + kFilm + ",telecine=" + telecine +
                    "\",\n  \"videoType\": \"interlaced\", \"fieldDominance\": \"" + dominance +
                    "\",\n  \"parameters\": {\"inputMode\": \"3:2\", \"outputMode\": "
                    "\"Progressive\"}" +
                    (extra.empty() ? "" : ",\n  " + extra) + " }\n");
  }

  Result Phase(const std::string& project, const std::string& presses) const {
    return Run("phase '" + Path(project) + "' " + presses);
  }

  std::string StoredPhases(const std::string& project) const {
    const nlohmann::json document = nlohmann::json::parse(Read(Path(project)));
    return document.value("instanceData", std::string("(none)"));
  }
};

// The last two lines of a phase run: the codes rendering will use.
std::string Codes(const Result& result) {
  const size_t input = result.out.rfind("input phase code: ");
  return input == std::string::npos ? "" : result.out.substr(input);
}

TEST_F(PhaseCommand, DetectsTelecinePhasesAndRecoversTheFilmFrames) {
  struct Case {
    std::string clip;       // telecine options of the clip
    std::string below;      // and of the track below
    std::string dominance;  // field order of both
    std::string names;      // the first queued line
    std::string codes, stored;
  };
  // Pattern 23 makes the fields A A B B B C C D D D: field 4 repeats field 2,
  // phase 4, code 5. Pattern 32 makes A A A B B C C C D D: field 2 repeats
  // field 0, phase 2, code 3. The field order does not change the cadence.
  const Case cases[] = {
      {"pattern=23", "pattern=32", "top", "Dominant Field: Odd   Non-Dominant Field: Even\n",
       "input phase code: 5 (A)\noutput phase code: 3 (B)\n", "5,3"},
      {"pattern=32:first_field=bottom", "pattern=23:first_field=bottom", "bottom",
       "Dominant Field: Even   Non-Dominant Field: Odd\n",
       "input phase code: 3 (B)\noutput phase code: 5 (A)\n", "3,5"},
  };
  cli::MediaReader film("lavfi:" + kFilm);
  ASSERT_EQ(film.FrameCount(), 24);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clip);
    WriteProject("p.json", c.clip, c.dominance,
                 "\"trackBelow\": \"lavfi:" + kFilm + ",telecine=" + c.below + "\"");
    Result phase = Phase("p.json", "--frame 10 --detect input --detect below --ok --save");
    ASSERT_EQ(phase.exitCode, 0) << phase.err;
    EXPECT_EQ(phase.out.rfind(c.names, 0), 0u) << phase.out;
    // Six lines from each detection, then the two codes.
    EXPECT_EQ(std::count(phase.out.begin(), phase.out.end(), '\n'), 2 * 6 + 2) << phase.out;
    EXPECT_EQ(Codes(phase), c.codes) << phase.out;
    EXPECT_EQ(StoredPhases("p.json"), c.stored);

    Result render = Run("render '" + Path("p.json") + "' -o '" + Path("film.mkv") + "' -y");
    ASSERT_EQ(render.exitCode, 0) << render.err;
    cli::MediaReader output(Path("film.mkv"));
    ASSERT_EQ(output.FrameCount(), 30);
    // Output frame k stands at film time 0.8 k and shows the nearest film
    // frame whole: 0 1 2 2 3 4 5 6 6 7 ...
    for (int k = 0; k < output.FrameCount(); ++k) {
      ASSERT_EQ(output.Frame(k)->pixels, film.Frame((8 * k + 5) / 10)->pixels) << "frame " << k;
    }
  }
}

TEST_F(PhaseCommand, PressesActInOrderFromTheStoredPhasesAndOnlyOkAndSaveStoreThem) {
  struct Case {
    std::string stored;  // the project's phases before, "" for none
    std::string presses;
    std::string input, output;  // the codes rendering will use; "" unchecked
    std::string after;          // the phases stored afterwards
    std::string seen;           // in the output too
  };
  // clang-format off
  const Case cases[] = {
      {"", "--select input=2 --detect input --ok", "5 (A)", "0 (Unknown - using X)", "(none)", ""},
      {"", "--detect input --select input=2 --select below=4 --ok", "2 (D)", "4 (C)", "(none)", ""},
      // Frame 2's first field is field 4, its second field 5: phases 4 and 0.
      {"", "--frame 2 --manual input --manual below --ok", "5 (A)", "5 (A)", "(none)", ""},
      {"", "--frame 2 --field second --manual below --ok", "0 (Unknown - using Interlaced)", "1 (X)", "(none)", ""},
      // The lists start from the stored phases.
      {"2,4", "--ok --save", "2 (D)", "4 (C)", "2,4", ""},
      // Cancel keeps them; the detection still reports what it saw, at the
      // render after closing.
      {"2,4", "--frame 10 --detect input --select below=1 --cancel --save", "2 (D)", "4 (C)", "2,4", "Comparing detfield=20, frame 11, 12, Odd field: phase = 4\n"},
      {"", "--detect input --cancel --save", "", "", "(none)", ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.presses);
    WriteProject("p.json", "pattern=23", "top",
                 c.stored.empty() ? "" : "\"instanceData\": \"" + c.stored + "\"");
    const std::string before = Read(Path("p.json"));
    Result phase = Phase("p.json", c.presses);
    ASSERT_EQ(phase.exitCode, 0) << phase.err;
    if (!c.input.empty()) {
      EXPECT_EQ(Codes(phase),
                "input phase code: " + c.input + "\noutput phase code: " + c.output + "\n");
    }
    EXPECT_EQ(StoredPhases("p.json"), c.after);
    if (c.presses.find("--save") == std::string::npos ||
        c.presses.find("--cancel") != std::string::npos) {
      EXPECT_EQ(Read(Path("p.json")), before);
    }
    EXPECT_TRUE(Has(phase.out, c.seen));
  }

  // A progressive project counts frames: Manual on frame 7 means phase 2.
  Write("q.json", "{ \"source\": \"lavfi:" + kFilm +
                      "\", \"videoType\": \"progressive\", \"instanceData\": \"0,5\" }");
  Result phase = Phase("q.json", "--frame 7 --manual input --ok --save");
  ASSERT_EQ(phase.exitCode, 0) << phase.err;
  EXPECT_EQ(Codes(phase), "input phase code: 3 (B)\noutput phase code: 5 (A)\n");
  EXPECT_EQ(StoredPhases("q.json"), "3,5");
}

TEST_F(PhaseCommand, BadRequestsGetOneLineAndLeaveTheProject) {
  WriteProject("p.json", "pattern=23", "top", "\"instanceData\": \"2,4\"");
  const std::string before = Read(Path("p.json"));
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {  // presses, and a part of the error
      {"--select input=9 --ok --save", "--select input=9"}, {"--select sideways=1 --ok --save", "--select sideways=1"},
      {"--select input= --ok --save", "--select input="}, {"--frame 30 --ok --save", "--frame 30"},
      // Refused by the command line's parser, with a pointer to --help.
      {"--detect above --ok --save", "above"}, {"--detect input --save", "--ok"}, {"--ok --cancel --save", "--ok"},
  };
  // clang-format on
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& [presses, expected] = cases[i];
    Result phase = Phase("p.json", presses);
    EXPECT_NE(phase.exitCode, 0) << presses;
    EXPECT_TRUE(Has(phase.err, expected)) << presses;
    EXPECT_TRUE(phase.out.empty()) << presses << "\n" << phase.out;
    if (i < 4) {  // the project's own problems: one line naming it
      EXPECT_EQ(std::count(phase.err.begin(), phase.err.end(), '\n'), 1) << phase.err;
      EXPECT_TRUE(Has(phase.err, Path("p.json")));
    }
  }
  EXPECT_EQ(Read(Path("p.json")), before);
  EXPECT_EQ(Run("phase --help").exitCode, 0);
}

}  // namespace
