// The per-unit timeline built from real keys: ramps, holds, strobe and every
// "After End" behaviour.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "tests/timemap_fixture.h"

namespace {

using timemaptest::KeyedEffect;

TEST(TimemapTimeline, DefaultKeysPlayTheSourceUnchanged) {
  KeyedEffect fx(20);
  fx.DefaultKeys();
  fx.Render(0);
  Corvalis& effect = fx.effect();
  const size_t units = static_cast<size_t>(fx.Units());
  ASSERT_EQ(effect.timelinePositions.size(), units);
  ASSERT_EQ(effect.timelineKeyMarks.size(), units);
  for (size_t u = 0; u < units; ++u) {
    EXPECT_EQ(effect.timelinePositions[u], static_cast<double>(u)) << u;
    EXPECT_EQ(effect.timelineSpeeds[u], 1.0) << u;
    EXPECT_EQ(effect.timelineStrobes[u], 1) << u;
    EXPECT_EQ(effect.timelineCountdowns[u], 1) << u;
    EXPECT_EQ(effect.timelineKeyMarks[u], u == 0 ? 0 : -1) << u;
  }
  // Room for every unit was made before appending.
  EXPECT_GE(effect.timelinePositions.capacity(), units + 2);
  EXPECT_GE(effect.timelineSpeeds.capacity(), units + 2);
  EXPECT_GE(effect.timelineStrobes.capacity(), units + 2);
  EXPECT_GE(effect.timelineCountdowns.capacity(), units + 2);
}

TEST(TimemapTimeline, WithoutAFirstWaypointTheTimelineIsKept) {
  KeyedEffect fx(10);
  fx.DefaultKeys();
  fx.Render(0);
  const std::vector<double> before = fx.effect().timelinePositions;
  ASSERT_FALSE(before.empty());
  // Every key leaves the play sequence: nothing to build from.
  fx.Keys({{0, 100, 1, 0, 0}, {fx.Units() - 1, 100, 1, 0, 0}});
  fx.host().SetKey("speed", 0.0, 300.0);
  fx.Render(0);
  EXPECT_EQ(fx.effect().FindKeyByOrder(1), -1);
  EXPECT_EQ(fx.effect().timelinePositions, before);
}

// Renders reuse the last timeline while nothing it is built from changed;
// after each change of a waypoint value or of the "After End" mode the
// timeline must still be the one a fresh instance builds.
TEST(TimemapTimeline, EveryChangeRebuildsTheTimeline) {
  using Change = std::function<void(KeyedEffect&)>;
  auto keyed = [](KeyedEffect& e) { e.Keys({{0, 100, 1, 0, 1}, {30, 50, 2, 3, 2}}); };
  KeyedEffect fx(40);
  keyed(fx);
  fx.Render(0);
  fx.Render(1);
  const double second = fx.host().UnitTime(30);
  const std::pair<const char*, Change> changes[] = {
      {"speed", [&](KeyedEffect& e) { e.host().SetKey("speed", second, 20.0); }},
      {"strobe", [&](KeyedEffect& e) { e.host().SetKey("strobe", second, 4.0); }},
      {"hold", [&](KeyedEffect& e) { e.host().SetKey("hold", 0.0, 5.0); }},
      {"a new waypoint",
       [&](KeyedEffect& e) {
         e.Key({20, 300, 1, 0, 2});
       }},
      {"order", [&](KeyedEffect& e) { e.host().SetKey("order", second, 0.0); }},
      {"after end", [&](KeyedEffect& e) { e.SetList("afterEnd", kAfterEndLoop); }},
  };
  std::vector<Change> applied;
  for (const auto& [what, change] : changes) {
    change(fx);
    applied.push_back(change);
    fx.Render(2);
    KeyedEffect fresh(40);
    keyed(fresh);
    for (const Change& earlier : applied) earlier(fresh);
    fresh.Render(2);
    EXPECT_EQ(fx.effect().timelinePositions, fresh.effect().timelinePositions) << what;
    EXPECT_EQ(fx.effect().timelineSpeeds, fresh.effect().timelineSpeeds) << what;
    EXPECT_EQ(fx.effect().timelineStrobes, fresh.effect().timelineStrobes) << what;
    EXPECT_EQ(fx.effect().timelineCountdowns, fresh.effect().timelineCountdowns) << what;
    EXPECT_EQ(fx.effect().timelineKeyMarks, fresh.effect().timelineKeyMarks) << what;
  }
}

// Waypoints at units 0 (100 %) and 100 (0 %): the ramp reaches the second
// exactly, whatever follows. After it "Hold Speed" and "Freeze" stand still,
// the strobe sampling the unchanged position; "Hold Curve" keeps slowing into
// reverse.
TEST(TimemapTimeline, RampToAStandstillAndWhatFollows) {
  for (int32_t afterEnd : {kAfterEndHoldSpeed, kAfterEndFreeze, kAfterEndHoldCurve}) {
    SCOPED_TRACE(afterEnd);
    KeyedEffect fx(220);
    fx.Keys({{0, 100, 1, 0, 1}, {100, 0, 1, 0, 2}});
    fx.SetList("afterEnd", afterEnd);
    fx.Render(0);
    const Corvalis& effect = fx.effect();
    for (int u = 1; u <= 199; ++u) {
      EXPECT_NEAR(effect.timelineSpeeds[u], 1.0 - u / 201.0, 1e-12) << u;
      EXPECT_EQ(effect.timelineKeyMarks[u], -1) << u;
    }
    EXPECT_NEAR(effect.timelinePositions[199], 199.0 - 19900.0 / 201.0, 1e-9);
    EXPECT_LT(effect.timelinePositions[199], 100.0);
    EXPECT_EQ(effect.timelinePositions[200], 100.0);
    EXPECT_EQ(effect.timelineSpeeds[200], 0.0);
    EXPECT_EQ(effect.timelineKeyMarks[200], 1);
    if (afterEnd != kAfterEndHoldCurve) {
      for (int u = 201; u < fx.Units(); ++u) {
        EXPECT_EQ(effect.timelinePositions[u], 100.0) << u;
        EXPECT_EQ(effect.timelineSpeeds[u], 0.0) << u;
        EXPECT_EQ(effect.timelineCountdowns[u], 1) << u;
      }
      continue;
    }
    EXPECT_NEAR(effect.timelineSpeeds[201], -1.0 / 201, 1e-12);
    EXPECT_NEAR(effect.timelineSpeeds[202], -2.0 / 201, 1e-12);
    EXPECT_NEAR(effect.timelinePositions[201], 100.0 - 1.0 / 201, 1e-12);
    EXPECT_NEAR(effect.timelinePositions[202], 100.0 - 3.0 / 201, 1e-12);
    // n units after the stop the position is 100 − n(n + 1)/2/201: back at 0
    // after 200 units, then below the source.
    EXPECT_NEAR(effect.timelinePositions[400], 0.0, 1e-9);
    EXPECT_LT(effect.timelinePositions[401], 0.0);
  }
}

// Where a segment reaches its second waypoint in play order, and what plays
// before: a ramp between opposite speeds, a hold longer than the segment, and
// play orders against source time (backwards at -100 % the 40 units take 40
// output units; forwards the ramp cannot get there, so the hold, at least one
// unit, plays and jumps).
TEST(TimemapTimeline, SegmentsReachTheirSecondWaypoint) {
  struct Case {
    timemaptest::Waypoint first, second;  // in play order
    double step;                          // source units a unit before the jump, NAN: a ramp
    int jumpUnit;
  };
  // clang-format off
  const Case cases[] = {
      {{0, 50, 1, 0, 1}, {40, -50, 1, 0, 2}, NAN, 30},
      {{0, 100, 1, 10, 1}, {5, 100, 1, 0, 2}, 1, 10},
      {{50, -100, 1, 0, 1}, {10, -100, 1, 0, 2}, -1, 40},
      {{50, 100, 1, 0, 1}, {10, 100, 1, 0, 2}, 1, 1},
      {{50, 100, 1, 3, 1}, {10, 100, 1, 0, 2}, 1, 3},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jumpUnit);
    KeyedEffect fx(40);
    fx.Keys({c.first, c.second});
    fx.Render(0);
    const Corvalis& effect = fx.effect();
    for (int u = 0; u < c.jumpUnit; ++u) {
      EXPECT_EQ(effect.timelineKeyMarks[u], u == 0 ? 0 : -1) << u;
      if (std::isnan(c.step)) continue;
      EXPECT_EQ(effect.timelinePositions[u], c.first.unit + u * c.step) << u;
      EXPECT_EQ(effect.timelineSpeeds[u], c.step) << u;
    }
    EXPECT_EQ(effect.timelinePositions[c.jumpUnit], c.second.unit);
    EXPECT_EQ(effect.timelineKeyMarks[c.jumpUnit], 1);
  }
}

TEST(TimemapTimeline, StrobeLengthIsInterpolatedAcrossTheSegment) {
  KeyedEffect fx(60);
  fx.Keys({{0, 100, 2, 0, 1}, {100, 100, 10, 0, 2}});
  fx.Render(0);
  const Corvalis& effect = fx.effect();
  // At a sample taken at unit u of the 100-unit segment, 100 − u units are
  // left: the length is trunc((10u + 2(100 − u)) / 100).
  // Between samples the position holds and the countdown runs down to 1.
  int sample = 0;
  int length = 0;
  int samples = 0;
  for (int u = 0; u < 100; ++u) {
    if (u == sample) {
      length = (200 + 8 * u) / 100;
      EXPECT_EQ(effect.timelinePositions[u], u) << u;
      sample += length;
      ++samples;
    } else {
      EXPECT_EQ(effect.timelinePositions[u], effect.timelinePositions[u - 1]) << u;
    }
    EXPECT_EQ(effect.timelineStrobes[u], length) << u;
    EXPECT_EQ(effect.timelineCountdowns[u], length - (u - (sample - length))) << u;
  }
  EXPECT_GT(samples, 10);
  EXPECT_EQ(effect.timelineStrobes[100], 10);
}

// A curve over units 0 to 39: a ramp from 100 % to 200 % reaching unit 30 at
// unit 20, then a hold of 20 units at 200 %; the end step runs at unit 40.
void KeyFortyUnitCurve(KeyedEffect& fx, int32_t afterEnd) {
  fx.Keys({{0, 100, 1, 0, 1}, {30, 200, 1, 20, 2}});
  fx.SetList("afterEnd", afterEnd);
  fx.Render(0);
}

void ExpectCopy(const Corvalis& effect, int unit, int copied) {
  EXPECT_EQ(effect.timelinePositions[unit], effect.timelinePositions[copied]) << unit;
  EXPECT_EQ(effect.timelineSpeeds[unit], effect.timelineSpeeds[copied]) << unit;
  EXPECT_EQ(effect.timelineStrobes[unit], effect.timelineStrobes[copied]) << unit;
  EXPECT_EQ(effect.timelineCountdowns[unit], effect.timelineCountdowns[copied]) << unit;
  EXPECT_EQ(effect.timelineKeyMarks[unit], -1) << unit;
}

TEST(TimemapTimeline, LoopRestartsAtTheFirstWaypointAndRepeats) {
  KeyedEffect fx(60);
  KeyFortyUnitCurve(fx, kAfterEndLoop);
  const Corvalis& effect = fx.effect();
  ASSERT_EQ(effect.timelinePositions[39], 68.0);
  EXPECT_EQ(effect.timelinePositions[40], 0.0);
  EXPECT_EQ(effect.timelineSpeeds[40], 1.0);
  EXPECT_EQ(effect.timelineKeyMarks[40], -1);
  for (int v = 41; v < fx.Units(); ++v) ExpectCopy(effect, v, v % 40);
}

TEST(TimemapTimeline, PingPongTurnsWithoutRepeatingTheTurningUnits) {
  KeyedEffect fx(60);
  KeyFortyUnitCurve(fx, kAfterEndPingPong);
  const Corvalis& effect = fx.effect();
  // The copied unit walks down from 38 and up again, turning at 0 and at 39.
  int copied = 39;
  int step = -1;
  for (int v = 40; v < fx.Units(); ++v) {
    copied += step;
    if (copied == 0 || copied == 39) step = -step;
    ExpectCopy(effect, v, copied);
  }
}

TEST(TimemapTimeline, PingPongOfASingleUnitRepeatsIt) {
  KeyedEffect fx(10);
  fx.ConstantSpeed(100);
  fx.SetList("afterEnd", kAfterEndPingPong);
  fx.Render(0);
  const Corvalis& effect = fx.effect();
  for (int v = 1; v < fx.Units(); ++v) ExpectCopy(effect, v, 0);
}

TEST(TimemapTimeline, BlackAfterTheEndGoesToTheLimitRuleFreezeStaysPut) {
  KeyedEffect fx(50);
  fx.Keys({{0, 100, 1, 10, 1}, {fx.Units() - 1, 100, 1, 10, 0}});
  fx.SetList("afterEnd", kAfterEndBlack);
  fx.Render(0);
  for (int u = 0; u < 10; ++u) EXPECT_EQ(fx.effect().timelinePositions[u], u);
  for (int u = 10; u < fx.Units(); ++u) EXPECT_EQ(fx.effect().timelinePositions[u], -1.0) << u;

  struct Case {
    int32_t overLimits;
    double shown;  // negative: black
  };
  const int32_t units = fx.Units();
  for (const Case& c : {Case{kOverLimitsBlack, -1.0}, Case{kOverLimitsFreeze, 0.0},
                        Case{kOverLimitsLoop, units - 2.0}, Case{kOverLimitsPingPong, 1.0}}) {
    fx.SetList("overLimits", c.overLimits);
    fx.Render(20);
    const Corvalis& effect = fx.effect();
    if (c.shown < 0) {
      EXPECT_TRUE(effect.sourceImages.empty());
      EXPECT_EQ(effect.sourceField, -1);
    } else {
      EXPECT_EQ(effect.sourcePosition, c.shown) << c.overLimits;
      EXPECT_EQ(effect.sourceImages.size(), 1u) << c.overLimits;
    }
  }
  // "Freeze" instead stays on the last position the curve reached.
  fx.SetList("afterEnd", kAfterEndFreeze);
  fx.Render(0);
  for (int u = 9; u < fx.Units(); ++u) EXPECT_EQ(fx.effect().timelinePositions[u], 9.0) << u;
}

}  // namespace
