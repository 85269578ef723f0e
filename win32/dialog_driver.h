// What stands in front of a stand-in dialog instead of a screen and a user.
//
// The host implements DialogDriver: the stand-in asks it for the user's next
// action and tells it what the dialog shows. The host makes its driver
// reachable by defining win32StandinDialogDriver() with default visibility
// and exporting it from the program, so that plug-in modules loaded later find
// it; a program that defines none has no user, and dialogs fail to open.
// The interface crosses module boundaries: only plain types pass through it.
#pragma once

#include <cstdint>

namespace win32 {

struct DialogAction {
  enum class Kind : int32_t {
    kPress,   // click the push button `control`
    kSelect,  // choose item `item` of the drop-down list `control`
  };
  Kind kind = Kind::kPress;
  int32_t control = 0;
  int32_t item = 0;
};

class DialogDriver {
 public:
  virtual ~DialogDriver() = default;
  virtual void DialogOpened(int32_t templateId, const char* caption) = 0;
  // The user's next action; false when the user has nothing more to do, which
  // the stand-in takes as closing the window (Cancel).
  virtual bool NextAction(DialogAction& action) = 0;
  // An action naming no control of its kind, or an item the list lacks.
  virtual void ActionIgnored(const DialogAction& action) = 0;
  virtual void ItemAdded(int32_t control, const char* text) = 0;
  // The list now shows item `item` (-1: nothing) in its selection field.
  virtual void SelectionShown(int32_t control, int32_t item) = 0;
  virtual void CursorShown(const char* name) = 0;
  // A control was placed; for a drop-down list, height is its height when
  // open and visibleItems the number of items that then show at once.
  virtual void ControlPlaced(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                             int32_t visibleItems) = 0;
  virtual void DialogEnded(intptr_t result) = 0;
};

}  // namespace win32

// The host's driver, or null when no user is present.
extern "C" win32::DialogDriver* win32StandinDialogDriver();
