// The phase dialog's template for the dialog stand-in, kept equal to
// pulldown/phase_dialog.rc (which Windows builds compile instead).
#if !defined(_WIN32)

#include "pulldown/resource.h"
#include "win32/dialog_template.h"
#include "win32/standin.h"

namespace {

using win32::ControlKind;

constexpr uint32_t kListStyle =
    win32::kStyleDropDownList | win32::kStyleVerticalScroll | win32::kStyleTabStop;
constexpr uint32_t kButtonStyle = win32::kStyleTabStop;

const win32::ControlTemplate kPhaseDialogControls[] = {
    {ControlKind::kGroupBox, IDC_STATIC, "Input Phase", 7, 7, 137, 66, 0},
    {ControlKind::kComboBox, IDC_INPUT_PHASE, "", 24, 18, 104, 30, kListStyle},
    {ControlKind::kPushButton, IDC_DETECT_INPUT, "Detect", 24, 35, 104, 14, kButtonStyle},
    {ControlKind::kPushButton, IDC_MANUAL_INPUT, "Manual: Third Field", 24, 53, 104, 14,
     kButtonStyle},
    {ControlKind::kGroupBox, IDC_STATIC, "Output Phase", 7, 76, 137, 67, 0},
    {ControlKind::kComboBox, IDC_OUTPUT_PHASE, "", 24, 88, 104, 30, kListStyle},
    {ControlKind::kPushButton, IDC_DETECT_OUTPUT, "Detect from Track Below", 24, 105, 104, 14,
     kButtonStyle},
    {ControlKind::kPushButton, IDC_MANUAL_OUTPUT, "Manual: Third Field", 24, 123, 104, 14,
     kButtonStyle},
    {ControlKind::kPushButton, IDCANCEL, "Cancel", 63, 148, 39, 14, kButtonStyle},
    {ControlKind::kDefPushButton, IDOK, "OK", 105, 148, 39, 14, kButtonStyle},
};

const win32::DialogTemplate kPhaseDialog = {
    IDD_PHASE_DIALOG,
    "Corvalis: 3:2 Phase",
    151,
    169,
    "MS Sans Serif",
    8,
    kPhaseDialogControls,
    static_cast<int32_t>(sizeof kPhaseDialogControls / sizeof kPhaseDialogControls[0]),
};

[[maybe_unused]] const bool kPhaseDialogRegistered = win32::RegisterDialogTemplate(kPhaseDialog);

}  // namespace

#endif  // !_WIN32
