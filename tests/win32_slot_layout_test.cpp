// The plug-in DLL's virtual tables as a 32-bit Windows host calls them: a
// host built with the Microsoft C++ ABI knows the model, the instance and the
// overlay only by slot numbers and signatures, and its calls are thiscall, so
// a slot with the wrong function or the wrong arguments leaves the host's
// stack off. The tables below are the host's; every slot the effect fills
// with its own code is called by number, and every slot it leaves to the base
// class must lead into the host library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "overlay_rig.h"
#include "refhost/phase_dialog_driver.h"
#include "test_clips.h"
#include "win32_slot_probe.h"

namespace {

using slotprobe::AsBool;
using slotprobe::AsPointer;
using slotprobe::CallSlot;
using slotprobe::FreeRecorder;
using slotprobe::ModuleOfSlot;
using slotprobe::SlotCall;

// The slot 0 flag that asks for the object's memory to be freed.
constexpr uint32_t kDelete = 1;

HMODULE PluginModule() { return LoadLibraryA(CORVALIS_DEFAULT_PLUGIN); }
HMODULE HostLibrary() { return GetModuleHandleA("avx.dll"); }

// Calls a slot as the host does; a call that leaves the stack pointer
// elsewhere has the wrong signature in that slot.
template <typename Result, typename... Arguments>
SlotCall Called(const char* name, void* object, int slot, Arguments... arguments) {
  const SlotCall call = CallSlot<Result, Arguments...>(object, slot, arguments...);
  EXPECT_EQ(call.stackShift, 0) << name << " in slot " << slot;
  return call;
}

// Slots filled by the effect's own code lie in the plug-in; the others are
// the base class's and lie in the host library.
void ExpectOwnSlots(const void* object, int slotCount, const std::vector<int>& ownSlots) {
  for (int slot = 0; slot < slotCount; ++slot) {
    const bool own = std::find(ownSlots.begin(), ownSlots.end(), slot) != ownSlots.end();
    EXPECT_EQ(ModuleOfSlot(object, slot), own ? PluginModule() : HostLibrary())
        << "slot " << slot << (own ? " should be the effect's own" : " should be the base's");
  }
}

// Model: 0 destructor(flags), 1 bool InitModel(), 2 instance* CreateInstance(),
// 3 bool InitFormats(), 4 DeleteInstance(instance*), 5 GetInitString,
// 6 bool HostQuery(query), 7 UseHardwareList, 8 UseLibraryList.
TEST(Win32SlotLayout, ModelSlots) {
  HMODULE plugin = PluginModule();
  ASSERT_NE(plugin, nullptr);
  auto newModel = reinterpret_cast<avxNewModelFunction>(
      reinterpret_cast<void*>(GetProcAddress(plugin, AVX_NEW_MODEL_SYMBOL)));
  ASSERT_NE(newModel, nullptr);
  FreeRecorder freed(plugin);
  ASSERT_TRUE(freed.Hooked());
  avxModel_v1* model = newModel();
  ASSERT_NE(model, nullptr);
  ExpectOwnSlots(model, 9, {0, 1, 2, 3, 4, 6});

  EXPECT_TRUE(AsBool(Called<bool>("InitModel", model, 1)));
  EXPECT_EQ(model->Name(), "Corvalis");

  EXPECT_TRUE(AsBool(Called<bool>("InitFormats", model, 3)));
  EXPECT_EQ(model->Inputs().size(), 2u);
  EXPECT_EQ(model->Outputs().size(), 1u);

  EXPECT_TRUE(AsBool(Called<bool, int32_t>("HostQuery", model, 6, 7)));

  auto* instance =
      static_cast<avxInstance_v1*>(AsPointer(Called<avxInstance_v1*>("CreateInstance", model, 2)));
  ASSERT_NE(dynamic_cast<Corvalis*>(instance), nullptr);

  const size_t freesBefore = freed.FreeCount();
  Called<void, avxInstance_v1*>("DeleteInstance(null)", model, 4, nullptr);
  EXPECT_EQ(freed.FreeCount(), freesBefore);
  Called<void, avxInstance_v1*>("DeleteInstance", model, 4, instance);
  EXPECT_TRUE(freed.Freed(instance));

  EXPECT_EQ(AsPointer(Called<void*, uint32_t>("destructor", model, 0, kDelete)), model);
  EXPECT_TRUE(freed.Freed(model));
}

// Instance: 0 destructor(flags), 1 bool Render(argument), 2 bool
// CreateParameters(), 3-6 HasEffect, InPlace, PreProcess, PostProcess, 7 bool
// OpenPhaseDialog(32-bit argument), 8-10 GetInputSize, GetOutputSize,
// CopyInstance.
TEST(Win32SlotLayout, InstanceSlots) {
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, testclips::Settings(8, 4, 4));
  host.SetInput(1, testclips::CodedClip(8, 4, 4));
  avxInstance_v1& instance = host.Instance();
  ExpectOwnSlots(&instance, 11, {0, 1, 2, 7});

  // A render through the slot writes what the host's own render call wrote.
  host.SetPosition(1, kAvxFieldOdd, 1);
  refhost::Picture expected;
  ASSERT_TRUE(host.RenderOnce(8, 2, expected));
  avxImage* output = instance.GetOutput(0);
  ASSERT_NE(output, nullptr);
  std::memset(output->GetRowPtr(0, 0), 0x5A, expected.pixels.size());
  EXPECT_TRUE(AsBool(Called<bool, avxRenderArgs*>("Render", &instance, 1, nullptr)));
  const uint8_t* rendered = output->GetRowPtr(0, 0);
  EXPECT_EQ(std::vector<uint8_t>(rendered, rendered + expected.pixels.size()), expected.pixels);

  // The dialog, closed with OK after choosing "A" for the input.
  refhost::ScriptedDialogDriver user({"select-input=5", "ok"});
  {
    refhost::ScopedDialogDriver installed(user);
    EXPECT_TRUE(AsBool(Called<bool, int32_t>("OpenPhaseDialog", &instance, 7, 0x12345678)));
  }
  EXPECT_TRUE(user.Record().opened);
  EXPECT_EQ(host.InstanceDataBlock(), (std::vector<uint8_t>{'5', ',', '0', '\0'}));

  // A new instance creates its parameters through slot 2 and goes through slot 0.
  FreeRecorder freed(PluginModule());
  ASSERT_TRUE(freed.Hooked());
  avxInstance_v1* fresh = plugin.Model().CreateInstance();
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(AsBool(Called<bool>("CreateParameters", fresh, 2)));
  EXPECT_EQ(fresh->ParameterCount(), instance.ParameterCount());
  EXPECT_NE(fresh->FindParameter("speed"), nullptr);
  EXPECT_EQ(AsPointer(Called<void*, uint32_t>("destructor", fresh, 0, kDelete)), fresh);
  EXPECT_TRUE(freed.Freed(fresh));
}

// Overlay: 0 destructor(flags), 1 Draw(bool show), 2-5 bool OnMousePress,
// OnMouseDrag, OnMouseRelease, OnMouseMove(double x, double y, unsigned long
// flags), 6-9 OnMouseIdle, OnKeyDown, OnKeyUp, OnNewNativeWindow,
// 10 OnHostEvent(32-bit argument), 11 OnHostNotify().
TEST(Win32SlotLayout, OverlaySlots) {
  constexpr int32_t kWidth = 200, kHeight = 100;
  overlaytest::OverlayRig rig(10);
  const int32_t keyUnits[] = {0, 6, 12, 19};
  for (int32_t i = 0; i < 4; ++i) rig.Key(keyUnits[i], 100.0, i + 1);
  rig.Render(3);  // unit 6, key 1
  rig.Open(kWidth, kHeight);
  CorvalisOverlay& overlay = rig.overlay();
  ExpectOwnSlots(&overlay, 12, {0, 1, 2, 3, 4, 5, 10, 11});

  Called<void, bool>("Draw(false)", &overlay, 1, false);
  EXPECT_EQ(overlay.currentKey, -1);
  EXPECT_EQ(rig.Bytes(), std::vector<uint8_t>(rig.Bytes().size(), 0));
  Called<void, bool>("Draw(true)", &overlay, 1, true);
  EXPECT_EQ(overlay.currentKey, 1);
  EXPECT_NE(rig.Bytes(), std::vector<uint8_t>(rig.Bytes().size(), 0));

  // Every mouse slot at the up band of key 1's order box: only the press
  // acts, and only the release tells the host.
  const PixelRect graph = overlay.GraphArea(kWidth, kHeight);
  const PixelRect box =
      CorvalisOverlay::OrderBox(graph, CorvalisOverlay::KeyX(graph, rig.UnitTime(keyUnits[1])));
  auto mouse = [&](const char* name, int slot) {
    return AsBool(Called<bool, double, double, unsigned long>(
        name, &overlay, slot, (box.left + 7.5) / kWidth, (box.top + 2.5) / kHeight, 0ul));
  };
  EXPECT_FALSE(mouse("OnMouseDrag", 3));
  EXPECT_FALSE(mouse("OnMouseMove", 5));
  EXPECT_EQ(rig.Orders(), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_TRUE(mouse("OnMousePress", 2));
  EXPECT_EQ(rig.Orders(), (std::vector<int32_t>{1, 3, 2, 4}));
  const int32_t notices = rig.host().ParametersModifiedCount();
  EXPECT_TRUE(mouse("OnMouseRelease", 4));
  EXPECT_EQ(rig.host().ParametersModifiedCount(), notices + 1);

  Called<void, int32_t>("OnHostEvent", &overlay, 10, 5);
  Called<void>("OnHostNotify", &overlay, 11);

  // Slot 0 frees only when asked to; without the flag the memory stays the
  // caller's.
  FreeRecorder freed(PluginModule());
  ASSERT_TRUE(freed.Hooked());
  avxOverlay_v1* kept = rig.host().PluginRef().NewOverlay();
  EXPECT_EQ(AsPointer(Called<void*, uint32_t>("destructor, no delete", kept, 0, 0)), kept);
  EXPECT_FALSE(freed.Freed(kept));
  ::operator delete(kept);
  avxOverlay_v1* deleted = rig.host().PluginRef().NewOverlay();
  Called<void*, uint32_t>("destructor", deleted, 0, kDelete);
  EXPECT_TRUE(freed.Freed(deleted));
}

}  // namespace
