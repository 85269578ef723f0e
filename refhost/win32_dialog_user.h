// The user in front of the real dialogs that the current thread opens, for
// the reference host on Windows: plays a DialogDriver's actions on the
// dialog's controls and tells the driver what the dialog shows, read back
// from the controls themselves.
//
// What the driver hears: DialogOpened (the template found by the dialog's
// caption among its module's templates, 0 when none matches), ItemAdded,
// SelectionShown, ControlPlaced (pixels in the dialog's client area; for a
// drop-down list its height when open and the items that then show) and
// ActionIgnored. The system tells a dialog's onlooker neither the cursor it
// sets nor the result EndDialog is given, so CursorShown and DialogEnded are
// never called: the result is what DialogBoxParamA returns to its caller.
#pragma once

#if defined(_WIN32)

#include "win32/dialog_driver.h"

namespace refhost {

// Makes `driver` the user of the dialogs this thread opens from now on; null
// leaves them to whoever sits at the screen.
void PlayDialogDriver(win32::DialogDriver* driver);

}  // namespace refhost

#endif  // _WIN32
