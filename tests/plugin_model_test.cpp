// The plug-in as a host sees it: its exports, its model's description, its
// parameter set and a new instance's defaults.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "host/corvalis.h"
#include "refhost/effect_host.h"
#include "tests/test_clips.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)
// The names in the loaded module's export directory; exports by ordinal alone
// count as unnamed entries.
void ReadExports(const std::string& path, std::set<std::string>& names, size_t& entries) {
  HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr);
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  ASSERT_NE(directory.VirtualAddress, 0u);
  const auto* exports =
      reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
  const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    names.insert(reinterpret_cast<const char*>(base + nameOffsets[i]));
  entries = exports->NumberOfFunctions;
  FreeLibrary(module);
}
#else
void ReadExports(const std::string& path, std::set<std::string>& names, size_t& entries) {
  std::string command = "nm -D --defined-only " + path;
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    char address[64], kind[8], name[400];
    if (std::sscanf(line, "%63s %7s %399s", address, kind, name) == 3) names.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  entries = names.size();
}
#endif

TEST(PluginModel, ExportsExactlyTheTwoFactories) {
  std::set<std::string> names;
  size_t entries = 0;
  ReadExports(CORVALIS_DEFAULT_PLUGIN, names, entries);
  EXPECT_EQ(names, (std::set<std::string>{"avxNewModel_v1", "avxNewOverlay_v1"}));
  EXPECT_EQ(entries, 2u);
}

TEST(PluginModel, DescribesTheEffect) {
  refhost::Plugin plugin;
  avxModel_v1& model = plugin.Model();
  EXPECT_EQ(model.Type(), 0);
  EXPECT_EQ(model.Name(), "Corvalis");
  EXPECT_EQ(model.Vendor(), "Halvern");
  EXPECT_EQ(model.Category(), "Halvern");
  EXPECT_FLOAT_EQ(model.PluginVersion(), 1.0f);
  EXPECT_NE(model.UpdateParamsCallback(), nullptr);
  EXPECT_TRUE(model.HostQuery(7));

  // One format: 8-bit, unnamed, in the layout the host delivers.
  ASSERT_EQ(model.Formats().size(), 1u);
  const avxModel_v1::Format& format = model.Formats()[0];
  EXPECT_EQ(std::tuple(format.colorspace, format.bits, format.hasName, format.format),
            std::tuple(0, 8, false, 6));
  // Ports as "index label id flag", "-" where none is declared.
  auto ports = [](const std::vector<avxModel_v1::Port>& list) {
    std::vector<std::string> out;
    for (const avxModel_v1::Port& p : list)
      out.push_back(std::to_string(p.index) + " " + p.label + " " + p.id + " " +
                    (p.hasFlag ? std::to_string(p.flag) : "-"));
    return out;
  };
  EXPECT_EQ(ports(model.Inputs()),
            (std::vector<std::string>{"0 Bottom bottom 0", "1 Input input -"}));
  EXPECT_EQ(ports(model.Outputs()), (std::vector<std::string>{"0 Output output -"}));

  model.DeleteInstance(nullptr);  // ignored
  avxInstance_v1* instance = model.CreateInstance();
  ASSERT_NE(dynamic_cast<Corvalis*>(instance), nullptr);
  model.DeleteInstance(instance);
}

struct ParameterRow {
  const char* kind;  // G group, N number, W number with widget 2, L list, B boolean, S string
  const char* label;
  const char* id;
  const char* group;  // label of the group it belongs to, "" for top level
  double lower, upper, step;
  int type;
  int flag;             // group flag, or number's last flag
  double defaultValue;  // of numbers, lists and booleans, as a new instance holds it
};

// clang-format off
const ParameterRow kParameterTable[] = {
    {"G", "Keyframe", "group", "", 0, 0, 0, 0, 1, 0},
    {"W", "Speed (%)", "speed", "Keyframe", -10000, 10000, 10, 1, 1, 100},
    {"W", "Strobe (fields)", "strobe", "Keyframe", 1, 3600, 10, 1, 1, 1},
    {"W", "Hold (fields)", "hold", "Keyframe", 0, 3600, 10, 1, 1, 0},
    {"G", "Input", "group", "", 0, 0, 0, 0, 1, 0},
    {"L", "Input", "inputMode", "Input", 0, 0, 0, 1, 0, kInputInterlaced},
    {"G", "Output", "group", "", 0, 0, 0, 0, 1, 0},
    {"L", "Output", "outputMode", "Output", 0, 0, 0, 1, 0, kOutputInterlaced},
    {"G", "End", "endGroup", "", 0, 0, 0, 0, 1, 0},
    {"L", "After End", "afterEnd", "End", 0, 0, 0, 1, 0, kAfterEndHoldSpeed},
    {"G", "Limit", "group", "", 0, 0, 0, 0, 1, 0},
    {"L", "Over Limits", "overLimits", "Limit", 0, 0, 0, 1, 0, kOverLimitsBlack},
    {"G", "De-int", "group", "", 0, 0, 0, 0, 1, 0},
    {"L", "Deinterlace", "deinterlace", "De-int", 0, 0, 0, 1, 0, kDeinterlaceAdaptive},
    {"G", "Interpolation", "group", "", 0, 0, 0, 0, 0, 0},
    {"B", "Enhancement", "enhance", "Interpolation", 0, 0, 0, 0, 0, 0},
    {"B", "Interpolate All", "interpAll", "Interpolation", 0, 0, 0, 0, 0, 0},
    {"G", "Adaptive", "adaptive", "", 0, 0, 0, 0, 1, 0},
    {"B", "Show Motion", "showMotion", "Adaptive", 0, 0, 0, 0, 0, 0},
    {"N", "Diff", "threshold", "Adaptive", 0, 63, 1, 1, 0, 32},
    {"N", "Smooth", "smooth", "Adaptive", 0, 32, 1, 1, 0, 4},
    {"G", "Options", "options", "", 0, 0, 0, 0, 1, 0},
    {"B", "Blending", "blending", "Options", 0, 0, 0, 0, 0, 0},
    {"B", "Swap Input Fields", "reverseFields", "Options", 0, 0, 0, 0, 0, 0},
    {"G", "Display", "display", "", 0, 0, 0, 0, 1, 0},
    {"B", "Show Source", "showSource", "Display", 0, 0, 0, 0, 0, 1},
    {"B", "Show Graph", "showGraph", "Display", 0, 0, 0, 0, 0, 1},
    {"B", "Show Time Code", "showTimeCode", "Display", 0, 0, 0, 0, 0, 1},
    {"S", "Source TC Start", "timeCode", "Display", 0, 0, 0, 0, 0, 0},
    {"N", "Order", "order", "", 0, 50, 1, 1, 1, 1},
};
// clang-format on

// The parameters in order, each with its range, kind and default: the host
// keys every one at both ends of a new effect with the default.
TEST(PluginModel, CreatesTheFullParameterSetInOrder) {
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, testclips::Settings(8, 6, 10));
  avxInstance_v1& instance = host.Instance();
  const int count = static_cast<int>(sizeof kParameterTable / sizeof kParameterTable[0]);
  ASSERT_EQ(instance.ParameterCount(), count);
  for (int i = 0; i < count; ++i) {
    const ParameterRow& row = kParameterTable[i];
    SCOPED_TRACE(row.label);
    avxParameter* parameter = instance.ParameterAt(i);
    EXPECT_EQ(parameter->Label(), row.label);
    EXPECT_EQ(parameter->Id(), row.id);
    avxParameter* group = instance.GroupOf(i);
    EXPECT_EQ(group ? group->Label() : std::string(), row.group);
    EXPECT_TRUE(group == nullptr || group->Kind() == avxParamKind::kGroup);
    EXPECT_EQ(parameter->IsHidden(), std::string(row.id) == "order");
    const std::string kind = row.kind;
    if (kind != "G") {
      ASSERT_EQ(parameter->GetNumKeys(), 2);
      EXPECT_EQ(parameter->GetKey(0)->GetTime(), 0.0);
      EXPECT_EQ(parameter->GetKey(1)->GetTime(), 1.0);
    }
    if (kind == "G") {
      auto* g = dynamic_cast<avxPGroup*>(parameter);
      ASSERT_NE(g, nullptr);
      EXPECT_EQ(g->Flag(), row.flag);
    } else if (kind == "N" || kind == "W") {
      auto* n = dynamic_cast<avxPNumber*>(parameter);
      ASSERT_NE(n, nullptr);
      EXPECT_EQ(std::tuple(n->Lower(), n->Upper(), n->Step(), n->Type(), n->LastFlag()),
                std::tuple(row.lower, row.upper, row.step, row.type, row.flag));
      EXPECT_EQ(n->Widget() == 2, kind == "W");
      EXPECT_EQ(n->GetValue(0.5), row.defaultValue);
      EXPECT_EQ(parameter->GetKey(0)->GetValueSize(), 8u);
    } else if (kind == "L") {
      auto* l = dynamic_cast<avxPList*>(parameter);
      ASSERT_NE(l, nullptr);
      EXPECT_EQ(l->Type(), 1);
      EXPECT_EQ(l->GetValue(0.5), row.defaultValue);
      EXPECT_EQ(parameter->GetKey(1)->GetValueSize(), 4u);
    } else if (kind == "B") {
      auto* b = dynamic_cast<avxPBoolean*>(parameter);
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->GetValue(0.5), row.defaultValue);
      EXPECT_EQ(parameter->GetKey(1)->GetValueSize(), 1u);
    } else {
      auto* s = dynamic_cast<avxPString*>(parameter);
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->Type(), 0);
      char text[32];
      s->GetValue(0.5, text, sizeof text);
      EXPECT_STREQ(text, "00:00:00:00");
    }
  }
  // Lookups by id find the parameters, never the groups sharing "group".
  EXPECT_EQ(instance.FindParameter("speed"), instance.ParameterAt(1));

  using Items = std::vector<std::string>;
  auto items = [&](const char* id) { return dynamic_cast<avxPList*>(host.Parameter(id))->Items(); };
  EXPECT_EQ(items("inputMode"),
            (Items{"Interlaced", "Progressive", "3:2", "Duplicate F1", "Duplicate F2"}));
  EXPECT_EQ(items("outputMode"), (Items{"Interlaced", "Progressive", "3:2"}));
  EXPECT_EQ(items("afterEnd"),
            (Items{"Black", "Freeze", "Hold Speed", "Hold Curve", "Loop", "Ping-pong"}));
  EXPECT_EQ(items("overLimits"), (Items{"Black", "Freeze", "Loop", "Ping-pong"}));
  EXPECT_EQ(items("deinterlace"), (Items{"None", "TapeSim", "Interpolated", "Adaptive"}));
}

TEST(PluginModel, NewInstanceHoldsTheDefaults) {
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, testclips::Settings(8, 6, 10));
  auto& effect = static_cast<Corvalis&>(host.Instance());
  // Adaptive interpolation cleans its motion mask unless told otherwise.
  EXPECT_TRUE(effect.medianMask);
  // The first key plays, the last is out of the play order.
  ASSERT_EQ(effect.keyTable.size(), 2u);
  const SpeedKey& first = effect.keyTable[0];
  const SpeedKey& last = effect.keyTable[1];
  EXPECT_EQ(std::tuple(first.time, first.speed, first.strobe, first.hold, first.order),
            std::tuple(0.0, 100.0, 1.0, 0.0, 1));
  EXPECT_EQ(std::tuple(last.time, last.speed, last.order), std::tuple(1.0, 0.0, 0));
}

}  // namespace
