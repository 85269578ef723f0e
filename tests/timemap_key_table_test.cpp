// The key table follows the host's keys and keeps the play order a clean
// sequence; the 3:2 phases in the host's instance data are reloaded by every
// render, including data the effect never wrote.
#include <gtest/gtest.h>

#include <string>
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
  using Case = std::pair<std::vector<double>, std::vector<int32_t>>;  // keyed, normalised
  const Case cases[] = {
      {{3}, {1}},       {{1, 3, 4}, {1, 2, 3}},         {{2, 2, 5}, {1, 0, 2}},
      {{3, 3}, {1, 0}}, {{0, 7, -2, 7}, {0, 1, -2, 0}}, {{40, 10, 20}, {3, 1, 2}},
  };
  for (const auto& [keyed, normalised] : cases) {
    KeyedEffect fx(20);
    for (size_t i = 0; i < keyed.size(); ++i) fx.Key({int32_t(5 * i), 100, 1, 0, keyed[i]});
    fx.Render(0);
    EXPECT_EQ(Orders(fx.effect()), normalised) << keyed.size() << " " << keyed[0];
  }
}

TEST(TimemapKeyTable, RecordsCarryTheKeyedValuesAndFollowNewKeys) {
  KeyedEffect fx(20);
  Corvalis& effect = fx.Build({{0, 80, 3, 5, 2}, {20, -40, 7, 0, 1}});
  ASSERT_EQ(effect.keyTable.size(), 2u);
  const SpeedKey& first = effect.keyTable[0];
  EXPECT_EQ(std::tuple(first.time, first.speed, first.strobe, first.hold),
            std::tuple(0.0, 80.0, 3.0, 5.0));
  EXPECT_EQ(std::tuple(effect.keyTable[1].time, effect.keyTable[1].speed),
            std::tuple(fx.host().UnitTime(20), -40.0));
  EXPECT_EQ(effect.MaxOrder(), 2);
  EXPECT_EQ(
      std::tuple(effect.FindKeyByOrder(1), effect.FindKeyByOrder(2), effect.FindKeyByOrder(3)),
      std::tuple(1, 0, -1));
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

std::vector<uint8_t> Bytes(const std::string& text, bool terminated = true) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  if (terminated) bytes.push_back(0);
  return bytes;
}

TEST(TimemapKeyTable, PhasesMalformedDataKeepsWhatCannotBeRead) {
  using Case = std::tuple<std::vector<uint8_t>, int32_t, int32_t>;  // data, input, output
  // clang-format off
  const Case cases[] = {
      {Bytes("x,4"), 2, 3}, {Bytes("4"), 4, 3}, {Bytes(""), 2, 3}, {{}, 2, 3},
      {Bytes("99,-7"), 99, -7}, {Bytes("1,5", false), 1, 5}, {Bytes(std::string(300, ',')), 2, 3},
  };
  // clang-format on
  for (const auto& [data, input, output] : cases) {
    KeyedEffect fx(20);
    fx.ConstantSpeed(40);
    fx.SetList("inputMode", kInput32);
    fx.SetList("outputMode", kOutput32);
    fx.host().SetInstanceDataBlock(Bytes("2,3"));
    fx.Render(3);
    fx.host().SetInstanceDataBlock(data);
    fx.Render(5, 2);
    EXPECT_EQ(std::tuple(fx.effect().inputPhase, fx.effect().outputPhase),
              std::tuple(input, output))
        << data.size();
    // Whatever the codes, the lookup stays on the cadence tables.
    EXPECT_EQ(fx.effect().sourceImages.size(), 1u) << data.size();
  }
}

}  // namespace
