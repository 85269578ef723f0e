// "Over Limits": what a source position outside the clip shows.
#include <gtest/gtest.h>

#include <cmath>

#include "host/corvalis.h"
#include "timemap/end_limits.h"

namespace {

TEST(TimemapLimits, PositionsOutsideAHundredUnits) {
  struct Case {
    int32_t rule;
    double position;
    double shown;  // NAN: black
  };
  const Case cases[] = {
      {kOverLimitsBlack, 99.0, 99.0},
      {kOverLimitsBlack, 0.0, 0.0},
      {kOverLimitsBlack, 99.001, NAN},
      {kOverLimitsBlack, -0.5, NAN},
      {kOverLimitsFreeze, 100.2, 99.0},
      {kOverLimitsFreeze, -3.5, 0.0},
      {kOverLimitsLoop, 100.2, 0.2},
      {kOverLimitsLoop, -3.5, 95.5},
      {kOverLimitsLoop, 99.5, 99.5},
      {kOverLimitsLoop, -1.0, 98.0},
      {kOverLimitsLoop, 350.0, 50.0},
      {kOverLimitsLoop, -200.0, 97.0},
      {kOverLimitsPingPong, 100.2, 97.8},
      {kOverLimitsPingPong, -3.5, 3.5},
      {kOverLimitsPingPong, -1.0, 1.0},
      {kOverLimitsPingPong, 300.0, 96.0},
      {kOverLimitsPingPong, -250.0, 52.0},
      {7, 120.0, 120.0},
      {7, -2.0, NAN},
  };
  for (const Case& c : cases) {
    const std::optional<double> shown = ApplyOverLimits(c.rule, c.position, 100);
    if (std::isnan(c.shown)) {
      EXPECT_FALSE(shown.has_value()) << c.rule << " " << c.position;
    } else {
      ASSERT_TRUE(shown.has_value()) << c.rule << " " << c.position;
      EXPECT_NEAR(*shown, c.shown, 1e-9) << c.rule << " " << c.position;
    }
  }
}

TEST(TimemapLimits, TinySourcesNeverLoopForever) {
  for (int32_t rule : {kOverLimitsLoop, kOverLimitsPingPong}) {
    EXPECT_EQ(ApplyOverLimits(rule, -5.0, 1), std::optional<double>(0.0)) << rule;
    EXPECT_EQ(ApplyOverLimits(rule, 3.0, 1), std::optional<double>(0.0)) << rule;
    EXPECT_FALSE(ApplyOverLimits(rule, -5.0, 0).has_value()) << rule;
  }
  EXPECT_FALSE(ApplyOverLimits(kOverLimitsFreeze, NAN, 100).has_value());
}

TEST(TimemapLimits, CycleIndexOfLoopAndPingPong) {
  EXPECT_EQ(CycleIndex(kAfterEndLoop, 41, 40), 1);
  EXPECT_EQ(CycleIndex(kAfterEndLoop, 80, 40), 0);
  // Reflection at 0 and Lc − 1, done the long way.
  for (int32_t length : {2, 3, 7, 40}) {
    for (int32_t unit = length; unit < 10 * length; ++unit) {
      int32_t j = unit;
      while (j < 0 || j > length - 1) j = j > length - 1 ? 2 * length - 2 - j : -j;
      EXPECT_EQ(CycleIndex(kAfterEndPingPong, unit, length), j) << length << " " << unit;
    }
  }
}

}  // namespace
