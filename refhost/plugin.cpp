#include "refhost/plugin.h"

#include <stdexcept>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace refhost {
namespace {

// The system's library loader, behind one set of names.
#if defined(_WIN32)
void* OpenLibrary(const std::string& path) { return LoadLibraryA(path.c_str()); }
void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }
std::string LoadError() {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  return text[0] != '\0' ? text : "unknown error";
}
#else
void* OpenLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* FindSymbol(void* library, const char* name) { return dlsym(library, name); }
void CloseLibrary(void* library) { dlclose(library); }
std::string LoadError() {
  const char* why = dlerror();
  return why ? why : "unknown error";
}
#endif

}  // namespace

Plugin::Plugin(const std::string& path) : path_(path) {
  library_ = OpenLibrary(path);
  if (library_ == nullptr) {
    throw std::runtime_error(path + ": cannot load plug-in: " + LoadError());
  }
  auto newModel = reinterpret_cast<avxNewModelFunction>(FindSymbol(library_, AVX_NEW_MODEL_SYMBOL));
  newOverlay_ =
      reinterpret_cast<avxNewOverlayFunction>(FindSymbol(library_, AVX_NEW_OVERLAY_SYMBOL));
  if (newModel == nullptr || newOverlay_ == nullptr) {
    CloseLibrary(library_);
    throw std::runtime_error(path + ": not a plug-in (missing " AVX_NEW_MODEL_SYMBOL " or " AVX_NEW_OVERLAY_SYMBOL ")");
  }
  model_ = newModel();
  if (model_ == nullptr) {
    CloseLibrary(library_);
    throw std::runtime_error(path + ": the plug-in created no model");
  }
  model_->InitModel();
  model_->InitFormats();
}

Plugin::Plugin(const std::string& name, avxNewModelFunction newModel,
               avxNewOverlayFunction newOverlay)
    : path_(name), newOverlay_(newOverlay) {
  if (newModel == nullptr || newOverlay_ == nullptr) {
    throw std::runtime_error(name + ": not a plug-in (missing " AVX_NEW_MODEL_SYMBOL
                             " or " AVX_NEW_OVERLAY_SYMBOL ")");
  }
  model_ = newModel();
  if (model_ == nullptr) throw std::runtime_error(name + ": the plug-in created no model");
  model_->InitModel();
  model_->InitFormats();
}

Plugin::~Plugin() {
  avxDelete(model_);
  // The library stays loaded: objects made by it (typeinfo, statics) may
  // outlive this handle in a process that loads several plug-ins.
}

avxOverlay_v1* Plugin::NewOverlay() { return newOverlay_(); }

}  // namespace refhost
