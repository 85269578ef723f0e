// Keyed parameters as the host keeps them, and their maintenance through the
// host's update callback: constant settings get one value at every key, and
// the callback reports changes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "tests/timemap_fixture.h"

namespace {

using timemaptest::KeyedEffect;

// Replaces the keys of a parameter with keys at evenly spread times.
void KeyNumbers(KeyedEffect& fx, const std::string& id, const std::vector<double>& values) {
  fx.host().Parameter(id)->ClearKeys();
  for (size_t i = 0; i < values.size(); ++i) {
    fx.host().SetKey(id, values.size() > 1 ? static_cast<double>(i) / (values.size() - 1) : 0.0,
                     values[i]);
  }
}

std::vector<double> NumberKeys(KeyedEffect& fx, const std::string& id) {
  std::vector<double> values;
  auto* number = static_cast<avxPNumber*>(fx.host().Parameter(id));
  for (int32_t i = 0; i < number->GetNumKeys(); ++i)
    values.push_back(number->GetValue(number->GetKey(i)->GetTime()));
  return values;
}

// An effect whose plug-in copy has rendered, so that maintenance runs.
struct RenderedEffect : KeyedEffect {
  RenderedEffect() : KeyedEffect(10) { Build({{0}, {Units() - 1}}); }
};

TEST(ParamMaintenance, NothingRunsBeforeTheFirstRender) {
  // A private copy of the plug-in: its process-wide state is still fresh.
  namespace fs = std::filesystem;
  const fs::path copy =
      fs::temp_directory_path() /
      ("corvalis_maintenance_fresh" + fs::path(CORVALIS_DEFAULT_PLUGIN).extension().string());
  fs::copy_file(CORVALIS_DEFAULT_PLUGIN, copy, fs::copy_options::overwrite_existing);
  {
    KeyedEffect fx(10, 1, copy.string());
    KeyNumbers(fx, "smooth", {4, 7});
    EXPECT_TRUE(fx.host().NotifyChanged({"smooth"}));
    EXPECT_EQ(NumberKeys(fx, "smooth"), (std::vector<double>{4, 7}));
  }
  // The host keeps plug-ins loaded, and Windows does not remove a loaded
  // module's file: there the copy stays until the next run overwrites it.
  std::error_code notRemoved;
  fs::remove(copy, notRemoved);
}

// The user's selected key wins; otherwise a key that stands alone against
// all the others does, and with an even split the first key.
TEST(ParamMaintenance, UnificationFavoursTheSelectedKeyThenTheLoneDissenter) {
  using Case = std::tuple<std::vector<double>, double, int>;  // keyed, unified, selected key
  // clang-format off
  const Case cases[] = {
      {{4, 4, 7}, 7, -1}, {{7, 4, 4}, 7, -1}, {{4, 7}, 4, -1}, {{4, 7, 4}, 7, -1},
      {{4, 4, 4}, 4, -1}, {{1, 2, 3}, 1, -1}, {{9}, 9, -1}, {{10, 20, 10}, 20, 1},
  };
  // clang-format on
  for (const auto& [keyed, unified, selected] : cases) {
    RenderedEffect fx;
    KeyNumbers(fx, "smooth", keyed);
    if (selected >= 0) fx.host().Parameter("smooth")->GetKey(selected)->SetActive(true);
    EXPECT_TRUE(fx.host().NotifyChanged({"smooth"}));
    EXPECT_EQ(NumberKeys(fx, "smooth"), std::vector<double>(keyed.size(), unified))
        << keyed.size() << " " << keyed[0];
  }
  // Lists and booleans too.
  RenderedEffect fx;
  fx.host().SetKeyList("afterEnd", 0.5, kAfterEndLoop);
  fx.host().SetKeyBool("blending", 0.5, false);
  fx.host().SetKeyBool("blending", 1.0, true);
  EXPECT_TRUE(fx.host().NotifyChanged({"afterEnd", "blending"}));
  auto* afterEnd = static_cast<avxPList*>(fx.host().Parameter("afterEnd"));
  auto* blending = static_cast<avxPBoolean*>(fx.host().Parameter("blending"));
  for (double time : {0.0, 0.5, 1.0})
    EXPECT_EQ(std::tuple(afterEnd->GetValue(time), +blending->GetValue(time)),
              std::tuple(kAfterEndLoop, 1))
        << time;
  // The storage the host fills follows the unified keys.
  EXPECT_EQ(std::tuple(fx.effect().afterEnd, fx.effect().blending),
            std::tuple(kAfterEndLoop, true));
}

TEST(ParamMaintenance, UntouchedKeylessAndTimeCodeSettingsAreNotUnified) {
  RenderedEffect fx;
  KeyNumbers(fx, "smooth", {4, 7});
  EXPECT_TRUE(fx.host().NotifyChanged({"threshold"}));
  EXPECT_EQ(NumberKeys(fx, "smooth"), (std::vector<double>{4, 7}));
  // A touched setting without keys is reported; nothing is written.
  fx.host().Parameter("interpAll")->ClearKeys();
  EXPECT_TRUE(fx.host().NotifyChanged({"interpAll"}));
  EXPECT_EQ(fx.host().Parameter("interpAll")->GetNumKeys(), 0);
  // The source time code may differ by key: a change is reported, not unified.
  auto* timeCode = static_cast<avxPString*>(fx.host().Parameter("timeCode"));
  timeCode->SetText(1.0, "01:00:00:00");
  EXPECT_TRUE(fx.host().NotifyChanged({"timeCode"}));
  char first[32], last[32];
  timeCode->GetValue(0.0, first, sizeof first);
  timeCode->GetValue(1.0, last, sizeof last);
  EXPECT_EQ(std::string(first) + " " + last, "00:00:00:00 01:00:00:00");
  EXPECT_FALSE(fx.host().NotifyChanged({}));
}

TEST(ParamMaintenance, CurveChangesRefreshTheKeyTable) {
  RenderedEffect fx;
  ASSERT_EQ(fx.effect().keyTable.size(), 2u);
  fx.host().SetKey("speed", 0.0, 250.0);
  fx.host().SetKey("hold", 1.0, 12.0);
  // The curve parameters are not unified: they vary over time.
  EXPECT_TRUE(fx.host().NotifyChanged({"speed"}));
  EXPECT_EQ(std::tuple(fx.effect().keyTable[0].speed, fx.effect().keyTable[1].hold),
            std::tuple(250.0, 12.0));
  EXPECT_EQ(NumberKeys(fx, "speed"), (std::vector<double>{250, 100}));
}

std::vector<uint8_t> Double(double v) {
  std::vector<uint8_t> b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}

TEST(AvxParameters, NumbersInterpolateListsHoldStringsAreCut) {
  int32_t numberStorage = 5;
  std::unique_ptr<avxPNumber> number(avxPNumber::New("N", "n", &numberStorage, 4, 0, 100, 1, 1, 0));
  EXPECT_EQ(number->GetValue(0.3), 5.0);  // no keys: the value given at creation
  number->SetKeyBytes(0.0, Double(10.0));
  number->SetKeyBytes(1.0, Double(20.0));
  number->SetKeyBytes(0.5, Double(40.0));
  ASSERT_EQ(number->GetNumKeys(), 3);
  // Linear between keys, the end keys' values beyond them.
  EXPECT_EQ(std::tuple(number->GetValue(0.25), number->GetValue(0.75), number->GetValue(-1.0),
                       number->GetValue(2.0)),
            std::tuple(25.0, 30.0, 10.0, 20.0));
  number->WriteStorage(0.3);
  EXPECT_EQ(numberStorage, 28);  // 10 + (40 - 10) × 0.6, truncated into the integer field

  int32_t listStorage = 2;
  const char* items[] = {"a", "b", "c", nullptr};
  std::unique_ptr<avxPList> list(avxPList::New("L", "l", &listStorage, 4, items, 1));
  list->SetValue(0.0, 0);  // no keys: sets the value itself
  EXPECT_EQ(list->GetValue(0.9), 0);
  list->SetKeyBytes(0.0, {1, 0, 0, 0});
  list->SetKeyBytes(0.5, {2, 0, 0, 0});
  EXPECT_EQ(std::tuple(list->GetValue(0.49), list->GetValue(0.5)), std::tuple(1, 2));

  char text[16] = "00:00:00:00";
  std::unique_ptr<avxPString> string(avxPString::New("S", "s", text, sizeof text, 0));
  char read[8];
  string->GetValue(0.0, read, sizeof read);
  EXPECT_STREQ(read, "00:00:0");  // cut to the buffer, terminated
}

}  // namespace
