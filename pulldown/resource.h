// Resource ids of the plug-in: the 3:2 phase dialog and its controls.
// Read by the resource compiler as well as by C++, so only #define lines.
#ifndef CORVALIS_PULLDOWN_RESOURCE_H
#define CORVALIS_PULLDOWN_RESOURCE_H

#define IDD_PHASE_DIALOG 102

#define IDC_DETECT_INPUT 1002
#define IDC_MANUAL_INPUT 1003
#define IDC_DETECT_OUTPUT 1004
#define IDC_INPUT_PHASE 1005
#define IDC_OUTPUT_PHASE 1006
#define IDC_MANUAL_OUTPUT 1007

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
