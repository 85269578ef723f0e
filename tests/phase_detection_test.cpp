// 3:2 phase detection on synthetic pulldown material.
#include "pulldown/phase_detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "host/corvalis.h"
#include "pulldown_clips.h"
#include "source/source_fetch.h"
#include "test_clips.h"

namespace {

using pulldownclips::FlatFilm;
using pulldownclips::PulldownClip;

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 32;

refhost::ProjectSettings FieldSettings(int32_t frames, avxField dominance) {
  refhost::ProjectSettings settings = testclips::Settings(kWidth, kHeight, frames);
  settings.fieldDominance = dominance;
  return settings;
}

// A host on a clip of pulldown material, at the first field of a frame.
struct Detector {
  Detector(int32_t frames, avxField dominance, int32_t phase, int32_t frame,
           const pulldownclips::FilmPicture& film = pulldownclips::NoiseFilm)
      : host(plugin, FieldSettings(frames, dominance)),
        instance(static_cast<Corvalis&>(host.Instance())) {
    host.SetInput(1, PulldownClip(kWidth, kHeight, frames, phase, dominance, film));
    host.SetPosition(frame, dominance, 1);
    instance.pendingMessages.clear();
  }
  refhost::Plugin plugin;
  refhost::EffectHost host;
  Corvalis& instance;
};

TEST(PhaseDetection, FindsEveryPhaseAtEveryFrameForBothDominances) {
  constexpr int32_t kFrames = 12;
  for (avxField dominance : {kAvxFieldOdd, kAvxFieldEven}) {
    for (int32_t phase = 0; phase < 5; ++phase) {
      Detector clip(kFrames, dominance, phase, 0);
      clip.host.SetInput(0, PulldownClip(kWidth, kHeight, kFrames, (phase + 3) % 5, dominance));
      Corvalis& instance = clip.instance;
      for (int32_t frame = 0; frame < kFrames; ++frame) {
        SCOPED_TRACE(testing::Message()
                     << "dominance " << dominance << " phase " << phase << " frame " << frame);
        clip.host.SetPosition(frame, kAvxFieldOdd, 1);
        // On the last frame the fifth field of the cycle lies past the clip.
        const int32_t centre = frame == 0 ? 1 : (kFrames - frame < 3 ? frame - 1 : frame);
        const bool lastUnseen = centre + 2 >= kFrames;
        const bool visible = !lastUnseen || (2 * centre + 4) % 5 != phase;
        int32_t found = 99;
        EXPECT_EQ(instance.DetectPhase(1, found), visible);
        EXPECT_EQ(found, visible ? phase : -1);
        EXPECT_EQ(instance.DetectInputPhase(), visible);
        EXPECT_EQ(instance.inputPhase, visible ? phase + 1 : 0);
        const bool belowVisible = !lastUnseen || (2 * centre + 4) % 5 != (phase + 3) % 5;
        EXPECT_EQ(instance.DetectOutputPhase(), belowVisible);
        EXPECT_EQ(instance.outputPhase, belowVisible ? (phase + 3) % 5 + 1 : 0);
      }
    }
  }
}

// The same picture in every field.
void StillFilm(int32_t, int32_t x, int32_t y, uint8_t* pixel) {
  pulldownclips::NoiseFilm(0, x, y, pixel);
}

// What a detection says it compared and found, queued for the next render.
// Flat film alternates colours that differ by 50, 60 and 70.
TEST(PhaseDetection, CommentaryNamesEachComparisonAndItsOutcome) {
  struct Case {
    const char* what;
    int32_t frames, phase, frame;
    avxField dominance;
    pulldownclips::FilmPicture film;
    int32_t input;
    bool found;
    int32_t foundPhase;
    std::string commentary;
  };
  const std::string odd = "Dominant Field: Odd   Non-Dominant Field: Even\n";
  const std::string no = "FAILED at (12,6) diff=(70,60,50)\n";
  auto at = [](int detfield, int frame, int other, const char* field, const std::string& said) {
    return "Comparing detfield=" + std::to_string(detfield) + ", frame " + std::to_string(frame) +
           ", " + std::to_string(other) + ", " + field + " field: " + said;
  };
  // clang-format off
  const Case cases[] = {
      // Only the third comparison (field 21 against field 19) matches.
      {"phase 1", 20, 1, 10, kAvxFieldOdd, FlatFilm, 1, true, 1,
       odd + at(20, 10, 9, "Odd", no) + at(20, 10, 11, "Odd", no) + at(21, 10, 9, "Even", "phase = 1\n") +
       at(21, 10, 11, "Even", no) + at(20, 11, 12, "Odd", no)},
      {"phase 4, the even field dominant", 20, 4, 10, kAvxFieldEven, FlatFilm, 1, true, 4,
       "Dominant Field: Even   Non-Dominant Field: Odd\n" + at(20, 10, 9, "Even", no) + at(20, 10, 11, "Even", no) +
       at(21, 10, 9, "Odd", no) + at(21, 10, 11, "Odd", no) + at(20, 11, 12, "Even", "phase = 4\n")},
      // The first match is kept; the second makes the cadence ambiguous.
      {"a still picture", 10, 0, 5, kAvxFieldOdd, StillFilm, 1, false, 0,
       odd + at(10, 5, 4, "Odd", "phase = 0\n") + at(10, 5, 6, "Odd", "SUCCEEDED but phase already set\n")},
      // The fifth comparison reaches one past the end: a zero field.
      {"the last frame centres on the one before", 100, 2, 99, kAvxFieldOdd, FlatFilm, 1, true, 2,
       odd + at(196, 98, 97, "Odd", no) + at(196, 98, 99, "Odd", no) + at(197, 98, 97, "Even", "phase = 2\n") +
       at(197, 98, 99, "Even", no) + at(196, 99, 100, "Odd", "FAILED at (12,6) diff=(170,160,150)\n")},
      {"no track below", 20, 0, 10, kAvxFieldOdd, FlatFilm, 0, false, -1, ""},
      {"too few frames", 2, 0, 1, kAvxFieldOdd, FlatFilm, 1, false, -1, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Detector clip(c.frames, c.dominance, c.phase, c.frame, c.film);
    Corvalis& instance = clip.instance;
    int32_t phase = 99;
    EXPECT_EQ(instance.DetectPhase(c.input, phase), c.found);
    EXPECT_EQ(phase, c.foundPhase);
    const std::vector<std::string> queued = instance.pendingMessages;
    std::string commentary;
    for (const std::string& line : queued) commentary += line;
    EXPECT_EQ(commentary, c.commentary);
    if (c.commentary.empty()) {
      EXPECT_EQ(clip.host.AlternateFrameCalls(), 0) << "nothing to compare fetches nothing";
    }
    // The next render prints the lines in order.
    clip.host.ConsoleLines().clear();
    refhost::Picture picture;
    clip.host.RenderFrame(c.frame, picture);
    const std::vector<std::string>& console = clip.host.ConsoleLines();
    ASSERT_GE(console.size(), queued.size());
    EXPECT_EQ(std::vector<std::string>(console.begin(), console.begin() + queued.size()), queued);
    EXPECT_TRUE(instance.pendingMessages.empty());
  }
}

TEST(PhaseDetection, FetchesSevenFieldsOnceAndCutsLongLines) {
  Detector clip(20, kAvxFieldOdd, 3, 10);
  clip.host.FailAlternateFrameAt(0);
  int32_t phase = -1;
  EXPECT_TRUE(clip.instance.DetectPhase(1, phase));
  EXPECT_EQ(clip.host.AlternateFrameCalls(), 7);

  clip.instance.pendingMessages.clear();
  clip.instance.QueueMessage("%s", std::string(2000, 'x').c_str());
  clip.instance.QueueMessage("phase = %d\n", 3);
  EXPECT_EQ(clip.instance.pendingMessages,
            (std::vector<std::string>{std::string(1023, 'x'), "phase = 3\n"}));
}

// A pixel of frame 1 changed from the grey 100 that fills both frames.
struct PixelChange {
  int32_t x, y;
  uint8_t bgr[3];
};

TEST(PhaseDetection, FieldsDifferOnlyWhereAllThreeChannelsExceedTheTolerance) {
  refhost::Plugin plugin;
  struct Case {
    const char* what;
    std::vector<PixelChange> changes;  // on the top field's rows of frame 1
    bool match;
    PixelPosition position;
    std::vector<uint8_t> difference;
  };
  // Frame rows 2y are top-field row y; the field has 16 rows and 32 columns,
  // so the compared region is rows 6..9, columns 12..19.
  // clang-format off
  const Case cases[] = {
      {"blue at the tolerance", {{15, 14, 132, 200, 0}}, true, {}, {}},
      {"blue one over", {{15, 14, 133, 200, 0}}, false, {15, 7}, {33, 100, 100, 0}},
      {"red at the tolerance", {{15, 14, 0, 0, 132}}, true, {}, {}},
      {"darker by more", {{12, 12, 60, 50, 40}}, false, {12, 6}, {40, 50, 60, 0}},
      {"last row and column", {{19, 18, 0, 0, 0}}, false, {19, 9}, {100, 100, 100, 0}},
      {"outside the region", {{11, 12, 0, 0, 0}, {20, 12, 0, 0, 0}, {15, 10, 0, 0, 0}, {15, 20, 0, 0, 0}}, true, {}, {}},
      {"first in scan order", {{18, 16, 0, 0, 0}, {13, 18, 255, 255, 255}, {14, 16, 255, 100, 255}}, false, {18, 8}, {100, 100, 100, 0}},
      {"other field only", {{15, 15, 0, 0, 0}}, true, {}, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto clip = std::make_shared<refhost::MemoryClip>(kWidth, kHeight);
    std::vector<uint8_t> pixels(kWidth * kHeight * 4, 100);
    clip->AddFrame(pixels);
    for (const PixelChange& change : c.changes) {
      std::copy(change.bgr, change.bgr + 3, &pixels[(change.y * kWidth + change.x) * 4]);
    }
    clip->AddFrame(pixels);
    refhost::EffectHost host(plugin, FieldSettings(2, kAvxFieldOdd));
    host.SetInput(1, clip);
    SourceCache cache;
    PixelPosition position{-5, -5};
    uint8_t difference[4] = {9, 9, 9, 9};
    EXPECT_EQ(FieldsMatch(host.Instance(), cache, 1, 0, 1, kAvxFieldOdd, position, difference, 32),
              c.match);
    if (!c.match) {
      EXPECT_EQ(std::pair(position.column, position.row), std::pair(c.position.column, c.position.row));
      EXPECT_EQ(std::vector<uint8_t>(difference, difference + 4), c.difference);
    }
  }
}

TEST(PhaseDetection, FieldsTooSmallToCompareMatch) {
  refhost::Plugin plugin;
  for (auto size : {std::pair<int32_t, int32_t>{24, 40}, {40, 24}}) {
    // 24 frame rows make fields of 12 rows; 24 columns leave none between the borders.
    refhost::EffectHost host(plugin, testclips::Settings(size.first, size.second, 2));
    host.SetInput(1, testclips::NoiseClip(size.first, size.second, 2, 3));
    SourceCache cache;
    PixelPosition position;
    uint8_t difference[4] = {0, 0, 0, 0};
    EXPECT_TRUE(
        FieldsMatch(host.Instance(), cache, 1, 0, 1, kAvxFieldOdd, position, difference, 0));
  }
}

}  // namespace
