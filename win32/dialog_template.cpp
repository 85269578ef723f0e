#include "win32/dialog_template.h"

#include <vector>

namespace win32 {
namespace {

// Built on first use, so that registrations from any translation unit's
// static initialisation find it ready.
std::vector<const DialogTemplate*>& Registry() {
  static std::vector<const DialogTemplate*> templates;
  return templates;
}

}  // namespace

bool RegisterDialogTemplate(const DialogTemplate& dialog) {
  Registry().push_back(&dialog);
  return true;
}

const DialogTemplate* FindDialogTemplate(int32_t id) {
  for (const DialogTemplate* dialog : Registry()) {
    if (dialog->id == id) return dialog;
  }
  return nullptr;
}

}  // namespace win32
