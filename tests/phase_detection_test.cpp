// 3:2 phase detection on synthetic pulldown material.
#include "pulldown/phase_detection.h"

#include <gtest/gtest.h>

#include <string>
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

Corvalis& InstanceOf(refhost::EffectHost& host) { return static_cast<Corvalis&>(host.Instance()); }

// A host showing frame 10 of 20 frames of flat-coloured pulldown material,
// with nothing queued yet.
struct FlatPulldown {
  FlatPulldown(int32_t phase, avxField dominance)
      : host(plugin, FieldSettings(20, dominance)), instance(InstanceOf(host)) {
    host.SetInput(1, PulldownClip(kWidth, kHeight, 20, phase, dominance, FlatFilm));
    host.SetPosition(10, dominance, 1);
    instance.pendingMessages.clear();
  }
  refhost::Plugin plugin;
  refhost::EffectHost host;
  Corvalis& instance;
};

TEST(PhaseDetection, FindsEveryPhaseAtEveryFrameForBothDominances) {
  refhost::Plugin plugin;
  constexpr int32_t kFrames = 12;
  for (avxField dominance : {kAvxFieldOdd, kAvxFieldEven}) {
    for (int32_t phase = 0; phase < 5; ++phase) {
      refhost::EffectHost host(plugin, FieldSettings(kFrames, dominance));
      host.SetInput(1, PulldownClip(kWidth, kHeight, kFrames, phase, dominance));
      host.SetInput(0, PulldownClip(kWidth, kHeight, kFrames, (phase + 3) % 5, dominance));
      Corvalis& instance = InstanceOf(host);
      for (int32_t frame = 0; frame < kFrames; ++frame) {
        SCOPED_TRACE(testing::Message()
                     << "dominance " << dominance << " phase " << phase << " frame " << frame);
        host.SetPosition(frame, kAvxFieldOdd, 1);
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

TEST(PhaseDetection, QueuesItsCommentaryExactly) {
  FlatPulldown clip(1, kAvxFieldOdd);
  refhost::EffectHost& host = clip.host;
  Corvalis& instance = clip.instance;

  // Only the third test (field 21 against field 19) matches: phase 1, code 2.
  EXPECT_TRUE(instance.DetectInputPhase());
  EXPECT_EQ(instance.inputPhase, 2);
  const std::string failed = "FAILED at (12,6) diff=(70,60,50)\n";
  const std::vector<std::string> expected = {
      "Dominant Field: Odd   Non-Dominant Field: Even\n",
      "Comparing detfield=20, frame 10, 9, Odd field: ",
      failed,
      "Comparing detfield=20, frame 10, 11, Odd field: ",
      failed,
      "Comparing detfield=21, frame 10, 9, Even field: ",
      "phase = 1\n",
      "Comparing detfield=21, frame 10, 11, Even field: ",
      failed,
      "Comparing detfield=20, frame 11, 12, Odd field: ",
      failed,
  };
  EXPECT_EQ(instance.pendingMessages, expected);

  // The messages wait for the next render, which prints them in order.
  host.ConsoleLines().clear();
  refhost::Picture picture;
  host.RenderFrame(10, picture);
  ASSERT_GE(host.ConsoleLines().size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(host.ConsoleLines()[i], expected[i]);
  EXPECT_TRUE(instance.pendingMessages.empty());
}

TEST(PhaseDetection, QueuedLinesAreCutAtTheirBuffer) {
  FlatPulldown clip(0, kAvxFieldOdd);
  const std::string longText(2000, 'x');
  clip.instance.QueueMessage("%s", longText.c_str());
  clip.instance.QueueMessage("phase = %d\n", 3);
  ASSERT_EQ(clip.instance.pendingMessages.size(), 2u);
  EXPECT_EQ(clip.instance.pendingMessages[0], std::string(1023, 'x'));
  EXPECT_EQ(clip.instance.pendingMessages[1], "phase = 3\n");
}

TEST(PhaseDetection, NamesTheEvenFieldDominantWhenItIs) {
  FlatPulldown clip(4, kAvxFieldEven);
  Corvalis& instance = clip.instance;
  int32_t phase = -1;
  EXPECT_TRUE(instance.DetectPhase(1, phase));
  EXPECT_EQ(phase, 4);  // the fifth test: (20 + 4) mod 5
  ASSERT_EQ(instance.pendingMessages.size(), 11u);
  EXPECT_EQ(instance.pendingMessages[0], "Dominant Field: Even   Non-Dominant Field: Odd\n");
  EXPECT_EQ(instance.pendingMessages[5], "Comparing detfield=21, frame 10, 9, Odd field: ");
  EXPECT_EQ(instance.pendingMessages[10], "phase = 4\n");
}

TEST(PhaseDetection, StillPictureIsAmbiguous) {
  refhost::Plugin plugin;
  auto still = std::make_shared<refhost::MemoryClip>(kWidth, kHeight);
  auto noise = testclips::NoiseClip(kWidth, kHeight, 1, 7);
  for (int i = 0; i < 10; ++i) still->AddFrame(noise->FramePixels(0));
  refhost::EffectHost host(plugin, FieldSettings(10, kAvxFieldOdd));
  host.SetInput(1, still);
  host.SetPosition(5, kAvxFieldOdd, 1);
  Corvalis& instance = InstanceOf(host);
  instance.inputPhase = 4;
  instance.pendingMessages.clear();

  int32_t phase = -1;
  EXPECT_FALSE(instance.DetectPhase(1, phase));
  EXPECT_EQ(phase, 0);  // the first match, field 10, is kept
  const std::vector<std::string> expected = {
      "Dominant Field: Odd   Non-Dominant Field: Even\n",
      "Comparing detfield=10, frame 5, 4, Odd field: ",
      "phase = 0\n",
      "Comparing detfield=10, frame 5, 6, Odd field: ",
      "SUCCEEDED but phase already set\n",
  };
  EXPECT_EQ(instance.pendingMessages, expected);
  EXPECT_FALSE(instance.DetectInputPhase());
  EXPECT_EQ(instance.inputPhase, 0);
}

TEST(PhaseDetection, CentresOnTheFramesThatExist) {
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, FieldSettings(100, kAvxFieldOdd));
  host.SetInput(1, PulldownClip(kWidth, kHeight, 100, 2, kAvxFieldOdd, FlatFilm));
  Corvalis& instance = InstanceOf(host);
  int32_t phase = -1;

  host.SetPosition(0, kAvxFieldOdd, 1);
  instance.pendingMessages.clear();
  EXPECT_TRUE(instance.DetectPhase(1, phase));
  EXPECT_EQ(phase, 2);  // field 2 repeats field 0
  EXPECT_EQ(instance.pendingMessages[1], "Comparing detfield=2, frame 1, 0, Odd field: ");
  EXPECT_EQ(instance.pendingMessages.back(), "FAILED at (12,6) diff=(70,60,50)\n");
  EXPECT_EQ(instance.pendingMessages[instance.pendingMessages.size() - 2],
            "Comparing detfield=2, frame 2, 3, Odd field: ");

  // On the last frame the fifth test reaches one past the end: a zero field.
  host.SetPosition(99, kAvxFieldOdd, 1);
  instance.pendingMessages.clear();
  instance.DetectPhase(1, phase);
  EXPECT_EQ(instance.pendingMessages[1], "Comparing detfield=196, frame 98, 97, Odd field: ");
  const size_t last = instance.pendingMessages.size() - 1;
  EXPECT_EQ(instance.pendingMessages[last - 1],
            "Comparing detfield=196, frame 99, 100, Odd field: ");
  // Film frame 99 * 2 shows one of the two colours; the zero field differs from it.
  EXPECT_EQ(instance.pendingMessages[last].rfind("FAILED at (12,6) diff=(", 0), 0u);
}

TEST(PhaseDetection, NeedsTheInputAndThreeFrames) {
  refhost::Plugin plugin;
  {
    refhost::EffectHost host(plugin, FieldSettings(20, kAvxFieldOdd));
    host.SetInput(1, PulldownClip(kWidth, kHeight, 20, 0, kAvxFieldOdd));
    Corvalis& instance = InstanceOf(host);
    instance.outputPhase = 3;
    instance.pendingMessages.clear();
    int32_t phase = 7;
    EXPECT_FALSE(instance.DetectPhase(0, phase));  // no track below
    EXPECT_EQ(phase, -1);
    EXPECT_FALSE(instance.DetectOutputPhase());
    EXPECT_EQ(instance.outputPhase, 0);
    EXPECT_TRUE(instance.pendingMessages.empty());
    EXPECT_EQ(host.AlternateFrameCalls(), 0);
  }
  {
    refhost::EffectHost host(plugin, FieldSettings(2, kAvxFieldOdd));
    host.SetInput(1, PulldownClip(kWidth, kHeight, 2, 0, kAvxFieldOdd));
    Corvalis& instance = InstanceOf(host);
    instance.pendingMessages.clear();
    int32_t phase = 7;
    EXPECT_FALSE(instance.DetectPhase(1, phase));
    EXPECT_EQ(phase, -1);
    EXPECT_TRUE(instance.pendingMessages.empty());
  }
}

TEST(PhaseDetection, FetchesSevenFieldsOnce) {
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, FieldSettings(20, kAvxFieldOdd));
  host.SetInput(1, PulldownClip(kWidth, kHeight, 20, 3, kAvxFieldOdd));
  host.SetPosition(10, kAvxFieldOdd, 1);
  host.FailAlternateFrameAt(0);
  int32_t phase = -1;
  EXPECT_TRUE(InstanceOf(host).DetectPhase(1, phase));
  EXPECT_EQ(host.AlternateFrameCalls(), 7);
}

// A frame of `base` colour with some pixels changed, as one clip frame.
struct PixelChange {
  int32_t x;
  int32_t y;
  uint8_t blue;
  uint8_t green;
  uint8_t red;
};

std::vector<uint8_t> Frame(int32_t width, int32_t height, const std::vector<PixelChange>& changes) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4, 100);
  for (const PixelChange& change : changes) {
    uint8_t* pixel = &pixels[(static_cast<size_t>(change.y) * width + change.x) * 4];
    pixel[0] = change.blue;
    pixel[1] = change.green;
    pixel[2] = change.red;
  }
  return pixels;
}

TEST(PhaseDetection, FieldsDifferOnlyWhereAllThreeChannelsExceedTheTolerance) {
  refhost::Plugin plugin;
  struct Case {
    const char* what;
    std::vector<PixelChange> changes;  // on the top field's rows of frame 1
    bool match;
    PixelPosition position;
    uint8_t difference[4];
  };
  // Frame rows 2y are top-field row y; the field has 16 rows and 32 columns,
  // so the compared region is rows 6..9, columns 12..19.
  const Case cases[] = {
      {"blue at the tolerance", {{15, 14, 132, 200, 0}}, true, {}, {}},
      {"blue one over", {{15, 14, 133, 200, 0}}, false, {15, 7}, {33, 100, 100, 0}},
      {"red at the tolerance", {{15, 14, 0, 0, 132}}, true, {}, {}},
      {"darker by more", {{12, 12, 60, 50, 40}}, false, {12, 6}, {40, 50, 60, 0}},
      {"last row and column", {{19, 18, 0, 0, 0}}, false, {19, 9}, {100, 100, 100, 0}},
      {"outside the region",
       {{11, 12, 0, 0, 0}, {20, 12, 0, 0, 0}, {15, 10, 0, 0, 0}, {15, 20, 0, 0, 0}},
       true,
       {},
       {}},
      {"first in scan order",
       {{18, 16, 0, 0, 0}, {13, 18, 255, 255, 255}, {14, 16, 255, 100, 255}},
       false,
       {18, 8},
       {100, 100, 100, 0}},
      {"other field only", {{15, 15, 0, 0, 0}}, true, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto clip = std::make_shared<refhost::MemoryClip>(kWidth, kHeight);
    clip->AddFrame(Frame(kWidth, kHeight, {}));
    clip->AddFrame(Frame(kWidth, kHeight, c.changes));
    refhost::EffectHost host(plugin, FieldSettings(2, kAvxFieldOdd));
    host.SetInput(1, clip);
    SourceCache cache;
    PixelPosition position{-5, -5};
    uint8_t difference[4] = {9, 9, 9, 9};
    const bool match =
        FieldsMatch(host.Instance(), cache, 1, 0, 1, kAvxFieldOdd, position, difference, 32);
    EXPECT_EQ(match, c.match);
    if (!c.match) {
      EXPECT_EQ(position.column, c.position.column);
      EXPECT_EQ(position.row, c.position.row);
      for (int i = 0; i < 4; ++i) EXPECT_EQ(difference[i], c.difference[i]) << i;
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
