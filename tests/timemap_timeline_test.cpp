// The per-unit timeline built from real keys: ramps, holds, strobe, every
// "After End" behaviour and the "Over Limits" rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/timemap_fixture.h"
#include "timemap/end_limits.h"

namespace {

using timemaptest::KeyedEffect;

auto Timeline(const Corvalis& e) {
  return std::tie(e.timelinePositions, e.timelineSpeeds, e.timelineStrobes, e.timelineCountdowns,
                  e.timelineKeyMarks);
}
// Position, speed, strobe length and countdown of one unit.
auto UnitAt(const Corvalis& e, int u) {
  return std::tuple(e.timelinePositions[u], e.timelineSpeeds[u], e.timelineStrobes[u],
                    e.timelineCountdowns[u]);
}

TEST(TimemapTimeline, WithoutAFirstWaypointTheTimelineIsKept) {
  KeyedEffect fx(10);
  const std::vector<double> before = fx.Build({{0}, {fx.Units() - 1}}).timelinePositions;
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
  const timemaptest::Waypoint third{20, 300, 1, 0, 2};
  const std::pair<const char*, Change> changes[] = {
      {"speed", [&](KeyedEffect& e) { e.host().SetKey("speed", second, 20.0); }},
      {"strobe", [&](KeyedEffect& e) { e.host().SetKey("strobe", second, 4.0); }},
      {"hold", [&](KeyedEffect& e) { e.host().SetKey("hold", 0.0, 5.0); }},
      {"a new waypoint", [&](KeyedEffect& e) { e.Key(third); }},
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
    EXPECT_EQ(Timeline(fx.effect()), Timeline(fresh.effect())) << what;
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
    const Corvalis& effect = fx.Build({{0, 100, 1, 0, 1}, {100, 0, 1, 0, 2}}, afterEnd);
    for (int u = 1; u <= 199; ++u) {
      EXPECT_NEAR(effect.timelineSpeeds[u], 1.0 - u / 201.0, 1e-12) << u;
      EXPECT_EQ(effect.timelineKeyMarks[u], -1) << u;
    }
    EXPECT_NEAR(effect.timelinePositions[199], 199.0 - 19900.0 / 201.0, 1e-9);  // short of 100
    // Room for every unit was made before appending.
    EXPECT_GE(std::min({effect.timelinePositions.capacity(), effect.timelineSpeeds.capacity(),
                        effect.timelineStrobes.capacity(), effect.timelineCountdowns.capacity()}),
              fx.Units() + 2u);
    EXPECT_EQ(std::get<0>(UnitAt(effect, 200)), 100.0);
    EXPECT_EQ(std::tuple(effect.timelineSpeeds[200], effect.timelineKeyMarks[200]),
              std::tuple(0.0, 1));
    if (afterEnd != kAfterEndHoldCurve) {
      for (int u = 201; u < fx.Units(); ++u) EXPECT_EQ(UnitAt(effect, u), UnitAt(effect, 200)) << u;
      continue;
    }
    EXPECT_NEAR(effect.timelineSpeeds[201], -1.0 / 201, 1e-12);
    EXPECT_NEAR(effect.timelinePositions[201], 100.0 - 1.0 / 201, 1e-12);
    // n units after the stop the position is 100 − n(n + 1)/2/201: back at 0
    // after 200 units, then below the source.
    EXPECT_NEAR(effect.timelinePositions[400], 0.0, 1e-9);
    EXPECT_LT(effect.timelinePositions[401], 0.0);
  }
}

// Where a segment reaches its second waypoint in play order: a ramp between
// opposite speeds, a hold longer than the segment, play orders against source
// time (backwards at -100 % the 40 units take 40 output units; forwards the
// ramp cannot get there, so the hold, at least one unit, plays and jumps).
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
    const Corvalis& effect = fx.Build({c.first, c.second});
    for (int u = 0; u < c.jumpUnit; ++u) {
      EXPECT_EQ(effect.timelineKeyMarks[u], u == 0 ? 0 : -1) << u;
      if (std::isnan(c.step)) continue;
      EXPECT_EQ(std::tuple(effect.timelinePositions[u], effect.timelineSpeeds[u]),
                std::tuple(c.first.unit + u * c.step, c.step))
          << u;
    }
    EXPECT_EQ(std::tuple(effect.timelinePositions[c.jumpUnit], effect.timelineKeyMarks[c.jumpUnit]),
              std::tuple(double(c.second.unit), 1));
  }
}

TEST(TimemapTimeline, StrobeLengthIsInterpolatedAcrossTheSegment) {
  KeyedEffect fx(60);
  const Corvalis& effect = fx.Build({{0, 100, 2, 0, 1}, {100, 100, 10, 0, 2}});
  // A sample at unit u of the 100-unit segment lasts trunc((10u + 2(100 − u)) / 100)
  // units; between samples the position holds and the countdown runs down to 1.
  int sample = 0, length = 0, samples = 0;
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

void ExpectCopy(const Corvalis& effect, int unit, int copied) {
  EXPECT_EQ(UnitAt(effect, unit), UnitAt(effect, copied)) << unit;
  EXPECT_EQ(effect.timelineKeyMarks[unit], -1) << unit;
}

// "Loop" restarts at the first waypoint; "Ping-pong" turns without repeating
// the turning units, and repeats a curve of a single unit. The curve covers
// units 0 to 39: a ramp from 100 % to 200 % reaching unit 30 at unit 20, then
// a hold of 20 units at 200 %; the end step runs at unit 40.
TEST(TimemapTimeline, LoopAndPingPongRepeatTheCurve) {
  KeyedEffect loop(60), pingPong(60), single(10);
  const Corvalis& looped = loop.Build({{0, 100, 1, 0, 1}, {30, 200, 1, 20, 2}}, kAfterEndLoop);
  ASSERT_EQ(looped.timelinePositions[39], 68.0);
  for (int v = 40; v < loop.Units(); ++v) ExpectCopy(looped, v, v % 40);

  const Corvalis& turned =
      pingPong.Build({{0, 100, 1, 0, 1}, {30, 200, 1, 20, 2}}, kAfterEndPingPong);
  // The copied unit walks down from 38 and up again, turning at 0 and at 39.
  for (int v = 40, copied = 39, step = -1; v < pingPong.Units(); ++v) {
    copied += step;
    if (copied == 0 || copied == 39) step = -step;
    ExpectCopy(turned, v, copied);
  }

  const Corvalis& repeated = single.Build({{0}, {single.Units() - 1}}, kAfterEndPingPong);
  for (int v = 1; v < single.Units(); ++v) ExpectCopy(repeated, v, 0);
}

TEST(TimemapTimeline, BlackAfterTheEndGoesToTheLimitRuleFreezeStaysPut) {
  KeyedEffect fx(50);
  fx.Build({{0, 100, 1, 10, 1}, {fx.Units() - 1, 100, 1, 10, 0}}, kAfterEndBlack);
  for (int u = 0; u < 10; ++u) EXPECT_EQ(fx.effect().timelinePositions[u], u);
  for (int u = 10; u < fx.Units(); ++u) EXPECT_EQ(fx.effect().timelinePositions[u], -1.0) << u;

  // The position -1 goes to the "Over Limits" rule (black under "Black", as
  // the render tests show): a loop shows the unit before the last.
  fx.SetList("overLimits", kOverLimitsLoop);
  fx.Render(20);
  EXPECT_EQ(fx.effect().sourcePosition, fx.Units() - 2.0);
  EXPECT_EQ(fx.effect().sourceImages.size(), 1u);
  // "Freeze" instead stays on the last position the curve reached.
  fx.SetList("afterEnd", kAfterEndFreeze);
  fx.Render(0);
  for (int u = 9; u < fx.Units(); ++u) EXPECT_EQ(fx.effect().timelinePositions[u], 9.0) << u;
}

// "Over Limits": what a source position outside a clip of 100 units shows.
TEST(TimemapTimeline, OverLimitsRulesForPositionsOutsideTheClip) {
  using Case = std::tuple<int32_t, double, double>;  // rule, position, shown (NAN: black)
  // clang-format off
  const Case cases[] = {
      {kOverLimitsBlack, 99.0, 99.0}, {kOverLimitsBlack, 0.0, 0.0},
      {kOverLimitsBlack, 99.001, NAN}, {kOverLimitsBlack, -0.5, NAN},
      {kOverLimitsFreeze, 100.2, 99.0}, {kOverLimitsFreeze, -3.5, 0.0},
      {kOverLimitsLoop, 100.2, 0.2}, {kOverLimitsLoop, -3.5, 95.5}, {kOverLimitsLoop, 99.5, 99.5},
      {kOverLimitsLoop, -200.0, 97.0}, {kOverLimitsPingPong, 100.2, 97.8},
      {kOverLimitsPingPong, -3.5, 3.5}, {kOverLimitsPingPong, -250.0, 52.0},
      {7, 120.0, 120.0}, {7, -2.0, NAN},
  };
  // clang-format on
  for (const auto& [rule, position, expected] : cases) {
    const std::optional<double> shown = ApplyOverLimits(rule, position, 100);
    ASSERT_EQ(shown.has_value(), !std::isnan(expected)) << rule << " " << position;
    if (!shown) continue;
    EXPECT_NEAR(*shown, expected, 1e-9) << rule << " " << position;
  }
  // Sources too small to loop or reflect in never loop forever.
  for (int32_t rule : {kOverLimitsLoop, kOverLimitsPingPong}) {
    EXPECT_EQ(ApplyOverLimits(rule, -5.0, 1), std::optional<double>(0.0)) << rule;
    EXPECT_EQ(ApplyOverLimits(rule, 3.0, 1), std::optional<double>(0.0)) << rule;
    EXPECT_FALSE(ApplyOverLimits(rule, -5.0, 0).has_value()) << rule;
  }
  EXPECT_FALSE(ApplyOverLimits(kOverLimitsFreeze, NAN, 100).has_value());
}

}  // namespace
