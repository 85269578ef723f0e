// Faults injected through the reference host: a source fetch refused at every
// point of a render, an allocator that runs out at every allocation, an absent
// track below, zero-sized fields. Each faulty render must fail as the effect
// promises (false for a refused source field, "bad allocation" for exhausted
// memory) or succeed, leave no pixel memory behind, and the instance must
// render correctly again once the host is healthy. The plug-in is linked in,
// not loaded, so that the allocator installed here is the one it uses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "counting_memory.h"
#include "host/corvalis.h"
#include "source/field_names.h"
#include "refhost/effect_host.h"
#include "refhost/plugin.h"
#include "test_clips.h"

extern "C" avxModel_v1* avxNewModel_v1();
extern "C" avxOverlay_v1* avxNewOverlay_v1();

namespace {

constexpr int32_t kWidth = 24, kHeight = 16, kFrames = 8;

struct Scenario {
  const char* name;
  int32_t videoType, inputMode, outputMode, deinterlace;  // video type 0: frame based
  double speed;                                           // percent, from the first unit on
  bool blending, enhance, interpAll;
  const char* phases;  // instance data, or null
};

const Scenario kScenarios[] = {
    {"adaptive half speed", 1, 0, 0, 3, 50, false, false, false, nullptr},
    {"adaptive blending", 1, 0, 0, 3, 37, true, false, false, nullptr},
    {"interpolated enhanced", 1, 0, 0, 2, 50, true, true, true, nullptr},
    {"tapesim fast", 1, 0, 0, 1, 150, false, false, false, nullptr},
    {"tapesim blending", 1, 0, 0, 1, 60, true, false, false, nullptr},
    {"3:2 to progressive", 1, 2, 1, 0, 80, true, false, false, "3,0"},
    {"adaptive to 3:2", 1, 0, 2, 3, 80, false, false, false, "0,4"},
    {"frame based adaptive", 0, 1, 1, 3, 50, false, false, false, nullptr},
};

class FaultInjectionTest : public ::testing::Test {
 protected:
  FaultInjectionTest() {
    SetMemHandlerForTesting(&handler_);
    plugin_ =
        std::make_unique<refhost::Plugin>("linked-in corvalis", avxNewModel_v1, avxNewOverlay_v1);
  }
  ~FaultInjectionTest() override {
    plugin_.reset();
    SetMemHandlerForTesting(nullptr);
    EXPECT_EQ(handler_.Live(), 0u) << "pixel blocks left behind";
    EXPECT_EQ(handler_.StrayFrees(), 0) << "blocks freed twice or never allocated";
  }

  std::unique_ptr<refhost::EffectHost> NewHost(const Scenario& scenario, int32_t width = kWidth,
                                               int32_t height = kHeight) {
    refhost::ProjectSettings settings = testclips::Settings(width, height, kFrames);
    settings.videoType = scenario.videoType;
    auto host = std::make_unique<refhost::EffectHost>(*plugin_, settings);
    host->SetInput(1, clip_);
    testclips::SetRamp(*host, {{0.0, scenario.speed, 0}});
    host->SetList("inputMode", scenario.inputMode);
    host->SetList("outputMode", scenario.outputMode);
    host->SetList("deinterlace", scenario.deinterlace);
    host->SetBool("blending", scenario.blending);
    host->SetBool("enhance", scenario.enhance);
    host->SetBool("interpAll", scenario.interpAll);
    if (const char* text = scenario.phases) {
      host->SetInstanceDataBlock(std::vector<uint8_t>(text, text + std::strlen(text) + 1));
    }
    return host;
  }

  // For every scenario and rendered frame: a healthy render, then the faults
  // that inject() makes (it returns how many), each followed by a healthy
  // render of the same picture holding no more blocks than before. Returns
  // the number of faults of each scenario.
  template <typename Inject>
  std::vector<int> AtEveryRender(Inject inject) {
    std::vector<int> counts;
    for (const Scenario& scenario : kScenarios) {
      auto host = NewHost(scenario);
      counts.push_back(0);
      for (int32_t frame = 0; frame < kFrames; ++frame) {
        SCOPED_TRACE(testing::Message() << scenario.name << ", frame " << frame);
        host->FailAlternateFrameAt(0);
        handler_.RunOutAt(0);
        refhost::Picture reference;
        EXPECT_TRUE(host->RenderFrame(frame, reference)) << "a healthy render failed";
        const int allocations = handler_.Allocations();
        const size_t live = handler_.Live();
        auto recovers = [&] {
          refhost::Picture again;
          ASSERT_TRUE(host->RenderFrame(frame, again));
          EXPECT_EQ(again.pixels, reference.pixels);
          EXPECT_EQ(handler_.Live(), live);
        };
        counts.back() += inject(*host, frame, reference, allocations, recovers);
      }
    }
    return counts;
  }

  testmemory::CountingHandler handler_;
  std::unique_ptr<refhost::Plugin> plugin_;
  std::shared_ptr<refhost::MemoryClip> clip_ =
      testclips::MovingSquareClip(kWidth, kHeight, kFrames);
};

// Which part of the effect made each GetAlternateFrame call of a render:
// the output's own fetch of a source field, or the adaptive step's fetch of
// a neighbour. The step names the two neighbours it compares on the console
// ("\tAdaptive: comparing frame 3.Odd with 4.Odd ...") before it fetches
// them; the entry's own field is of the other parity, and may be fetched
// after them.
enum class Fetch { kSourceField, kNeighbour };

std::vector<Fetch> ClassifyFetches(refhost::EffectHost& host, int32_t frame,
                                   refhost::Picture& picture, bool& ok) {
  std::vector<Fetch> kinds;
  std::vector<std::string> neighbours;  // "frame.Field" of each
  host.FailAlternateFrameAt(0);
  host.onConsole = [&](const std::string& line) {
    neighbours.clear();
    char first[16] = {}, second[16] = {};
    if (std::sscanf(line.c_str(), "\tAdaptive: comparing frame %15s with %15s", first, second) ==
        2) {
      neighbours = {first, second};
    }
  };
  host.onAlternateFrame = [&](uint16_t, uint16_t fetched, avxField field) {
    const std::string name = std::to_string(fetched) + "." + FieldName(field);
    const bool neighbour = std::find(neighbours.begin(), neighbours.end(), name) != neighbours.end();
    kinds.push_back(neighbour ? Fetch::kNeighbour : Fetch::kSourceField);
  };
  ok = host.RenderFrame(frame, picture);
  host.onConsole = nullptr;
  host.onAlternateFrame = nullptr;
  EXPECT_EQ(static_cast<int32_t>(kinds.size()), host.AlternateFrameCalls());
  return kinds;
}

TEST_F(FaultInjectionTest, RefusedSourceFetchAtEveryCallFailsOrZeroesAndRecovers) {
  int neighbourCases = 0;
  const std::vector<int> cases = AtEveryRender(
      [&](refhost::EffectHost& host, int32_t frame, const refhost::Picture&, int, auto recovers) {
        refhost::Picture healthy;
        bool ok = false;
        const std::vector<Fetch> kinds = ClassifyFetches(host, frame, healthy, ok);
        EXPECT_TRUE(ok);
        for (int32_t n = 1; n <= static_cast<int32_t>(kinds.size()); ++n) {
          SCOPED_TRACE(testing::Message() << "refused call " << n);
          host.FailAlternateFrameAt(n);
          refhost::Picture faulty;
          ok = host.RenderFrame(frame, faulty);
          if (kinds[n - 1] == Fetch::kSourceField) {
            EXPECT_FALSE(ok);
          } else {
            ++neighbourCases;
            // A refused neighbour takes part as an all-zero field.
            EXPECT_TRUE(ok);
            host.BlankAlternateFrameAt(n);
            refhost::Picture blank;
            EXPECT_TRUE(host.RenderFrame(frame, blank));
            EXPECT_EQ(faulty.pixels, blank.pixels);
          }
          host.FailAlternateFrameAt(0);
          recovers();
        }
        return static_cast<int>(kinds.size());
      });
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_GT(cases[i], 0) << kScenarios[i].name << ": no fault reached";
  }
  EXPECT_GT(neighbourCases, 0);
}

TEST_F(FaultInjectionTest, AllocatorRunningOutAtEveryAllocationThrowsAndRecovers) {
  const std::vector<int> cases =
      AtEveryRender([&](refhost::EffectHost& host, int32_t frame, const refhost::Picture&,
                        int allocations, auto recovers) {
        for (int n = 1; n <= allocations; ++n) {
          SCOPED_TRACE(testing::Message() << "allocation " << n);
          handler_.RunOutAt(n);
          refhost::Picture faulty;
          try {
            host.RenderFrame(frame, faulty);
            ADD_FAILURE() << "the render went on without the memory it asked for";
          } catch (const std::bad_alloc& error) {
            EXPECT_STREQ(error.what(), "bad allocation");
          }
          handler_.RunOutAt(0);
          recovers();
        }
        return allocations;
      });
  // Renders that fetch straight into the output allocate nothing; the rest do.
  EXPECT_GT(std::accumulate(cases.begin(), cases.end(), 0), 0);
}

TEST_F(FaultInjectionTest, AbsentInputsAreRefusedWithoutHarm) {
  auto host = NewHost(kScenarios[0]);
  Corvalis& effect = static_cast<Corvalis&>(host->Instance());
  // No track below: detection from it gives up at once, fetching nothing.
  host->SetPosition(3, kAvxFieldOdd, 1);
  effect.outputPhase = 4;
  effect.pendingMessages.clear();
  host->FailAlternateFrameAt(0);
  EXPECT_FALSE(effect.DetectOutputPhase());
  EXPECT_EQ(effect.outputPhase, 0);
  EXPECT_TRUE(effect.pendingMessages.empty());
  EXPECT_EQ(host->AlternateFrameCalls(), 0);
  // No clip: its fields are refused (a refused field fails the render, as
  // the refused fetches above show), and detection from it finds nothing.
  host->SetInput(1, nullptr);
  EXPECT_FALSE(effect.DetectInputPhase());
}

TEST_F(FaultInjectionTest, DetectionRunningOutOfMemoryThrowsAndLeavesNothing) {
  auto host = NewHost(kScenarios[0]);
  host->SetInput(0, clip_);
  Corvalis& effect = static_cast<Corvalis&>(host->Instance());
  host->SetPosition(3, kAvxFieldOdd, 1);
  handler_.RunOutAt(0);
  const bool found = effect.DetectOutputPhase();
  const int32_t phase = effect.outputPhase;
  const int allocations = handler_.Allocations();
  ASSERT_GT(allocations, 0);
  const size_t live = handler_.Live();
  for (int n = 1; n <= allocations; ++n) {
    handler_.RunOutAt(n);
    EXPECT_THROW(effect.DetectOutputPhase(), std::bad_alloc) << "allocation " << n;
    EXPECT_EQ(handler_.Live(), live) << "allocation " << n;
    handler_.RunOutAt(0);
    EXPECT_EQ(effect.DetectOutputPhase(), found);
    EXPECT_EQ(effect.outputPhase, phase);
  }
}

TEST_F(FaultInjectionTest, ZeroSizedFieldsRenderBlackAndRecover) {
  AtEveryRender([&](refhost::EffectHost& host, int32_t frame, const refhost::Picture& reference,
                    int, auto recovers) {
    // The host announces fields without pixels (offline media): every entry
    // brings nothing, so the output stays black.
    for (auto [width, height] : {std::pair{0, 0}, std::pair{0, kHeight}, std::pair{kWidth, 0}}) {
      SCOPED_TRACE(testing::Message() << "fields of " << width << "x" << height);
      host.AnnounceFieldSize(width, height);
      refhost::Picture empty;
      EXPECT_TRUE(host.RenderFrame(frame, empty));
      EXPECT_EQ(empty.pixels, std::vector<uint8_t>(reference.pixels.size(), 0));
      host.AnnounceFieldSize(-1, -1);
      recovers();
    }
    return 3;
  });
  // Projects whose frames have no pixels, or fields of one line or none.
  for (const Scenario& scenario : kScenarios) {
    for (auto [width, height] : {std::pair{0, 0}, std::pair{0, 4}, std::pair{4, 0}, std::pair{1, 1},
                                 std::pair{kWidth, 1}, std::pair{1, kHeight}}) {
      SCOPED_TRACE(testing::Message() << scenario.name << ", " << width << "x" << height);
      auto host = NewHost(scenario, width, height);
      for (int32_t frame = 0; frame < kFrames; ++frame) {
        refhost::Picture picture;
        EXPECT_TRUE(host->RenderFrame(frame, picture));
        EXPECT_EQ(picture.pixels.size(), static_cast<size_t>(width) * height * 4);
      }
    }
  }
}

}  // namespace
