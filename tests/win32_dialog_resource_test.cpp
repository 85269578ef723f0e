// The phase dialog's template as the resource compiler put it into the
// plug-in DLL.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "pulldown/resource.h"
#include "refhost/win32_dialog_resource.h"

namespace {

constexpr uint16_t kButtonClass = 0x0080;
constexpr uint16_t kComboBoxClass = 0x0085;
constexpr uint32_t kButtonKindMask = 0x000F;
constexpr uint32_t kComboKindMask = 0x0003;

struct ExpectedControl {
  uint16_t classAtom;
  uint32_t kind;  // BS_* or CBS_* kind bits
  int32_t id;
  const char* text;
  int16_t x, y, width, height;
};

TEST(Win32DialogResource, PluginCarriesThePhaseDialogTemplate) {
  HMODULE plugin = LoadLibraryA(CORVALIS_DEFAULT_PLUGIN);
  ASSERT_NE(plugin, nullptr);
  refhost::DialogResource dialog;
  ASSERT_TRUE(refhost::ReadDialogResource(plugin, IDD_PHASE_DIALOG, dialog));
  EXPECT_EQ(refhost::DialogResourceIds(plugin), std::vector<int32_t>{102});

  EXPECT_EQ(dialog.caption, "Corvalis: 3:2 Phase");
  EXPECT_EQ(dialog.width, 151);
  EXPECT_EQ(dialog.height, 169);
  EXPECT_EQ(dialog.font, "MS Sans Serif");
  EXPECT_EQ(dialog.pointSize, 8);
  const uint32_t modalPopup = DS_MODALFRAME | WS_POPUP | WS_CAPTION;
  EXPECT_EQ(dialog.style & modalPopup, modalPopup);
  EXPECT_EQ(dialog.style & WS_CHILD, 0u);

  const int32_t none = IDC_STATIC;
  const ExpectedControl expected[] = {
      {kButtonClass, BS_GROUPBOX, none, "Input Phase", 7, 7, 137, 66},
      {kComboBoxClass, CBS_DROPDOWNLIST, 1005, "", 24, 18, 104, 30},
      {kButtonClass, BS_PUSHBUTTON, 1002, "Detect", 24, 35, 104, 14},
      {kButtonClass, BS_PUSHBUTTON, 1003, "Manual: Third Field", 24, 53, 104, 14},
      {kButtonClass, BS_GROUPBOX, none, "Output Phase", 7, 76, 137, 67},
      {kComboBoxClass, CBS_DROPDOWNLIST, 1006, "", 24, 88, 104, 30},
      {kButtonClass, BS_PUSHBUTTON, 1004, "Detect from Track Below", 24, 105, 104, 14},
      {kButtonClass, BS_PUSHBUTTON, 1007, "Manual: Third Field", 24, 123, 104, 14},
      {kButtonClass, BS_PUSHBUTTON, IDCANCEL, "Cancel", 63, 148, 39, 14},
      {kButtonClass, BS_DEFPUSHBUTTON, IDOK, "OK", 105, 148, 39, 14},
  };
  ASSERT_EQ(dialog.items.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const ExpectedControl& want = expected[i];
    const refhost::DialogItemResource& item = dialog.items[i];
    SCOPED_TRACE(testing::Message() << "control " << i << " \"" << want.text << "\"");
    EXPECT_EQ(item.classAtom, want.classAtom);
    EXPECT_EQ(item.id, want.id);
    EXPECT_EQ(item.text, want.text);
    EXPECT_EQ(item.x, want.x);
    EXPECT_EQ(item.y, want.y);
    EXPECT_EQ(item.width, want.width);
    EXPECT_EQ(item.height, want.height);
    EXPECT_NE(item.style & WS_CHILD, 0u);
    if (want.classAtom == kComboBoxClass) {
      EXPECT_EQ(item.style & kComboKindMask, want.kind);
      EXPECT_EQ(item.style & CBS_SORT, 0u);
      EXPECT_NE(item.style & WS_VSCROLL, 0u);
    } else {
      EXPECT_EQ(item.style & kButtonKindMask, want.kind);
    }
  }
}

}  // namespace
