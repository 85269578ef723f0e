// The stand-in's modal dialogs: windows built from a registered template,
// driven by the host's DialogDriver.
#if !defined(_WIN32)

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "win32/dialog_driver.h"
#include "win32/dialog_template.h"
#include "win32/standin.h"

// Absent unless the program provides a driver.
extern "C" __attribute__((weak, visibility("default"))) win32::DialogDriver*
win32StandinDialogDriver();

namespace win32 {

// Dialog-unit conversion: horizontal units are a quarter, vertical an eighth
// of the font's base units.
constexpr int32_t kBaseUnitX = 6;
constexpr int32_t kBaseUnitY = 13;
// Height of one item in an open list, and of the closed list's selection
// field and window (the field plus its sunken border).
constexpr int32_t kListItemHeight = 13;
constexpr int32_t kSelectionFieldHeight = 15;
constexpr int32_t kClosedComboHeight = 21;
// Border of an open list around its items.
constexpr int32_t kOpenListBorder = 2;
// Notification codes carried in the high word of WM_COMMAND's wParam.
constexpr WPARAM kButtonClicked = 0;
constexpr WPARAM kSelectionChanged = 1;
constexpr LRESULT kComboError = -1;

struct Window {
  Window* dialog = nullptr;  // the owning dialog; itself for a dialog
  ControlKind kind = ControlKind::kGroupBox;
  int32_t id = 0;
  RECT rect = {0, 0, 0, 0};  // screen pixels; for a list, the closed window
  int32_t openHeight = 0;    // lists only
  bool visible = true;
  std::vector<std::string> items;
  int32_t selection = -1;
  // Dialogs only.
  std::vector<std::unique_ptr<Window>> controls;
  DialogDriver* driver = nullptr;
  bool ended = false;
  INT_PTR result = 0;
};

struct Cursor {
  const char* name;
};

namespace {

Cursor arrowCursor{"arrow"};
Cursor waitCursor{"wait"};
Cursor* shownCursor = &arrowCursor;

// Dialogs now running (modal dialogs nest); a handle is live while its dialog
// is in this list.
std::vector<Window*> openDialogs;

// Compares handles without following them: a stale handle is never read.
bool IsLive(const Window* window) {
  if (window == nullptr) return false;
  for (const Window* dialog : openDialogs) {
    if (dialog == window) return true;
    for (const auto& control : dialog->controls) {
      if (control.get() == window) return true;
    }
  }
  return false;
}

bool IsDialog(const Window* window) { return window->dialog == window; }
bool IsList(const Window* window) {
  return !IsDialog(window) && window->kind == ControlKind::kComboBox;
}

int32_t PixelsX(int32_t units) { return (units * kBaseUnitX + 2) / 4; }
int32_t PixelsY(int32_t units) { return (units * kBaseUnitY + 4) / 8; }

int32_t VisibleItems(const Window& list) {
  const int32_t room = (list.openHeight - kClosedComboHeight - kOpenListBorder) / kListItemHeight;
  return std::max(0, std::min(room, static_cast<int32_t>(list.items.size())));
}

std::unique_ptr<Window> BuildControl(Window& dialog, const ControlTemplate& control) {
  auto window = std::make_unique<Window>();
  window->dialog = &dialog;
  window->kind = control.kind;
  window->id = control.id;
  window->rect.left = PixelsX(control.x);
  window->rect.top = PixelsY(control.y);
  window->rect.right = window->rect.left + PixelsX(control.width);
  if (control.kind == ControlKind::kComboBox) {
    window->rect.bottom = window->rect.top + kClosedComboHeight;
    window->openHeight = PixelsY(control.height);
  } else {
    window->rect.bottom = window->rect.top + PixelsY(control.height);
  }
  return window;
}

// Removes the dialog from the live list however the run ends.
class OpenDialog {
 public:
  explicit OpenDialog(Window& dialog) : dialog_(dialog) { openDialogs.push_back(&dialog_); }
  ~OpenDialog() { openDialogs.erase(std::find(openDialogs.begin(), openDialogs.end(), &dialog_)); }
  OpenDialog(const OpenDialog&) = delete;
  OpenDialog& operator=(const OpenDialog&) = delete;

 private:
  Window& dialog_;
};

void Perform(Window& dialog, DLGPROC procedure, const DialogAction& action) {
  Window* control = GetDlgItem(&dialog, action.control);
  const bool isButton = control != nullptr && (control->kind == ControlKind::kPushButton ||
                                               control->kind == ControlKind::kDefPushButton);
  const bool isList = control != nullptr && IsList(control);
  const LPARAM handle = reinterpret_cast<LPARAM>(control);
  const WPARAM id = static_cast<WORD>(action.control);
  if (action.kind == DialogAction::Kind::kPress && isButton) {
    procedure(&dialog, WM_COMMAND, id | (kButtonClicked << 16), handle);
  } else if (action.kind == DialogAction::Kind::kSelect && isList && action.item >= 0 &&
             action.item < static_cast<int32_t>(control->items.size())) {
    control->selection = action.item;
    dialog.driver->SelectionShown(control->id, control->selection);
    procedure(&dialog, WM_COMMAND, id | (kSelectionChanged << 16), handle);
  } else {
    dialog.driver->ActionIgnored(action);
  }
}

LRESULT ComboMessage(Window& list, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case CB_ADDSTRING: {
      const char* text = reinterpret_cast<const char*>(lParam);
      if (text == nullptr) return kComboError;
      list.items.emplace_back(text);
      list.dialog->driver->ItemAdded(list.id, text);
      return static_cast<LRESULT>(list.items.size()) - 1;
    }
    case CB_SETCURSEL: {
      // An index outside the list (including -1) clears the selection.
      const auto index = static_cast<intptr_t>(wParam);
      const bool valid = index >= 0 && index < static_cast<intptr_t>(list.items.size());
      list.selection = valid ? static_cast<int32_t>(index) : -1;
      list.dialog->driver->SelectionShown(list.id, list.selection);
      return valid ? index : kComboError;
    }
    case CB_GETCURSEL:
      return list.selection;
    case CB_GETCOUNT:
      return static_cast<LRESULT>(list.items.size());
    case CB_GETITEMHEIGHT:
      return static_cast<intptr_t>(wParam) == -1 ? kSelectionFieldHeight : kListItemHeight;
    default:
      return 0;
  }
}

}  // namespace
}  // namespace win32

using win32::Window;

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND, DLGPROC procedure, LPARAM initParam) {
  // The stand-in holds only this module's resources, so the instance handle
  // selects nothing; templates are found by number.
  const auto number = reinterpret_cast<uintptr_t>(templateName);
  if (number > 0xFFFF || procedure == nullptr) return -1;
  const win32::DialogTemplate* resource = win32::FindDialogTemplate(static_cast<int32_t>(number));
  win32::DialogDriver* driver = win32StandinDialogDriver ? win32StandinDialogDriver() : nullptr;
  if (resource == nullptr || driver == nullptr) return -1;

  Window dialog;
  dialog.dialog = &dialog;
  dialog.id = resource->id;
  dialog.rect = {0, 0, win32::PixelsX(resource->width), win32::PixelsY(resource->height)};
  dialog.driver = driver;
  for (int32_t i = 0; i < resource->controlCount; ++i) {
    dialog.controls.push_back(win32::BuildControl(dialog, resource->controls[i]));
  }
  win32::OpenDialog open(dialog);
  driver->DialogOpened(resource->id, resource->caption);
  procedure(&dialog, WM_INITDIALOG, 0, initParam);

  bool closing = false;
  while (!dialog.ended) {
    win32::DialogAction action;
    if (!driver->NextAction(action)) {
      // A user with nothing more to do closes the window, which a dialog
      // receives as Cancel; one that will not close then is abandoned.
      if (closing) {
        dialog.result = -1;
        break;
      }
      closing = true;
      action = win32::DialogAction{win32::DialogAction::Kind::kPress, IDCANCEL, 0};
    }
    win32::Perform(dialog, procedure, action);
  }
  driver->DialogEnded(dialog.result);
  return dialog.result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  if (!win32::IsLive(dialog) || !win32::IsDialog(dialog)) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  if (!win32::IsLive(dialog) || !win32::IsDialog(dialog)) return nullptr;
  for (const auto& control : dialog->controls) {
    if (control->id == id) return control.get();
  }
  return nullptr;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!win32::IsLive(window) || !win32::IsList(window)) return 0;
  return win32::ComboMessage(*window, message, wParam, lParam);
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (!win32::IsLive(window) || rect == nullptr) return FALSE;
  *rect = window->rect;
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND, int x, int y, int cx, int cy, UINT flags) {
  if (!win32::IsLive(window)) return FALSE;
  // There is no stacking order to keep: insertAfter and SWP_NOZORDER change
  // nothing here.
  RECT& rect = window->rect;
  if ((flags & SWP_NOMOVE) == 0) {
    rect = {x, y, x + (rect.right - rect.left), y + (rect.bottom - rect.top)};
  }
  rect.right = rect.left + cx;
  const bool isList = win32::IsList(window);
  if (isList) {
    window->openHeight = cy;
  } else {
    rect.bottom = rect.top + cy;
  }
  if (flags & SWP_SHOWWINDOW) window->visible = true;
  window->dialog->driver->ControlPlaced(window->id, rect.left, rect.top, cx, cy,
                                        isList ? win32::VisibleItems(*window) : 0);
  return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr) return nullptr;
  if (name == IDC_ARROW) return &win32::arrowCursor;
  if (name == IDC_WAIT) return &win32::waitCursor;
  return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous = win32::shownCursor;
  win32::shownCursor = cursor;
  // The cursor is shown over whichever dialog is running.
  if (!win32::openDialogs.empty()) {
    win32::openDialogs.back()->driver->CursorShown(cursor ? cursor->name : "none");
  }
  return previous;
}

#endif  // !_WIN32
