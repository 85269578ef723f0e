#include "cli/project_file.h"

#include <gtest/gtest.h>

#include <tuple>

#include "cli/tests/temp_dir.h"

namespace cli {
namespace {

std::string ErrorOf(const std::string& path) {
  try {
    LoadProject(path);
  } catch (const MediaError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(ProjectFile, ReadsEveryFieldInFileOrder) {
  TempDir dir;
  std::string path = dir.Write("ramp.json", R"({
    // a comment explaining the ramp
    "source": "media/clip.mov",
    "trackBelow": "lavfi:testsrc2=duration=1",
    "videoType": "progressive",
    "fieldDominance": "bottom",
    "frames": 300,
    "parameters": {"strobe": 2, "afterEnd": "Loop", "showGraph": false},
    "keys": [{"frame": 0, "speed": 100, "order": 1}, {"time": 0.5, "hold": 4},
             {"unit": 12, "strobe": 3}],
    "outputFrames": 150,
    "instanceData": "3,0"
  })");
  Project project = LoadProject(path);
  EXPECT_EQ(project.source, (dir.Path() / "media/clip.mov").string());
  EXPECT_EQ(project.trackBelow, "lavfi:testsrc2=duration=1");
  EXPECT_EQ(project.videoType, VideoType::kProgressive);
  EXPECT_EQ(project.fieldDominance, FieldDominance::kBottom);
  EXPECT_EQ(project.frames, 300);
  ASSERT_EQ(project.parameters.size(), 3u);
  EXPECT_EQ(project.parameters[0].id, "strobe");
  EXPECT_EQ(project.parameters[1].value, "Loop");
  EXPECT_EQ(project.parameters[2].jsonPath, "parameters.showGraph");
  ASSERT_TRUE(project.keys && project.keys->size() == 3u);
  const std::vector<ProjectKey>& keys = *project.keys;
  EXPECT_EQ(std::tuple(keys[0].place, keys[0].speed, keys[0].order, keys[0].strobe.has_value()),
            std::tuple(ProjectKey::Place::kFrame, std::optional(100.0), std::optional(1), false));
  EXPECT_EQ(std::pair(keys[1].place, keys[1].at), std::pair(ProjectKey::Place::kTime, 0.5));
  EXPECT_EQ(std::pair(keys[2].place, keys[2].at), std::pair(ProjectKey::Place::kUnit, 12.0));
  EXPECT_EQ(project.outputFrames, 150);
  EXPECT_EQ(project.instanceData, "3,0");
}

TEST(ProjectFile, LeftOutFieldsStayUnset) {
  TempDir dir;
  Project project = LoadProject(dir.Write("p.json", R"({"source": "/abs/clip.mov"})"));
  EXPECT_EQ(project.source, "/abs/clip.mov");
  EXPECT_FALSE(project.trackBelow || project.videoType || project.fieldDominance ||
               project.frames || project.keys || project.instanceData);
  EXPECT_TRUE(project.parameters.empty());
}

TEST(ProjectFile, ParseErrorsGiveLineAndColumn) {
  TempDir dir;
  std::string path = dir.Write("broken.json", "{\n  \"source\": \"a.mov\",\n  \"frames\": 30,,\n}");
  std::string message = ErrorOf(path);
  EXPECT_EQ(message.rfind(path + ": line 3, column 16: syntax error", 0), 0u) << message;
  // A number past what a double holds is a range error, not a syntax error.
  std::string huge = dir.Write("huge.json", "{\"source\": \"a.mov\", \"frames\": 1e999}");
  EXPECT_EQ(ErrorOf(huge), huge + ": a number is too large to read");
  std::string missing = dir.File("none.json");
  EXPECT_EQ(ErrorOf(missing), missing + ": No such file or directory");
}

TEST(ProjectFile, BadValuesNameTheJsonPath) {
  TempDir dir;
  // clang-format off
  struct Case {
    const char* json;
    const char* message;
  } cases[] = {
      {R"([1, 2])", "must hold a JSON object such as {\"source\": \"clip.mov\"}"},
      {R"({"frames": 3})", "source: missing; name a clip or lavfi:<filtergraph>"},
      {R"({"source": 7})", "source: must be a text, not 7"},
      {R"({"source": "a.mov", "videoType": "mixed"})", "videoType: must be \"interlaced\" or \"progressive\", not \"mixed\""},
      {R"({"source": "a.mov", "frames": 2.5})", "frames: must be a whole number, 1 or more, not 2.5"},
      {R"({"source": "a.mov", "frames": 0})", "frames: must be a whole number, 1 or more, not 0"},
      {R"({"source": "a.mov", "parameters": {"speed": [1]}})", "parameters.speed: must be a number, true/false or a text, not [1]"},
      {R"({"source": "a.mov", "keys": {"frame": 1}})", "keys: must be a list of keys"},
      {R"({"source": "a.mov", "keys": [{"frame": 0}, {"speed": 50}]})", "keys[1]: needs one of \"unit\", \"frame\" or \"time\""},
      {R"({"source": "a.mov", "keys": [{"frame": 0, "time": 0.5}]})", "keys[0]: give only one of \"unit\", \"frame\" or \"time\""},
      {R"({"source": "a.mov", "keys": [{"unit": -1}]})", "keys[0].unit: must be a whole number, 0 or more, not -1"},
      {R"({"source": "a.mov", "keys": [{"time": 0, "speed": "fast"}]})", "keys[0].speed: must be a number, not \"fast\""},
      // Misspelt fields would lose their settings silently.
      {R"({"source": "a.mov", "keys": [{"frame": 0, "sped": 50}]})", "keys[0].sped: unknown field (a key has \"unit\", \"frame\", \"time\", \"speed\", \"strobe\", \"hold\", \"order\")"},
      {R"({"source": "a.mov", "videotype": "progressive"})", "videotype: unknown field (a project has \"source\", \"trackBelow\", \"videoType\", \"fieldDominance\", \"frames\", \"outputFrames\", \"parameters\", \"keys\", \"instanceData\")"},
  };
  // clang-format on
  for (const Case& c : cases) {
    std::string path = dir.Write("p.json", c.json);
    EXPECT_EQ(ErrorOf(path), path + ": " + c.message) << c.json;
  }
}

}  // namespace
}  // namespace cli
