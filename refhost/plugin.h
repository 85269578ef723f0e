// A loaded plug-in: the shared library, resolved only by its two factories,
// and the one effect model the host keeps for it.
#pragma once

#include <memory>
#include <string>

#include "avx/avx.h"

namespace refhost {

class Plugin {
 public:
  // Loads the library at path, resolves avxNewModel_v1 and avxNewOverlay_v1,
  // creates the model and runs InitModel and InitFormats. Throws
  // std::runtime_error naming the path and the problem.
  explicit Plugin(const std::string& path = CORVALIS_DEFAULT_PLUGIN);
  // A plug-in linked into the host program itself, reached through the same
  // two factories called directly. Tests that must reach the plug-in's
  // process-wide state (its allocator) use this; `name` stands for the path
  // in messages.
  Plugin(const std::string& name, avxNewModelFunction newModel, avxNewOverlayFunction newOverlay);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  avxModel_v1& Model() { return *model_; }
  // A new overlay from the plug-in's factory (owned by the caller).
  avxOverlay_v1* NewOverlay();
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  void* library_ = nullptr;
  avxNewOverlayFunction newOverlay_ = nullptr;
  avxModel_v1* model_ = nullptr;
};

}  // namespace refhost
