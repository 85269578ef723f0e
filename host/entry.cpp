// The plug-in's entry points: the two exported factories and, on Windows, the
// DLL entry that records the module handle.
#include <new>

#include "avx/avx.h"
#include "host/corvalis_model.h"
#include "host/module_state.h"
#include "overlay/corvalis_overlay.h"

std::atomic<bool> firstRenderPending{true};
void* moduleHandle = nullptr;

#if defined(_WIN32)
#include <windows.h>
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) moduleHandle = instance;
  return TRUE;
}
#define CORVALIS_EXPORT extern "C" __declspec(dllexport)
#else
#define CORVALIS_EXPORT extern "C" __attribute__((visibility("default")))
#endif

CORVALIS_EXPORT avxModel_v1* avxNewModel_v1() { return new (std::nothrow) CorvalisModel(); }

CORVALIS_EXPORT avxOverlay_v1* avxNewOverlay_v1() {
  return new (std::nothrow) CorvalisOverlay();
}
