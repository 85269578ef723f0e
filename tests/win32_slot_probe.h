// Calls into a loaded plug-in as a 32-bit Windows host does: virtual slots by
// their number, with the object in ECX and the arguments on the stack for the
// callee to remove (thiscall), and the stack pointer measured around the call.
// Also finds which module a slot's code lies in and which blocks the plug-in
// frees.
#pragma once

#if !defined(_WIN32) || !defined(__i386__)
#error "the slot probe is for 32-bit Windows"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "win32_import_patch.h"

namespace slotprobe {

extern "C" int32_t SlotProbeCall(const void* function, void* object, const uint32_t* words,
                                 uint32_t count, uint32_t* eax);

// What one call left: EAX, and the stack pointer after the call minus the one
// before the arguments were pushed (0 when the callee removed exactly what the
// signature puts on the stack).
struct SlotCall {
  uint32_t eax = 0;
  int32_t stackShift = 0;
};

// A slot's signature as a host declares it: a thiscall member function.
template <typename Result, typename... Arguments>
using SlotFunction = Result(__attribute__((thiscall)) *)(void* object, Arguments...);

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

// Calls slot `slot` of object's table with the signature
// Result(Arguments...); the probe pushes what that signature puts on the
// stack and calls the slot's function pointer.
template <typename Result, typename... Arguments>
SlotCall CallSlot(void* object, int slot, Arguments... arguments) {
  const auto function =
      reinterpret_cast<SlotFunction<Result, Arguments...>>(VirtualTable(object)[slot]);
  std::vector<uint32_t> words;
  (AppendWords(words, arguments), ...);
  SlotCall call;
  call.stackShift = SlotProbeCall(reinterpret_cast<const void*>(function), object, words.data(),
                                  static_cast<uint32_t>(words.size()), &call.eax);
  return call;
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

}  // namespace slotprobe
