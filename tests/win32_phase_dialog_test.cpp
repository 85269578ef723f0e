// The 3:2 phase dialog on the real Win32 dialog services, run by a scripted
// user at the dialog's controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/corvalis.h"
#include "pulldown/resource.h"
#include "pulldown_clips.h"
#include "refhost/phase_dialog_driver.h"
#include "test_clips.h"
#include "win32/win32_api.h"
#include "win32_import_patch.h"

namespace {

using pulldownclips::PulldownClip;
using refhost::ScopedDialogDriver;
using refhost::ScriptedDialogDriver;

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 32;
constexpr int32_t kFrames = 20;

// A host whose user interface hands out a parent that is no window.
class BrokenParentHost : public refhost::EffectHost {
 public:
  using EffectHost::EffectHost;
  void PlatformUIInfo(avxInstance_v1& instance, avxPlatformUIInfo* info) override {
    EffectHost::PlatformUIInfo(instance, info);
    info->parentWindow = 0x7FFF0FF0;
  }
};

class Win32PhaseDialog : public testing::Test {
 protected:
  Win32PhaseDialog() : host_(plugin_, testclips::Settings(kWidth, kHeight, kFrames)) {
    host_.SetInput(1, PulldownClip(kWidth, kHeight, kFrames, 3, kAvxFieldOdd));
    host_.SetInput(0, PulldownClip(kWidth, kHeight, kFrames, 0, kAvxFieldOdd));
    host_.SetPosition(10, kAvxFieldOdd, 1);
  }

  Corvalis& Instance() { return static_cast<Corvalis&>(host_.Instance()); }

  bool Run(ScriptedDialogDriver& user) {
    ScopedDialogDriver installed(user);
    return host_.OpenEffectDialog();
  }

  refhost::Plugin plugin_;
  refhost::EffectHost host_;
};

TEST_F(Win32PhaseDialog, ShowsBothListsFittedWithTheInstancesCodes) {
  Instance().inputPhase = 3;
  Instance().outputPhase = 0;
  ScriptedDialogDriver user({"cancel"});
  EXPECT_FALSE(Run(user));
  const refhost::PhaseDialogRecord& record = user.Record();
  ASSERT_TRUE(record.opened);
  EXPECT_EQ(record.templateId, 102);
  EXPECT_EQ(record.caption, "Corvalis: 3:2 Phase");
  const std::vector<std::string> inputItems = {
      "Unknown - using Interlaced", "X", "D", "B", "C", "A"};
  const std::vector<std::string> outputItems = {"Unknown - using X", "X", "D", "B", "C", "A"};
  EXPECT_EQ(record.items.at(IDC_INPUT_PHASE), inputItems);
  EXPECT_EQ(record.items.at(IDC_OUTPUT_PHASE), outputItems);
  EXPECT_EQ(record.SelectedItem(IDC_INPUT_PHASE), "B");
  EXPECT_EQ(record.SelectedItem(IDC_OUTPUT_PHASE), "Unknown - using X");
  // Left where the template put them, and open tall enough for every item
  // (the template's own height shows only a couple).
  const refhost::ControlPlacement& input = record.placements.at(IDC_INPUT_PHASE);
  const refhost::ControlPlacement& output = record.placements.at(IDC_OUTPUT_PHASE);
  EXPECT_EQ(input.visibleItems, 6);
  EXPECT_EQ(output.visibleItems, 6);
  EXPECT_EQ(input.x, output.x);
  EXPECT_EQ(input.width, output.width);
  EXPECT_GT(input.x, 0);
  EXPECT_LT(input.y, output.y);
  EXPECT_TRUE(record.ignored.empty());
}

TEST_F(Win32PhaseDialog, DetectShowsTheResultButCancelRestores) {
  Instance().inputPhase = 2;
  Instance().outputPhase = 5;
  Instance().pendingMessages.clear();
  SetCursor(LoadCursorA(nullptr, IDC_CROSS));
  ScriptedDialogDriver user({"detect-input", "detect-below", "cancel"});
  EXPECT_FALSE(Run(user));
  const refhost::PhaseDialogRecord& record = user.Record();
  EXPECT_EQ(record.SelectedItem(IDC_INPUT_PHASE), "C");   // phase 3
  EXPECT_EQ(record.SelectedItem(IDC_OUTPUT_PHASE), "X");  // phase 0
  // The wait cursor of a detection gives way to the arrow.
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
  EXPECT_EQ(Instance().inputPhase, 2);
  EXPECT_EQ(Instance().outputPhase, 5);
  EXPECT_FALSE(host_.HasInstanceData());
  ASSERT_EQ(Instance().pendingMessages.size(), 22u);
}

TEST_F(Win32PhaseDialog, DetectThenOkStoresTheDetectedCodes) {
  ScriptedDialogDriver user({"detect-input", "detect-below", "ok"});
  EXPECT_TRUE(Run(user));
  EXPECT_EQ(Instance().inputPhase, 4);
  EXPECT_EQ(Instance().outputPhase, 1);
  const std::vector<uint8_t> stored = {'4', ',', '1', 0};
  EXPECT_EQ(host_.InstanceDataBlock(), stored);
}

TEST_F(Win32PhaseDialog, OkStoresTheSelectedItemsAsText) {
  ScriptedDialogDriver user({"select-input=5", "select-below=4", "ok"});
  EXPECT_TRUE(Run(user));
  EXPECT_EQ(user.Record().SelectedItem(IDC_INPUT_PHASE), "A");
  EXPECT_EQ(user.Record().SelectedItem(IDC_OUTPUT_PHASE), "C");
  const std::vector<uint8_t> stored = {'5', ',', '4', 0};
  EXPECT_EQ(host_.InstanceDataBlock(), stored);
}

TEST_F(Win32PhaseDialog, ManualSelectsTheCurrentFieldAsTheThird) {
  // Frame 7, non-dominant field: field index 15, phase 0, item 1 "X".
  host_.SetPosition(7, kAvxFieldEven, 1);
  Instance().inputPhase = 3;
  {
    ScriptedDialogDriver user({"manual-input", "cancel"});
    EXPECT_FALSE(Run(user));
    EXPECT_EQ(user.Record().SelectedItem(IDC_INPUT_PHASE), "X");
    EXPECT_EQ(Instance().inputPhase, 3);
  }
  // Frame 7, dominant field: field index 14, phase 4, item 5 "A".
  host_.SetPosition(7, kAvxFieldOdd, 1);
  ScriptedDialogDriver user({"manual-below", "manual-input", "ok"});
  EXPECT_TRUE(Run(user));
  EXPECT_EQ(Instance().inputPhase, 5);
  EXPECT_EQ(Instance().outputPhase, 5);
}

TEST_F(Win32PhaseDialog, SelectionNotificationsAndBadChoicesChangeNothing) {
  Instance().inputPhase = 1;
  ScriptedDialogDriver user({"select-input=9", "select-input=2"});
  EXPECT_FALSE(Run(user));  // the presses run out: the window is closed
  const refhost::PhaseDialogRecord& record = user.Record();
  EXPECT_EQ(record.ignored, std::vector<std::string>{"select-input=9"});
  EXPECT_EQ(record.SelectedItem(IDC_INPUT_PHASE), "D");
  EXPECT_EQ(Instance().inputPhase, 1);
  EXPECT_FALSE(host_.HasInstanceData());
}

// DialogBoxParamA's answer when it cannot create the dialog.
INT_PTR WINAPI DialogBoxThatFails(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }

TEST(Win32PhaseDialogFailure, ADialogThatCannotOpenKeepsThePhases) {
  refhost::Plugin plugin;
  BrokenParentHost host(plugin, testclips::Settings(kWidth, kHeight, kFrames));
  auto& instance = static_cast<Corvalis&>(host.Instance());
  instance.inputPhase = 4;
  instance.outputPhase = 2;
  ScriptedDialogDriver user({"select-input=1", "ok"});
  {
    ScopedDialogDriver installed(user);
    // A parent that is no window: the system answers 0, as after Cancel.
    EXPECT_FALSE(host.OpenEffectDialog());
    // A dialog the system cannot create answers -1, which the host hears as
    // non-zero.
    importpatch::ImportPatch failing(LoadLibraryA(CORVALIS_DEFAULT_PLUGIN), "user32.dll",
                                     "DialogBoxParamA",
                                     reinterpret_cast<void*>(&DialogBoxThatFails));
    ASSERT_TRUE(failing.Applied());
    EXPECT_TRUE(host.OpenEffectDialog());
  }
  EXPECT_FALSE(user.Record().opened);
  EXPECT_EQ(instance.inputPhase, 4);
  EXPECT_EQ(instance.outputPhase, 2);
  EXPECT_FALSE(host.HasInstanceData());
}

}  // namespace
