// The key table follows the host's keys and keeps the play order a clean
// sequence; order changes made on the table go back into the order keys.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "tests/timemap_fixture.h"

namespace {

using timemaptest::KeyedEffect;

std::vector<int32_t> Orders(const Corvalis& effect) {
  std::vector<int32_t> orders;
  for (const SpeedKey& record : effect.keyTable) orders.push_back(record.order);
  return orders;
}

TEST(TimemapKeyTable, OrderNumbersAreNormalised) {
  struct Case {
    std::vector<double> keyed;
    std::vector<int32_t> normalised;
  };
  const Case cases[] = {
      {{3}, {1}},       {{1, 3, 4}, {1, 2, 3}},         {{2, 2, 5}, {1, 0, 2}},
      {{3, 3}, {1, 0}}, {{0, 7, -2, 7}, {0, 1, -2, 0}}, {{40, 10, 20}, {3, 1, 2}},
  };
  for (const Case& c : cases) {
    KeyedEffect fx(20);
    for (size_t i = 0; i < c.keyed.size(); ++i) {
      fx.Key({static_cast<int32_t>(5 * i), 100, 1, 0, c.keyed[i]});
    }
    fx.Render(0);
    EXPECT_EQ(Orders(fx.effect()), c.normalised) << c.keyed.size() << " " << c.keyed[0];
  }
}

TEST(TimemapKeyTable, RecordsCarryTheKeyedValuesAndFollowNewKeys) {
  KeyedEffect fx(20);
  fx.Keys({{0, 80, 3, 5, 2}, {20, -40, 7, 0, 1}});
  fx.Render(0);
  Corvalis& effect = fx.effect();
  ASSERT_EQ(effect.keyTable.size(), 2u);
  const SpeedKey& first = effect.keyTable[0];
  EXPECT_EQ(std::tuple(first.time, first.speed, first.strobe, first.hold),
            std::tuple(0.0, 80.0, 3.0, 5.0));
  EXPECT_EQ(effect.keyTable[1].time, fx.host().UnitTime(20));
  EXPECT_EQ(effect.keyTable[1].speed, -40.0);
  EXPECT_EQ(effect.MaxOrder(), 2);
  EXPECT_EQ(effect.FindKeyByOrder(1), 1);
  EXPECT_EQ(effect.FindKeyByOrder(2), 0);
  EXPECT_EQ(effect.FindKeyByOrder(3), -1);
  // A key added later is in the table the next time it is asked for.
  fx.Key({10, 50, 1, 0, 3});
  EXPECT_EQ(effect.GetKeyTable().size(), 3u);
  EXPECT_EQ(Orders(effect), (std::vector<int32_t>{2, 3, 1}));
}

TEST(TimemapKeyTable, MismatchedKeyCountsKeepTheProvisionalOrders) {
  KeyedEffect fx(20);
  fx.Keys({{0, 100, 1, 0, 5}, {fx.Units() - 1, 100, 1, 0, 5}});
  fx.host().SetKey("order", 0.5, 5.0);  // a third order key without a speed key
  fx.Render(0);
  EXPECT_EQ(Orders(fx.effect()), (std::vector<int32_t>{1, 2, 0}));
  EXPECT_EQ(fx.effect().keyTable[1].speed, 0.0);
}

TEST(TimemapKeyTable, OrderChangesOnTheTableReachTheOrderKeys) {
  KeyedEffect fx(20);
  fx.Keys({{0, 100, 1, 0, 3}, {fx.Units() - 1, 100, 1, 0, 3}});
  fx.Render(0);
  Corvalis& effect = fx.effect();
  ASSERT_EQ(Orders(effect), (std::vector<int32_t>{1, 0}));
  // As the overlay's raise does.
  effect.keyTable[1].order = 2;
  EXPECT_TRUE(fx.host().NotifyChanged({}));
  auto* order = static_cast<avxPNumber*>(fx.host().Parameter("order"));
  EXPECT_EQ(order->GetValue(0.0), 1.0);
  EXPECT_EQ(order->GetValue(1.0), 2.0);
  EXPECT_FALSE(fx.host().NotifyChanged({}));
  EXPECT_EQ(order->GetValue(1.0), 2.0);
}

TEST(TimemapKeyTable, TimelineIsBuiltOnDemand) {
  KeyedEffect fx(10);
  fx.Keys({{0, 100, 1, 0, 1}, {fx.Units() - 1, 100, 1, 0, 0}});
  Corvalis& effect = fx.effect();
  effect.RebuildKeyTable();
  ASSERT_TRUE(effect.timelinePositions.empty());
  TimelineView view = effect.GetTimeline();
  EXPECT_EQ(view.positions.size(), static_cast<size_t>(fx.Units()));
  EXPECT_EQ(view.keyMarks[0], 0);
}

}  // namespace
