// The phase dialog's template as the plug-in carries it: on Windows as the
// resource compiler put it into the DLL, elsewhere as the dialog stand-in's
// table. Both are held to the one list below, so the two stay equal.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "pulldown/resource.h"
#if defined(_WIN32)
#include "refhost/win32_dialog_resource.h"
#else
#include "win32/dialog_template.h"
#endif

namespace {

// Control styles, as the system numbers them.
constexpr uint32_t kDropDownList = 0x0003;
constexpr uint32_t kSort = 0x0100;
constexpr uint32_t kTabStop = 0x00010000;
constexpr uint32_t kVerticalScroll = 0x00200000;

// A control in one line, the same form for both.
std::string Line(const std::string& kind, int32_t id, const std::string& text, int32_t x,
                 int32_t y, int32_t width, int32_t height, uint32_t style) {
  std::ostringstream line;
  line << kind << " " << id << " \"" << text << "\" " << x << "," << y << "," << width << ","
       << height << " style 0x" << std::hex << style;
  return line.str();
}

TEST(PhaseDialogResource, ThePluginCarriesTheDialogsTemplate) {
  // Buttons are tab stops; the lists drop down, unsorted, and scroll.
  const uint32_t list = kDropDownList | kVerticalScroll | kTabStop;
  // clang-format off
  const std::vector<std::string> expected = {
      "DIALOGEX 102 \"Corvalis: 3:2 Phase\" 151x169 font 8 \"MS Sans Serif\"",
      Line("GROUPBOX", IDC_STATIC, "Input Phase", 7, 7, 137, 66, 0),
      Line("COMBOBOX", 1005, "", 24, 18, 104, 30, list),
      Line("PUSHBUTTON", 1002, "Detect", 24, 35, 104, 14, kTabStop),
      Line("PUSHBUTTON", 1003, "Manual: Third Field", 24, 53, 104, 14, kTabStop),
      Line("GROUPBOX", IDC_STATIC, "Output Phase", 7, 76, 137, 67, 0),
      Line("COMBOBOX", 1006, "", 24, 88, 104, 30, list),
      Line("PUSHBUTTON", 1004, "Detect from Track Below", 24, 105, 104, 14, kTabStop),
      Line("PUSHBUTTON", 1007, "Manual: Third Field", 24, 123, 104, 14, kTabStop),
      Line("PUSHBUTTON", 2, "Cancel", 63, 148, 39, 14, kTabStop),
      Line("DEFPUSHBUTTON", 1, "OK", 105, 148, 39, 14, kTabStop),
  };
  // clang-format on
  std::vector<std::string> carried;
  std::ostringstream header;
#if defined(_WIN32)
  HMODULE plugin = LoadLibraryA(CORVALIS_DEFAULT_PLUGIN);
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(refhost::DialogResourceIds(plugin), std::vector<int32_t>{IDD_PHASE_DIALOG});
  refhost::DialogResource dialog;
  ASSERT_TRUE(refhost::ReadDialogResource(plugin, IDD_PHASE_DIALOG, dialog));
  const uint32_t modalPopup = DS_MODALFRAME | WS_POPUP | WS_CAPTION;
  EXPECT_EQ(dialog.style & (modalPopup | WS_CHILD), modalPopup);
  header << "DIALOGEX " << IDD_PHASE_DIALOG << " \"" << dialog.caption << "\" " << dialog.width
         << "x" << dialog.height << " font " << dialog.pointSize << " \"" << dialog.font << "\"";
  carried.push_back(header.str());
  for (const refhost::DialogItemResource& item : dialog.items) {
    EXPECT_NE(item.style & WS_CHILD, 0u) << item.text;
    const bool combo = item.classAtom == 0x0085;
    const uint32_t buttonKind = item.style & 0x000F;
    const char* kind = combo                           ? "COMBOBOX"
                       : buttonKind == BS_GROUPBOX      ? "GROUPBOX"
                       : buttonKind == BS_DEFPUSHBUTTON ? "DEFPUSHBUTTON"
                       : buttonKind == BS_PUSHBUTTON    ? "PUSHBUTTON"
                                                        : "?";
    if (!combo) {
      EXPECT_EQ(item.classAtom, 0x0080) << item.text << " is a button";
    }
    const uint32_t shown = kTabStop | kVerticalScroll | (combo ? kDropDownList | kSort : 0);
    carried.push_back(Line(kind, item.id, item.text, item.x, item.y, item.width, item.height,
                           item.style & shown));
  }
#else
  const win32::DialogTemplate* dialog = win32::FindDialogTemplate(IDD_PHASE_DIALOG);
  ASSERT_NE(dialog, nullptr);
  header << "DIALOGEX " << dialog->id << " \"" << dialog->caption << "\" " << dialog->width << "x"
         << dialog->height << " font " << dialog->pointSize << " \"" << dialog->font << "\"";
  carried.push_back(header.str());
  const char* const kinds[] = {"GROUPBOX", "COMBOBOX", "PUSHBUTTON", "DEFPUSHBUTTON"};
  for (int32_t i = 0; i < dialog->controlCount; ++i) {
    const win32::ControlTemplate& control = dialog->controls[i];
    carried.push_back(Line(kinds[static_cast<int>(control.kind)], control.id, control.text,
                           control.x, control.y, control.width, control.height, control.style));
  }
#endif
  EXPECT_EQ(carried, expected);
}

}  // namespace
