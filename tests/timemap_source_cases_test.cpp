// Which source fields, with which weights, make each output field for every
// source and output structure, and the 3:2 cadence arithmetic, checked
// against the cycle read field by field.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "tests/timemap_fixture.h"
#include "timemap/cadence.h"
#include "timemap/source_cases.h"

namespace {

using timemaptest::KeyedEffect;

// Source frame, weight, second field, interpolated onto the other lines.
using Image = std::tuple<int32_t, double, bool, bool>;

struct Row {
  const char* what;
  double speed, strobe;  // of a single waypoint at unit 0, percent and units
  int32_t input, output, deinterlace;
  bool blending;
  const char* phases;  // stored 3:2 phase codes, or null
  int32_t frame, selector;
  double position;
  int32_t field;
  std::vector<Image> images;
  int32_t videoType = 1;  // 0: a frame-based project
};

constexpr bool F = false, T = true;
constexpr int32_t kIn = kInputInterlaced, kProg = kInputProgressive, k32 = kInput32;
constexpr int32_t kF1 = kInputDuplicateF1, kF2 = kInputDuplicateF2;
constexpr int32_t kOut = kOutputInterlaced, kOutProg = kOutputProgressive, kOut32 = kOutput32;

TEST(TimemapSourceCases, EachStructureTakesItsFields) {
  // clang-format off
  const Row rows[] = {
      {"strobe 4 blended, a unit later", 100, 4, kIn, kOut, 0, T, nullptr, 10, 2, 20, 20, {{10, 0.75, F, T}, {12, 0.25, F, T}}},
      {"tapesim blended, second", 50, 1, kIn, kOut, 1, T, nullptr, 10, 2, 10.5, 10, {{5, 0.5, F, T}, {5, 0.5, T, F}}},
      {"tapesim strobe, quarter", 100, 4, kIn, kOut, 1, T, nullptr, 10, 2, 20, 20, {{10, 0.75, F, F}, {12, 0.25, F, T}}},
      {"to progressive, second uses the first's unit", 50, 1, kIn, kOutProg, 0, F, nullptr, 10, 2, 10, 10, {{5, 1, F, T}}},
      {"dup F1 blended, second", 50, 1, kF1, kOut, 0, T, nullptr, 10, 2, 10.5, 10, {{5, 0.75, F, T}, {6, 0.25, F, T}}},
      {"dup F1 strobe", 100, 4, kF1, kOut, 0, T, nullptr, 10, 2, 20, 20, {{10, 0.75, F, T}, {12, 0.25, F, T}}},
      {"dup F2 blended, first", 50, 1, kF2, kOut, 0, T, nullptr, 10, 1, 10, 11, {{5, 0.75, T, T}, {6, 0.25, T, T}}},
      {"dup F2 strobe", 100, 4, kF2, kOut, 0, T, nullptr, 10, 1, 20, 21, {{10, 1, T, T}, {12, 0, T, T}}},
      {"progressive, second", 50, 1, kProg, kOut, 0, F, nullptr, 10, 2, 10.5, 10, {{5, 1, T, F}}},
      {"progressive blended, second", 50, 1, kProg, kOut, 0, T, nullptr, 10, 2, 10.5, 10, {{5, 0.75, T, F}, {6, 0.25, T, F}}},
      // The strobe partner is the same field of the frame at the next sample.
      {"progressive strobe", 100, 4, kProg, kOut, 0, T, nullptr, 10, 2, 20, 20, {{10, 0.75, T, F}, {12, 0.25, T, F}}},
      {"interlaced to 3:2, odd field in a first field", 100, 1, kIn, kOut32, 0, F, nullptr, 11, 1, 22.5, 23, {{11, 1, T, T}}},
      {"interlaced to 3:2 blended", 100, 1, kIn, kOut32, 0, T, nullptr, 10, 2, 22.5, 23, {{11, 0.5, F, F}, {11, 0.5, T, F}}},
      // A 3:2 output field shows the film instant: the mean of its units.
      {"3:2 film instant, second", 50, 1, kIn, kOut32, 0, F, "0,3", 1, 2, 1.25, 1, {{0, 1, T, F}}},
      {"progressive to 3:2, first", 100, 1, kProg, kOut32, 0, F, nullptr, 11, 1, 22.5, 22, {{11, 1, F, F}}},
      {"progressive to 3:2, second", 100, 1, kProg, kOut32, 0, F, nullptr, 14, 2, 30, 31, {{15, 1, T, F}}},
      {"dup F1 to 3:2", 100, 1, kF1, kOut32, 0, F, nullptr, 10, 2, 22.5, 22, {{11, 1, F, F}}},
      {"dup F2 to 3:2", 100, 1, kF2, kOut32, 0, F, nullptr, 10, 1, 20, 21, {{10, 1, T, F}}},
      // 3:2 sources: one film field, never blended.
      {"3:2 to progressive, first", 20, 1, k32, kOutProg, 0, F, "3,0", 31, 1, 12.4, 14, {{7, 1, F, F}}},
      {"3:2 to progressive, unset phase", 20, 1, k32, kOutProg, 0, F, nullptr, 31, 1, 12.4, 13, {{6, 1, T, F}}},
      {"3:2 to interlaced, never blended", 20, 1, k32, kOut, 0, T, "3,0", 31, 1, 12.4, 12, {{6, 1, F, F}}},
      {"3:2 to 3:2, second", 49.6, 1, k32, kOut32, 0, T, "3,0", 12, 2, 12.4, 11, {{5, 1, T, F}}},
      // Frame-based projects: positions count whole frames.
      {"frames, 50 % blended", 50, 1, kIn, kOut, 0, T, nullptr, 7, 0, 3.5, 3, {{3, 0.5, F, F}, {4, 0.5, F, F}}, 0},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    KeyedEffect fx(60, row.videoType);
    fx.ConstantSpeed(row.speed, row.strobe);
    fx.SetList("inputMode", row.input);
    fx.SetList("outputMode", row.output);
    fx.SetList("deinterlace", row.deinterlace);
    fx.SetBool("blending", row.blending);
    if (row.phases != nullptr) fx.StorePhases(row.phases);
    fx.Render(row.frame, row.selector);
    const Corvalis& effect = fx.effect();
    EXPECT_NEAR(effect.sourcePosition, row.position, 1e-6);
    EXPECT_EQ(effect.sourceField, row.field);
    std::vector<Image> images;
    for (size_t i = 0; i < effect.sourceImages.size(); ++i) {
      const SourceImage image = effect.sourceImages.at(i);
      images.emplace_back(image.frame, image.level, image.second, image.interp);
    }
    EXPECT_EQ(images, row.images);
  }
}

TEST(TimemapSourceCases, FieldRequestsAndOverlayQueries) {
  KeyedEffect fx(20);
  fx.ConstantSpeed(50);
  fx.Render(10, 2);
  Corvalis& effect = fx.effect();
  EXPECT_EQ(std::tuple(effect.CurrentUnit(), effect.UnitsPerFrame(), effect.SourcePositionAt(21),
                       effect.SourcePositionAt(8)),
            std::tuple(21, 2, 10.5, 4.0));
  // A whole-frame request reads the frame's first unit.
  fx.Render(10, 0);
  EXPECT_EQ(fx.effect().sourcePosition, 10.0);
  // Outside the effect there is no source: black.
  fx.Render(25, 1);
  EXPECT_EQ(std::tuple(fx.effect().sourceImages.size(), fx.effect().sourceField),
            std::tuple(0u, -1));
  // A frame-based project counts one unit a frame.
  KeyedEffect frames(20, 0);
  frames.ConstantSpeed(100);
  frames.Render(7);
  EXPECT_EQ(std::tuple(frames.effect().UnitsPerFrame(), frames.effect().timelinePositions.size()),
            std::tuple(1, 20u));
}

TEST(TimemapSourceCases, FieldsPastTheSourceAreClampedUnderLoopOnly) {
  // 3:2 to progressive, cadence 0: output frame 75 stands at the last unit,
  // 299, whose film frame starts at field 300, one past the source. Only "Loop"
  // keeps such positions and shows the last field; otherwise it shows black.
  for (const auto& [overLimits, frame, second] :
       {std::tuple{kOverLimitsBlack, 150, false}, std::tuple{kOverLimitsLoop, 149, true}}) {
    SCOPED_TRACE(overLimits);
    KeyedEffect fx(150);
    fx.SetList("inputMode", kInput32);
    fx.SetList("outputMode", kOutputProgressive);
    fx.SetList("overLimits", overLimits);
    fx.StorePhases("3,0");
    fx.Keys({{149}});
    fx.Render(75, 1);
    const SourceImageList& images = fx.effect().sourceImages;
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(std::tuple(fx.effect().sourcePosition, images.at(0).frame, images.at(0).second),
              std::tuple(299.0, frame, second));
  }
}

TEST(TimemapSourceCases, FieldAtOrBelowAndNearest) {
  // Position, mode (0 any field, 1 a frame's first field, 2 its second), field.
  const std::tuple<double, int32_t, int32_t> below[] = {
      {9.995, 0, 10}, {9.98, 0, 9}, {11.99, 1, 12}, {11.5, 1, 10}, {11.5, 2, 11}, {-0.5, 0, -1}};
  for (const auto& [position, mode, field] : below)
    EXPECT_EQ(Corvalis::FieldAtOrBelow(position, mode), field) << position << " " << mode;
  EXPECT_EQ(Corvalis::NearestField(10.49), 10);
  EXPECT_EQ(Corvalis::NearestField(10.5), 11);
}

TEST(Cadence, IndexFromPhaseCode) {
  const int expected[] = {3, 3, 4, 0, 1, 2};  // codes 0 to 5
  for (int code = 0; code <= 5; ++code) EXPECT_EQ(CadenceIndex(code), expected[code]) << code;
  // A damaged stored code still gives an index on the tables.
  for (int code : {-7, 6, 99, 2147483647}) EXPECT_LT(unsigned(CadenceIndex(code)), 5u) << code;
}

TEST(Cadence, OutputFieldsCarryTheFilmFramesOfTheCycle) {
  // Film frame in the first / second field of video frames 0 to 4.
  const int cycle[5][5][2] = {
      {{0, 0}, {0, 1}, {1, 2}, {2, 2}, {3, 3}}, {{0, 1}, {1, 1}, {2, 2}, {3, 3}, {3, 4}},
      {{0, 0}, {1, 1}, {1, 2}, {2, 3}, {3, 3}}, {{0, 1}, {1, 2}, {2, 2}, {3, 3}, {4, 4}},
      {{0, 0}, {1, 1}, {2, 2}, {2, 3}, {3, 4}},
  };
  for (int c = 0; c < 5; ++c) {
    for (int repeat = 0; repeat < 3; ++repeat) {
      for (int k = 0; k < 5; ++k) {
        const int unit = 10 * repeat + 2 * k;
        EXPECT_EQ(OutputFilmFrame(unit, c, 1), cycle[c][k][0] + 4 * repeat) << c << " " << unit;
        EXPECT_EQ(OutputFilmFrame(unit + 1, c, 2), cycle[c][k][1] + 4 * repeat) << c << " " << unit;
      }
    }
  }
  // Selector 0 at the start of the cycle with cadence 0 is the one slot the
  // tables leave open: it keeps the first film frame of the cycle. Elsewhere
  // it reads the second-field slot of the previous cadence index.
  EXPECT_EQ(OutputFilmFrame(0, 0, 0), 0);
  EXPECT_EQ(OutputFilmFrame(20, 0, 0), 8);
  EXPECT_EQ(OutputFilmFrame(2, 1, 0), OutputFilmFrame(3, 0, 2));
}

TEST(Cadence, FilmFramesAreFoundAmongTheSourceFields) {
  // Source field of the first / second field of film frames 0 to 3.
  const int cycle[5][4][2] = {
      {{0, 1}, {4, 3}, {6, 5}, {8, 9}}, {{0, -1}, {2, 3}, {4, 5}, {6, 7}},
      {{0, 1}, {2, 3}, {6, 5}, {8, 7}}, {{0, -1}, {2, 1}, {4, 5}, {6, 7}},
      {{0, 1}, {2, 3}, {4, 5}, {8, 7}},
  };
  for (int c = 0; c < 5; ++c) {
    for (int film = 0; film < 12; ++film) {
      const int base = 10 * (film / 4);
      EXPECT_EQ(InputFilmField(film + 0.7, c, 1), cycle[c][film % 4][0] + base) << c << film;
      EXPECT_EQ(InputFilmField(film, c, 2), cycle[c][film % 4][1] + base) << c << film;
    }
  }
  // Selector 0, as for the output cycle.
  EXPECT_EQ(InputFilmField(0, 0, 0), 0);
  EXPECT_EQ(InputFilmField(8, 0, 0), 20);
  EXPECT_EQ(InputFilmField(1, 2, 0), InputFilmField(1, 1, 2));
}

TEST(Cadence, PulldownFieldAtUniformFilmTime) {
  EXPECT_EQ(PulldownFieldAt(12.4, 2, 1), 10);
  // Cadence 0: film frames start at 0, 2.5, 5 and 7.5 of each ten fields.
  const int first[4] = {2, 4, 6, 8};
  const int second[4] = {1, 3, 7, 9};
  for (int b = 0; b < 4; ++b) {
    EXPECT_EQ(PulldownFieldAt(20 + 2.5 * b + 1.0, 0, 1), 20 + first[b]) << b;
    EXPECT_EQ(PulldownFieldAt(20 + 2.5 * b + 1.0, 0, 0), 20 + first[b]) << b;
    EXPECT_EQ(PulldownFieldAt(20 + 2.5 * b + 1.0, 0, 2), 20 + second[b]) << b;
  }
  EXPECT_EQ(PulldownFieldAt(31.0, 4, 2), 31);
}

}  // namespace
