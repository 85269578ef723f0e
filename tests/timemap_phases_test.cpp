// The 3:2 phases kept in the host's instance data, as every render reloads
// them, including data the effect never wrote.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/timemap_fixture.h"

namespace {

using timemaptest::KeyedEffect;

std::vector<uint8_t> Bytes(const std::string& text, bool terminated = true) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  if (terminated) bytes.push_back(0);
  return bytes;
}

TEST(TimemapPhases, SavedCodesSurviveTheNextRender) {
  KeyedEffect fx(10);
  fx.DefaultKeys();
  Corvalis& effect = fx.effect();
  effect.inputPhase = 5;  // as the phase dialog leaves them
  effect.outputPhase = 4;
  effect.SavePhases();
  EXPECT_EQ(fx.host().InstanceDataBlock(), Bytes("5,4"));
  effect.inputPhase = 0;
  effect.outputPhase = 0;
  fx.Render(0);
  EXPECT_EQ(effect.inputPhase, 5);
  EXPECT_EQ(effect.outputPhase, 4);
}

TEST(TimemapPhases, MalformedDataKeepsWhatCannotBeRead) {
  struct Case {
    std::vector<uint8_t> data;
    int32_t input;
    int32_t output;
  };
  const Case cases[] = {
      {Bytes("x,4"), 2, 3},        {Bytes("4"), 4, 3},
      {Bytes(""), 2, 3},           {{}, 2, 3},
      {Bytes("1,5", false), 1, 5}, {Bytes("99,-7"), 99, -7},
      {Bytes(",,,"), 2, 3},        {Bytes(std::string(300, ',')), 2, 3},
  };
  for (const Case& c : cases) {
    KeyedEffect fx(20);
    fx.ConstantSpeed(40);
    fx.SetList("inputMode", kInput32);
    fx.SetList("outputMode", kOutput32);
    fx.host().SetInstanceDataBlock(Bytes("2,3"));
    fx.Render(3);
    fx.host().SetInstanceDataBlock(c.data);
    fx.Render(5, 2);
    EXPECT_EQ(fx.effect().outputPhase, c.output) << c.data.size();
    EXPECT_EQ(fx.effect().inputPhase, c.input) << c.data.size();
    // Whatever the codes, the lookup stays on the cadence tables.
    EXPECT_EQ(fx.effect().sourceImages.size(), 1u) << c.data.size();
  }
}

}  // namespace
