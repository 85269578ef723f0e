// The user in front of the plug-in's 3:2 phase dialog, for the reference
// host: performs a scripted list of presses and records what the dialog
// showed.
//
// A driver is installed for the whole process (dialogs are modal and the
// plug-in's dialog stand-in asks for it when a dialog opens). Programs that
// load the plug-in must export win32StandinDialogDriver from their dynamic
// symbol table so that the plug-in module finds it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "win32/dialog_driver.h"

namespace refhost {

// Where a control was put; for a list, its open height and the number of
// items that then show.
struct ControlPlacement {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t visibleItems = 0;
};

struct PhaseDialogRecord {
  bool opened = false;
  int32_t templateId = 0;
  std::string caption;
  std::map<int32_t, std::vector<std::string>> items;          // per list, in the order added
  std::map<int32_t, int32_t> selections;                      // per list, the item shown last
  std::vector<std::pair<int32_t, int32_t>> selectionHistory;  // (list, item) in order
  std::vector<std::string> cursors;                           // "wait", "arrow"
  std::map<int32_t, ControlPlacement> placements;             // per control, the last
  std::vector<std::string> ignored;                           // presses that did nothing
  bool ended = false;
  int64_t result = 0;

  // The text of the item a list shows now, or "" when it shows none.
  std::string SelectedItem(int32_t list) const;
};

// Performs presses in order. Press names: "detect-input", "detect-below",
// "manual-input", "manual-below", "select-input=N", "select-below=N" (N the
// item index, which is the phase code), "ok", "cancel". When the presses run
// out before the dialog ends, the window is closed (Cancel).
class ScriptedDialogDriver : public win32::DialogDriver {
 public:
  // Throws std::invalid_argument naming the first press it does not know.
  explicit ScriptedDialogDriver(std::vector<std::string> presses);

  const PhaseDialogRecord& Record() const { return record_; }

  void DialogOpened(int32_t templateId, const char* caption) override;
  bool NextAction(win32::DialogAction& action) override;
  void ActionIgnored(const win32::DialogAction& action) override;
  void ItemAdded(int32_t control, const char* text) override;
  void SelectionShown(int32_t control, int32_t item) override;
  void CursorShown(const char* name) override;
  void ControlPlaced(int32_t control, int32_t x, int32_t y, int32_t width, int32_t height,
                     int32_t visibleItems) override;
  void DialogEnded(intptr_t result) override;

 private:
  std::vector<std::string> presses_;
  std::vector<win32::DialogAction> actions_;
  size_t next_ = 0;
  bool closing_ = false;  // the presses ran out; the window is being closed
  PhaseDialogRecord record_;
};

// Parses one press name; false when it is not one.
bool ParseDialogPress(const std::string& press, win32::DialogAction& action);

// Makes a driver the process's user for as long as this object lives; the
// previous one returns afterwards.
class ScopedDialogDriver {
 public:
  explicit ScopedDialogDriver(win32::DialogDriver& driver);
  ~ScopedDialogDriver();
  ScopedDialogDriver(const ScopedDialogDriver&) = delete;
  ScopedDialogDriver& operator=(const ScopedDialogDriver&) = delete;

 private:
  win32::DialogDriver* previous_;
};

}  // namespace refhost
