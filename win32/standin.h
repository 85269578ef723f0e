// The stand-in for the Win32 dialog services on systems without them: the
// types, messages and calls of a modal dialog with drop-down lists and push
// buttons, and nothing more.
//
// Geometry is in pixels, with the dialog's client area at the screen origin.
// Dialog units convert with base units of 6 x 13 pixels (the usual metric of
// 8-point "MS Sans Serif"). A drop-down list's window is its closed selection
// field; the height given to it with SetWindowPos is its height when open.
// Calls on a handle that is not a live window fail as Win32 does: FALSE, 0 or
// null, and nothing happens.
#pragma once

#include <cstdint>

namespace win32 {
struct Window;
struct Module;
struct Cursor;
}  // namespace win32

using BOOL = int;
using UINT = uint32_t;
using WORD = uint16_t;
using LONG = int32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using INT_PTR = intptr_t;
using LPCSTR = const char*;
using LPSTR = char*;
using HWND = win32::Window*;
using HINSTANCE = win32::Module*;
using HCURSOR = win32::Cursor*;

#define CALLBACK
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct RECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};

// A resource named by number rather than by text.
inline LPSTR MAKEINTRESOURCEA(WORD id) {
  return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(id));
}

constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;

constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMHEIGHT = 0x0154;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_SHOWWINDOW = 0x0040;

#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_WAIT MAKEINTRESOURCEA(32514)

// Runs the dialog to its end and returns what EndDialog was given, or -1 when
// the template is not among the module's resources or no driver is present.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC procedure,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
// Only the system's cursors (a null instance) exist here.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
