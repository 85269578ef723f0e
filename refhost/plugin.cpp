#include "refhost/plugin.h"

#include <dlfcn.h>

#include <stdexcept>

namespace refhost {

Plugin::Plugin(const std::string& path) : path_(path) {
  library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char* why = dlerror();
    throw std::runtime_error(path + ": cannot load plug-in: " + (why ? why : "unknown error"));
  }
  auto newModel = reinterpret_cast<avxNewModelFunction>(dlsym(library_, AVX_NEW_MODEL_SYMBOL));
  newOverlay_ = reinterpret_cast<avxNewOverlayFunction>(dlsym(library_, AVX_NEW_OVERLAY_SYMBOL));
  if (newModel == nullptr || newOverlay_ == nullptr) {
    dlclose(library_);
    throw std::runtime_error(path + ": not a plug-in (missing " AVX_NEW_MODEL_SYMBOL " or " AVX_NEW_OVERLAY_SYMBOL ")");
  }
  model_ = newModel();
  if (model_ == nullptr) {
    dlclose(library_);
    throw std::runtime_error(path + ": the plug-in created no model");
  }
  model_->InitModel();
  model_->InitFormats();
}

Plugin::~Plugin() {
  delete model_;
  // The library stays loaded: objects made by it (typeinfo, statics) may
  // outlive this handle in a process that loads several plug-ins.
}

avxOverlay_v1* Plugin::NewOverlay() { return newOverlay_(); }

}  // namespace refhost
