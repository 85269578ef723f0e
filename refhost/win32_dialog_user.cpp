#include "refhost/win32_dialog_user.h"

#if defined(_WIN32)

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "refhost/win32_dialog_resource.h"

namespace refhost {
namespace {

struct Player {
  win32::DialogDriver* driver = nullptr;
  HHOOK beforeHook = nullptr;
  HHOOK afterHook = nullptr;
  HWND dialog = nullptr;     // the dialog being played, once it initialises
  bool closing = false;      // the driver ran out of actions
  std::vector<HWND> placed;  // lists moved or resized, not yet reported
};
Player player;

// Each action waits for the dialog's message loop, as a user's would.
constexpr UINT_PTR kActionTimer = 0x0C0A;
constexpr UINT kActionDelayMs = 1;

std::string ClassName(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool IsDialog(HWND window) { return ClassName(window) == "#32770"; }
bool IsComboBox(HWND window) { return _stricmp(ClassName(window).c_str(), "ComboBox") == 0; }
bool IsButton(HWND window) { return _stricmp(ClassName(window).c_str(), "Button") == 0; }

bool IsPlayedControl(HWND window) {
  return player.dialog != nullptr && GetParent(window) == player.dialog;
}

std::string WindowText(HWND window) {
  char text[256] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

int32_t TemplateId(HWND dialog) {
  const auto module = reinterpret_cast<HMODULE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
  const std::string caption = WindowText(dialog);
  for (int32_t id : DialogResourceIds(module)) {
    DialogResource resource;
    if (ReadDialogResource(module, id, resource) && resource.caption == caption) return id;
  }
  return 0;
}

void ReportItem(HWND combo, LRESULT index) {
  const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(length));
  player.driver->ItemAdded(GetDlgCtrlID(combo), text.c_str());
}

// Where a list was put, measured as the user sees it: the list is opened and
// its items counted, since what the list control reports of its open size
// differs between implementations of the system.
void ReportPlacement(HWND control) {
  RECT field;
  GetWindowRect(control, &field);
  RECT placed = field;
  MapWindowPoints(HWND_DESKTOP, player.dialog, reinterpret_cast<POINT*>(&placed), 2);
  COMBOBOXINFO parts{};
  parts.cbSize = sizeof parts;
  const auto itemHeight = static_cast<LONG>(SendMessageA(control, CB_GETITEMHEIGHT, 0, 0));
  const auto count = static_cast<LONG>(SendMessageA(control, CB_GETCOUNT, 0, 0));
  LONG openHeight = field.bottom - field.top;
  int32_t visibleItems = 0;
  if (GetComboBoxInfo(control, &parts) && parts.hwndList != nullptr && itemHeight > 0) {
    SendMessageA(control, CB_SHOWDROPDOWN, TRUE, 0);
    RECT list;
    RECT listClient;
    GetWindowRect(parts.hwndList, &list);
    GetClientRect(parts.hwndList, &listClient);
    SendMessageA(control, CB_SHOWDROPDOWN, FALSE, 0);
    if (list.bottom > field.bottom) openHeight = list.bottom - field.top;
    const LONG fit = (listClient.bottom - listClient.top) / itemHeight;
    visibleItems = static_cast<int32_t>(fit < count ? fit : count);
  }
  player.driver->ControlPlaced(GetDlgCtrlID(control), placed.left, placed.top,
                               placed.right - placed.left, openHeight, visibleItems);
}

// Lists placed since the user last looked, measured once the dialog shows.
void ReportPlacements() {
  // Opening a list may move it again, which queues it anew.
  std::vector<HWND> placed;
  placed.swap(player.placed);
  for (HWND control : placed) {
    if (IsWindow(control)) ReportPlacement(control);
  }
}

void Perform(const win32::DialogAction& action) {
  HWND control = GetDlgItem(player.dialog, action.control);
  if (action.kind == win32::DialogAction::Kind::kPress) {
    if (control == nullptr || !IsButton(control) || !IsWindowEnabled(control)) {
      player.driver->ActionIgnored(action);
      return;
    }
    SendMessageA(control, BM_CLICK, 0, 0);
    return;
  }
  if (control == nullptr || !IsComboBox(control) || action.item < 0 ||
      action.item >= SendMessageA(control, CB_GETCOUNT, 0, 0)) {
    player.driver->ActionIgnored(action);
    return;
  }
  // A choice in the open list selects the item and tells the dialog so.
  SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(action.item), 0);
  SendMessageA(player.dialog, WM_COMMAND,
               MAKEWPARAM(static_cast<WORD>(action.control), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(control));
}

void CALLBACK NextAction(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  KillTimer(dialog, timer);
  if (player.driver == nullptr || dialog != player.dialog || player.closing) return;
  // A user acts on a dialog only once it shows.
  if (!IsWindowVisible(dialog)) {
    SetTimer(dialog, kActionTimer, kActionDelayMs, NextAction);
    return;
  }
  ReportPlacements();
  win32::DialogAction action;
  if (!player.driver->NextAction(action)) {
    // Nothing more to do: the user closes the window.
    player.closing = true;
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return;
  }
  Perform(action);
  // Unless that ended the dialog, the next action follows.
  if (dialog == player.dialog && IsWindow(dialog)) {
    SetTimer(dialog, kActionTimer, kActionDelayMs, NextAction);
  }
}

// Messages on their way to a window procedure.
LRESULT CALLBACK BeforeMessage(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && player.driver != nullptr) {
    if (message->message == WM_INITDIALOG && player.dialog == nullptr &&
        IsDialog(message->hwnd)) {
      player.dialog = message->hwnd;
      player.closing = false;
      player.placed.clear();
      player.driver->DialogOpened(TemplateId(message->hwnd), WindowText(message->hwnd).c_str());
    } else if (message->message == WM_DESTROY && message->hwnd == player.dialog) {
      player.dialog = nullptr;
      player.placed.clear();
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Messages a window procedure has handled, with its answer.
LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
  const auto* message = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && player.driver != nullptr) {
    if (message->message == WM_INITDIALOG && message->hwnd == player.dialog) {
      SetTimer(player.dialog, kActionTimer, kActionDelayMs, NextAction);
    } else if (IsPlayedControl(message->hwnd) && IsComboBox(message->hwnd)) {
      switch (message->message) {
        case CB_ADDSTRING:
          if (message->lResult >= 0) ReportItem(message->hwnd, message->lResult);
          break;
        case CB_SETCURSEL:
          player.driver->SelectionShown(
              GetDlgCtrlID(message->hwnd),
              static_cast<int32_t>(SendMessageA(message->hwnd, CB_GETCURSEL, 0, 0)));
          break;
        case WM_WINDOWPOSCHANGED:
          // Opening the list from inside its own move would re-enter it.
          if (std::find(player.placed.begin(), player.placed.end(), message->hwnd) ==
              player.placed.end())
            player.placed.push_back(message->hwnd);
          break;
        default:
          break;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

void PlayDialogDriver(win32::DialogDriver* driver) {
  player.driver = driver;
  if (driver != nullptr && player.beforeHook == nullptr) {
    const DWORD thread = GetCurrentThreadId();
    player.beforeHook = SetWindowsHookExA(WH_CALLWNDPROC, BeforeMessage, nullptr, thread);
    player.afterHook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, nullptr, thread);
  } else if (driver == nullptr && player.beforeHook != nullptr) {
    UnhookWindowsHookEx(player.beforeHook);
    UnhookWindowsHookEx(player.afterHook);
    player = Player{};
  }
}

}  // namespace refhost

#endif  // _WIN32
