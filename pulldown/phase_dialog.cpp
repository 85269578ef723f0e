// The 3:2 phase dialog and its procedure.
#include "pulldown/phase_dialog.h"

#include <cstdint>

#include "host/corvalis.h"
#include "host/module_state.h"
#include "pulldown/resource.h"

const char* const kInputPhaseItems[kPhaseItemCount] = {
    "Unknown - using Interlaced", "X", "D", "B", "C", "A"};
const char* const kOutputPhaseItems[kPhaseItemCount] = {
    "Unknown - using X", "X", "D", "B", "C", "A"};

namespace {

// The instance whose dialog is open; the dialog is modal and only one can be
// open in the process.
Corvalis* phaseDialogInstance = nullptr;

// The dialog result of OK.
constexpr INT_PTR kDialogAccepted = 1;
// Fields in one 3:2 pulldown cycle.
constexpr int32_t kCycleFields = 5;

void ShowSelection(HWND window, int controlId, int32_t code) {
  SendMessageA(GetDlgItem(window, controlId), CB_SETCURSEL, static_cast<WPARAM>(code), 0);
}

int32_t SelectedCode(HWND window, int controlId) {
  return static_cast<int32_t>(SendMessageA(GetDlgItem(window, controlId), CB_GETCURSEL, 0, 0));
}

void FillPhaseList(HWND window, int controlId, const char* const (&items)[kPhaseItemCount]) {
  HWND list = GetDlgItem(window, controlId);
  for (const char* item : items)
    SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
}

// The field the user is looking at repeats its predecessor: its phase is the
// code's phase, so the code is one more.
int32_t ManualCode(const Corvalis& instance) { return instance.CurrentFieldPhase() + 1; }

// Detection fetches and compares many fields, under the wait cursor; the list
// then shows the code it stored.
void Detect(HWND window, int listId, Corvalis& instance, bool (Corvalis::*detect)(),
            const int32_t& storedCode) {
  SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  (instance.*detect)();
  ShowSelection(window, listId, storedCode);
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

bool HandleCommand(Corvalis& instance, HWND window, WPARAM command) {
  switch (command) {
    case IDOK:
      instance.inputPhase = SelectedCode(window, IDC_INPUT_PHASE);
      instance.outputPhase = SelectedCode(window, IDC_OUTPUT_PHASE);
      EndDialog(window, kDialogAccepted);
      return true;
    case IDCANCEL:
      EndDialog(window, 0);
      return true;
    case IDC_DETECT_INPUT:
      Detect(window, IDC_INPUT_PHASE, instance, &Corvalis::DetectInputPhase, instance.inputPhase);
      return true;
    case IDC_MANUAL_INPUT:
      ShowSelection(window, IDC_INPUT_PHASE, ManualCode(instance));
      return true;
    case IDC_DETECT_OUTPUT:
      Detect(window, IDC_OUTPUT_PHASE, instance, &Corvalis::DetectOutputPhase,
             instance.outputPhase);
      return true;
    case IDC_MANUAL_OUTPUT:
      ShowSelection(window, IDC_OUTPUT_PHASE, ManualCode(instance));
      return true;
    case IDC_INPUT_PHASE:
    case IDC_OUTPUT_PHASE:
      return true;
    default:
      return false;
  }
}

// Clears the record of the open dialog however the dialog ends, and puts the
// phases back unless the dialog was accepted.
class OpenDialogRecord {
 public:
  explicit OpenDialogRecord(Corvalis& instance)
      : instance_(instance), input_(instance.inputPhase), output_(instance.outputPhase) {
    phaseDialogInstance = &instance;
  }
  ~OpenDialogRecord() {
    phaseDialogInstance = nullptr;
    if (!accepted_) {
      instance_.inputPhase = input_;
      instance_.outputPhase = output_;
    }
  }
  OpenDialogRecord(const OpenDialogRecord&) = delete;
  OpenDialogRecord& operator=(const OpenDialogRecord&) = delete;
  void Accept() { accepted_ = true; }

 private:
  Corvalis& instance_;
  const int32_t input_;
  const int32_t output_;
  bool accepted_ = false;
};

}  // namespace

INT_PTR CALLBACK PhaseDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  Corvalis* instance = phaseDialogInstance;
  if (instance == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      FillPhaseList(window, IDC_INPUT_PHASE, kInputPhaseItems);
      FillPhaseList(window, IDC_OUTPUT_PHASE, kOutputPhaseItems);
      FitComboDropDown(GetDlgItem(window, IDC_INPUT_PHASE));
      FitComboDropDown(GetDlgItem(window, IDC_OUTPUT_PHASE));
      ShowSelection(window, IDC_INPUT_PHASE, instance->inputPhase);
      ShowSelection(window, IDC_OUTPUT_PHASE, instance->outputPhase);
      return TRUE;
    case WM_COMMAND:
      // The whole wParam is the command: only clicks (notification code 0)
      // match a control id.
      return HandleCommand(*instance, window, wParam) ? TRUE : FALSE;
    default:
      return FALSE;
  }
}

void FitComboDropDown(HWND combo) {
  RECT rect;
  GetWindowRect(combo, &rect);
  const auto itemHeight = static_cast<int>(SendMessageA(combo, CB_GETITEMHEIGHT, 0, 0));
  const auto count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  // One item's height more than the items need leaves room for the closed
  // list's own field above them.
  SetWindowPos(combo, nullptr, 0, 0, rect.right - rect.left,
               rect.bottom - rect.top + itemHeight * (count + 1),
               SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

bool Corvalis::OpenPhaseDialog(int32_t) {
  avxPlatformUIInfo info;
  GetPlatformUIInfo(&info);
  HWND parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(info.parentWindow));
  OpenDialogRecord record(*this);
  const INT_PTR result =
      DialogBoxParamA(static_cast<HINSTANCE>(moduleHandle), MAKEINTRESOURCEA(IDD_PHASE_DIALOG),
                      parent, PhaseDialogProc, 0);
  if (result == kDialogAccepted) {
    record.Accept();
    SavePhases();
    return true;
  }
  // Cancel, or a dialog that could not open: detections made meanwhile are
  // undone when the record goes. The host hears whether the dialog box
  // answered non-zero, which a box that could not be created (-1) does:
  // false only after Cancel.
  return result != 0;
}

int32_t Corvalis::CurrentFieldPhase() const {
  int32_t fieldIndex = GetCurrentFrame();
  if (!frameBased) {
    fieldIndex *= 2;
    int32_t field = GetField();
    if (field == kAvxFieldBoth) field = renderField;
    if (field != GetFieldDominance()) fieldIndex += 1;
  }
  return fieldIndex % kCycleFields;
}
