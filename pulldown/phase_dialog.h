// The 3:2 phase dialog: the user detects, declares or picks the pulldown
// phase of the clip and of the track below.
//
// Corvalis::OpenPhaseDialog runs it modally; the phases it changes are kept
// only when it closes with OK. The dialog procedure reaches the instance
// through the record of the one dialog open in the process.
#pragma once

#include "win32/win32_api.h"

// Texts of the list items, indexed by phase code (0 undetermined, 1 to 5).
constexpr int kPhaseItemCount = 6;
extern const char* const kInputPhaseItems[kPhaseItemCount];
extern const char* const kOutputPhaseItems[kPhaseItemCount];

INT_PTR CALLBACK PhaseDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Makes a drop-down list tall enough to show all its items when open.
void FitComboDropDown(HWND combo);
