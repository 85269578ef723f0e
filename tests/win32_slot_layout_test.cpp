// The plug-in DLL's virtual tables as a 32-bit Windows host calls them. A host
// built with the Microsoft C++ ABI knows the model, the instance and the
// overlay only by slot numbers and signatures, and calls them thiscall (object
// in ECX, arguments on the stack for the callee to remove), so a slot with the
// wrong function or arguments leaves the host's stack off. Every slot the
// effect fills with its own code is called by number with the stack pointer
// measured around the call, and every slot it leaves to the base class must
// lead into the host library.
#if !defined(_WIN32) || !defined(__i386__)
#error "the slot probe is for 32-bit Windows"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "overlay_rig.h"
#include "refhost/phase_dialog_driver.h"
#include "test_clips.h"
#include "win32_import_patch.h"

// SlotProbeCall(function, object, words, count, eax): pushes words[count-1]
// down to words[0], puts object in ECX, calls function, stores EAX and
// returns ESP after the call minus ESP before the pushes. ESP is then put
// back whatever the callee removed, so a wrong slot is reported, not fatal.
asm(R"(
  .text
  .globl _SlotProbeCall
_SlotProbeCall:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl %esp, %edi
  movl 16(%ebp), %esi
  movl 20(%ebp), %ebx
1:
  testl %ebx, %ebx
  jz 2f
  decl %ebx
  pushl (%esi,%ebx,4)
  jmp 1b
2:
  movl 12(%ebp), %ecx
  call *8(%ebp)
  movl %esp, %ebx
  movl %edi, %esp
  movl 24(%ebp), %ecx
  movl %eax, (%ecx)
  movl %ebx, %eax
  subl %edi, %eax
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

extern "C" int32_t SlotProbeCall(const void* function, void* object, const uint32_t* words,
                                 uint32_t count, uint32_t* eax);

namespace {

// What one call left: EAX, and the stack pointer after the call minus the one
// before the arguments were pushed (0 when the callee removed exactly what the
// signature puts on the stack).
struct SlotCall {
  uint32_t eax = 0;
  int32_t stackShift = 0;
};

inline const void* const* VirtualTable(const void* object) {
  return *static_cast<const void* const* const*>(object);
}

// The stack words of one argument, lowest address first, as a 32-bit caller
// pushes it: every argument takes whole 4-byte words.
template <typename Argument>
void AppendWords(std::vector<uint32_t>& words, Argument argument) {
  static_assert(
      sizeof(Argument) == 4 || sizeof(Argument) == 8 || std::is_same<Argument, bool>::value,
      "an argument of 1, 4 or 8 bytes");
  if constexpr (std::is_same<Argument, bool>::value) {
    words.push_back(argument ? 1u : 0u);
  } else {
    uint32_t parts[sizeof(Argument) / 4];
    std::memcpy(parts, &argument, sizeof parts);
    words.insert(words.end(), parts, parts + sizeof(Argument) / 4);
  }
}

// A bool result is AL alone; the rest of EAX is whatever the callee left.
inline bool AsBool(const SlotCall& call) { return (call.eax & 0xFF) != 0; }
inline void* AsPointer(const SlotCall& call) { return reinterpret_cast<void*>(call.eax); }

// The module holding the code a slot runs. A slot filled with a function of
// another DLL points at the import stub (jmp [import address]), which is
// followed.
inline HMODULE ModuleOfSlot(const void* object, int slot) {
  const auto* code = static_cast<const uint8_t*>(VirtualTable(object)[slot]);
  if (code[0] == 0xFF && code[1] == 0x25) {
    const void* const* importAddress;
    std::memcpy(&importAddress, code + 2, sizeof importAddress);
    code = static_cast<const uint8_t*>(*importAddress);
  }
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(code), &module);
  return module;
}

// Records the blocks a module gives back to the C library's free, by pointing
// its import of free at a recorder while this object lives (one at a time).
class FreeRecorder {
 public:
  explicit FreeRecorder(HMODULE module) {
    if (active_ != nullptr) return;
    patch_ = std::make_unique<importpatch::ImportPatch>(module, "msvcrt.dll", "free",
                                                        reinterpret_cast<void*>(&RecordingFree));
    if (!patch_->Applied()) return;
    freed_.reserve(1024);  // no allocation inside the hook
    active_ = this;
  }
  ~FreeRecorder() {
    patch_.reset();
    if (active_ == this) active_ = nullptr;
  }
  FreeRecorder(const FreeRecorder&) = delete;
  FreeRecorder& operator=(const FreeRecorder&) = delete;

  bool Hooked() const { return active_ == this; }
  bool Freed(const void* block) const {
    return std::find(freed_.begin(), freed_.end(), block) != freed_.end();
  }
  size_t FreeCount() const { return freed_.size(); }

 private:
  static void __cdecl RecordingFree(void* block) {
    reinterpret_cast<void (*)(void*)>(active_->patch_->Original())(block);
    if (block != nullptr) active_->freed_.push_back(block);
  }
  static inline FreeRecorder* active_ = nullptr;
  std::unique_ptr<importpatch::ImportPatch> patch_;
  std::vector<const void*> freed_;
};

// The slot 0 flag that asks for the object's memory to be freed.
constexpr uint32_t kDelete = 1;

HMODULE PluginModule() { return LoadLibraryA(CORVALIS_DEFAULT_PLUGIN); }
HMODULE HostLibrary() { return GetModuleHandleA("avx.dll"); }

// Calls slot `slot` of the object's table as a host does with the signature
// Result(Arguments...), pushing what that signature puts on the stack; a call
// that leaves the stack pointer elsewhere has the wrong signature in that slot.
template <typename Result, typename... Arguments>
SlotCall Called(const char* name, void* object, int slot, Arguments... arguments) {
  std::vector<uint32_t> words;
  (AppendWords(words, arguments), ...);
  SlotCall call;
  call.stackShift = SlotProbeCall(VirtualTable(object)[slot], object, words.data(),
                                  static_cast<uint32_t>(words.size()), &call.eax);
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
