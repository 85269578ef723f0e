#include "refhost/phase_dialog_driver.h"

#include <cstdlib>
#include <stdexcept>

#include "pulldown/resource.h"
#include "refhost/win32_dialog_user.h"

namespace {

win32::DialogDriver* installedDriver = nullptr;

constexpr int32_t kOkButton = 1;
constexpr int32_t kCancelButton = 2;

}  // namespace

#if !defined(_WIN32)
// Where the plug-in's dialog stand-in finds the user.
extern "C" __attribute__((visibility("default"))) win32::DialogDriver* win32StandinDialogDriver() {
  return installedDriver;
}
#endif

namespace refhost {

std::string PhaseDialogRecord::SelectedItem(int32_t list) const {
  const auto selection = selections.find(list);
  const auto shown = items.find(list);
  if (selection == selections.end() || shown == items.end()) return "";
  const int32_t item = selection->second;
  if (item < 0 || item >= static_cast<int32_t>(shown->second.size())) return "";
  return shown->second[item];
}

bool ParseDialogPress(const std::string& press, win32::DialogAction& action) {
  using Kind = win32::DialogAction::Kind;
  static const struct {
    const char* name;
    int32_t control;
  } kButtons[] = {
      {"detect-input", IDC_DETECT_INPUT},
      {"detect-below", IDC_DETECT_OUTPUT},
      {"manual-input", IDC_MANUAL_INPUT},
      {"manual-below", IDC_MANUAL_OUTPUT},
      {"ok", kOkButton},
      {"cancel", kCancelButton},
  };
  for (const auto& button : kButtons) {
    if (press == button.name) {
      action = win32::DialogAction{Kind::kPress, button.control, 0};
      return true;
    }
  }
  static const struct {
    const char* prefix;
    int32_t control;
  } kLists[] = {{"select-input=", IDC_INPUT_PHASE}, {"select-below=", IDC_OUTPUT_PHASE}};
  for (const auto& list : kLists) {
    const std::string prefix = list.prefix;
    if (press.compare(0, prefix.size(), prefix) != 0 || press.size() == prefix.size()) continue;
    const std::string digits = press.substr(prefix.size());
    char* end = nullptr;
    const long item = std::strtol(digits.c_str(), &end, 10);
    if (*end != '\0' || digits[0] == '+' || digits[0] == ' ' || item < 0 || item > 1000) {
      return false;
    }
    action = win32::DialogAction{Kind::kSelect, list.control, static_cast<int32_t>(item)};
    return true;
  }
  return false;
}

ScriptedDialogDriver::ScriptedDialogDriver(std::vector<std::string> presses)
    : presses_(std::move(presses)) {
  for (const std::string& press : presses_) {
    win32::DialogAction action;
    if (!ParseDialogPress(press, action)) {
      throw std::invalid_argument("unknown dialog press: " + press);
    }
    actions_.push_back(action);
  }
}

void ScriptedDialogDriver::DialogOpened(int32_t templateId, const char* caption) {
  record_.opened = true;
  record_.templateId = templateId;
  record_.caption = caption ? caption : "";
}

bool ScriptedDialogDriver::NextAction(win32::DialogAction& action) {
  if (next_ >= actions_.size()) {
    closing_ = true;
    return false;
  }
  action = actions_[next_++];
  return true;
}

void ScriptedDialogDriver::ActionIgnored(const win32::DialogAction&) {
  // Only the last action handed out can be the one ignored.
  record_.ignored.push_back(closing_ || next_ == 0 ? "close" : presses_[next_ - 1]);
}

void ScriptedDialogDriver::ItemAdded(int32_t control, const char* text) {
  record_.items[control].emplace_back(text ? text : "");
}

void ScriptedDialogDriver::SelectionShown(int32_t control, int32_t item) {
  record_.selections[control] = item;
  record_.selectionHistory.emplace_back(control, item);
}

void ScriptedDialogDriver::CursorShown(const char* name) {
  record_.cursors.emplace_back(name ? name : "");
}

void ScriptedDialogDriver::ControlPlaced(int32_t control, int32_t x, int32_t y, int32_t width,
                                         int32_t height, int32_t visibleItems) {
  record_.placements[control] = ControlPlacement{x, y, width, height, visibleItems};
}

void ScriptedDialogDriver::DialogEnded(intptr_t result) {
  record_.ended = true;
  record_.result = result;
}

ScopedDialogDriver::ScopedDialogDriver(win32::DialogDriver& driver) : previous_(installedDriver) {
  installedDriver = &driver;
#if defined(_WIN32)
  PlayDialogDriver(installedDriver);
#endif
}

ScopedDialogDriver::~ScopedDialogDriver() {
  installedDriver = previous_;
#if defined(_WIN32)
  PlayDialogDriver(installedDriver);
#endif
}

}  // namespace refhost
