// The plug-in as a host sees it: its exports, its model's description, its
// parameter set with its defaults.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <sstream>
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

// The names the module exports.
#if defined(_WIN32)
std::set<std::string> ReadExports(const std::string& path) {
  std::set<std::string> names;
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) return {"<not loaded>"};
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress;
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + rva);
  const auto* nameOffsets = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const DWORD named = rva != 0 ? exports->NumberOfNames : 0;
  const DWORD entries = rva != 0 ? exports->NumberOfFunctions : 0;
  // Exports by ordinal alone count as unnamed entries.
  for (DWORD i = 0; i < entries; ++i)
    names.insert(i < named ? std::string(reinterpret_cast<const char*>(base + nameOffsets[i]))
                           : "#" + std::to_string(i));
  FreeLibrary(module);
  return names;
}
#else
std::set<std::string> ReadExports(const std::string& path) {
  std::set<std::string> names;
  FILE* pipe = popen(("nm -D --defined-only " + path).c_str(), "r");
  char line[512], address[64], kind[8], name[400];
  while (pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr) {
    if (std::sscanf(line, "%63s %7s %399s", address, kind, name) == 3) names.insert(name);
  }
  if (pipe == nullptr || pclose(pipe) != 0) names.insert("<nm failed>");
  return names;
}
#endif

TEST(PluginModel, ExportsExactlyTheTwoFactories) {
  EXPECT_EQ(ReadExports(CORVALIS_DEFAULT_PLUGIN),
            (std::set<std::string>{"avxNewModel_v1", "avxNewOverlay_v1"}));
}

TEST(PluginModel, DescribesTheEffect) {
  refhost::Plugin plugin;
  avxModel_v1& model = plugin.Model();
  EXPECT_EQ(std::tuple(model.Type(), model.Name(), model.Vendor(), model.Category(),
                       model.PluginVersion(), model.UpdateParamsCallback() != nullptr,
                       model.HostQuery(7)),
            std::tuple(0, "Corvalis", "Halvern", "Halvern", 1.0f, true, true));

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

// A parameter as one line: kind, id, label, group, hidden, range or flag,
// default as a new instance holds it, then the times and size of its keys.
std::string Describe(avxInstance_v1& instance, int index) {
  avxParameter* p = instance.ParameterAt(index);
  avxParameter* group = instance.GroupOf(index);
  std::ostringstream out;
  out << p->Id() << " '" << p->Label() << "'";
  if (group != nullptr) out << " in " << (dynamic_cast<avxPGroup*>(group) ? group->Label() : "?");
  if (p->IsHidden()) out << " hidden";
  if (auto* g = dynamic_cast<avxPGroup*>(p)) {
    out << " group " << +g->Flag();
  } else if (auto* n = dynamic_cast<avxPNumber*>(p)) {
    out << (n->Widget() == 2 ? " slider " : " number ") << n->Lower() << ".." << n->Upper() << "/"
        << n->Step() << " type " << n->Type() << " flag " << +n->LastFlag() << " = "
        << n->GetValue(0.5);
  } else if (auto* l = dynamic_cast<avxPList*>(p)) {
    out << " list type " << l->Type() << " = " << l->GetValue(0.5);
  } else if (auto* b = dynamic_cast<avxPBoolean*>(p)) {
    out << " bool = " << +b->GetValue(0.5);
  } else if (auto* s = dynamic_cast<avxPString*>(p)) {
    char text[32];
    s->GetValue(0.5, text, sizeof text);
    out << " string type " << s->Type() << " = " << text;
  }
  out << ", keys";
  for (int32_t k = 0; k < p->GetNumKeys(); ++k)
    out << " " << p->GetKey(k)->GetTime() << "/" << p->GetKey(k)->GetValueSize();
  return out.str();
}

// The parameters in order, each with its range, kind and default: the host
// keys every one at both ends of a new effect with the default.
TEST(PluginModel, CreatesTheFullParameterSetInOrder) {
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, testclips::Settings(8, 6, 10));
  avxInstance_v1& instance = host.Instance();
  // clang-format off
  const std::vector<std::string> expected = {
      "group 'Keyframe' group 1, keys",
      "speed 'Speed (%)' in Keyframe slider -10000..10000/10 type 1 flag 1 = 100, keys 0/8 1/8",
      "strobe 'Strobe (fields)' in Keyframe slider 1..3600/10 type 1 flag 1 = 1, keys 0/8 1/8",
      "hold 'Hold (fields)' in Keyframe slider 0..3600/10 type 1 flag 1 = 0, keys 0/8 1/8",
      "group 'Input' group 1, keys",
      "inputMode 'Input' in Input list type 1 = 0, keys 0/4 1/4",
      "group 'Output' group 1, keys",
      "outputMode 'Output' in Output list type 1 = 0, keys 0/4 1/4",
      "endGroup 'End' group 1, keys",
      "afterEnd 'After End' in End list type 1 = 2, keys 0/4 1/4",
      "group 'Limit' group 1, keys",
      "overLimits 'Over Limits' in Limit list type 1 = 0, keys 0/4 1/4",
      "group 'De-int' group 1, keys",
      "deinterlace 'Deinterlace' in De-int list type 1 = 3, keys 0/4 1/4",
      "group 'Interpolation' group 0, keys",
      "enhance 'Enhancement' in Interpolation bool = 0, keys 0/1 1/1",
      "interpAll 'Interpolate All' in Interpolation bool = 0, keys 0/1 1/1",
      "adaptive 'Adaptive' group 1, keys",
      "showMotion 'Show Motion' in Adaptive bool = 0, keys 0/1 1/1",
      "threshold 'Diff' in Adaptive number 0..63/1 type 1 flag 0 = 32, keys 0/8 1/8",
      "smooth 'Smooth' in Adaptive number 0..32/1 type 1 flag 0 = 4, keys 0/8 1/8",
      "options 'Options' group 1, keys",
      "blending 'Blending' in Options bool = 0, keys 0/1 1/1",
      "reverseFields 'Swap Input Fields' in Options bool = 0, keys 0/1 1/1",
      "display 'Display' group 1, keys",
      "showSource 'Show Source' in Display bool = 1, keys 0/1 1/1",
      "showGraph 'Show Graph' in Display bool = 1, keys 0/1 1/1",
      "showTimeCode 'Show Time Code' in Display bool = 1, keys 0/1 1/1",
      "timeCode 'Source TC Start' in Display string type 0 = 00:00:00:00, keys 0/12 1/12",
      "order 'Order' hidden number 0..50/1 type 1 flag 1 = 1, keys 0/8 1/8",
  };
  // clang-format on
  std::vector<std::string> described;
  for (int i = 0; i < instance.ParameterCount(); ++i) described.push_back(Describe(instance, i));
  EXPECT_EQ(described, expected);
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

}  // namespace
