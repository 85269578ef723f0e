// The 3:2 phase dialog, run by a scripted user through the dialog stand-in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/corvalis.h"
#include "pulldown/resource.h"
#include "pulldown_clips.h"
#include "refhost/phase_dialog_driver.h"
#include "test_clips.h"

namespace {

using pulldownclips::PulldownClip;
using refhost::ScopedDialogDriver;
using refhost::ScriptedDialogDriver;

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 32;
constexpr int32_t kFrames = 20;

class PhaseDialog : public testing::Test {
 protected:
  PhaseDialog() : host_(plugin_, testclips::Settings(kWidth, kHeight, kFrames)) {
    host_.SetInput(1, PulldownClip(kWidth, kHeight, kFrames, 3, kAvxFieldOdd));
    host_.SetInput(0, PulldownClip(kWidth, kHeight, kFrames, 0, kAvxFieldOdd));
    host_.SetPosition(10, kAvxFieldOdd, 1);
  }

  Corvalis& Instance() { return static_cast<Corvalis&>(host_.Instance()); }

  // Opens the dialog through the host's virtual slot, as the host does.
  bool Run(ScriptedDialogDriver& user) {
    ScopedDialogDriver installed(user);
    return host_.OpenEffectDialog();
  }

  refhost::Plugin plugin_;
  refhost::EffectHost host_;
};

TEST_F(PhaseDialog, ShowsBothListsFittedWithTheInstancesCodes) {
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
  // Closed height 21 plus 13 a line for the six items and one more: all show.
  for (int32_t list : {IDC_INPUT_PHASE, IDC_OUTPUT_PHASE}) {
    const refhost::ControlPlacement& placed = record.placements.at(list);
    EXPECT_EQ(placed.x, 36);  // 24 dialog units
    EXPECT_EQ(placed.width, 156);
    EXPECT_EQ(placed.height, 21 + 13 * 7);
    EXPECT_EQ(placed.visibleItems, 6);
  }
  EXPECT_EQ(record.placements.at(IDC_INPUT_PHASE).y, 29);
  EXPECT_EQ(record.placements.at(IDC_OUTPUT_PHASE).y, 143);
  EXPECT_TRUE(record.cursors.empty());
  EXPECT_TRUE(record.ended);
  EXPECT_EQ(record.result, 0);
}

TEST_F(PhaseDialog, DetectShowsTheResultButCancelRestores) {
  Instance().inputPhase = 2;
  Instance().outputPhase = 5;
  Instance().pendingMessages.clear();
  ScriptedDialogDriver user({"detect-input", "detect-below", "cancel"});
  EXPECT_FALSE(Run(user));
  const refhost::PhaseDialogRecord& record = user.Record();
  EXPECT_EQ(record.SelectedItem(IDC_INPUT_PHASE), "C");   // phase 3
  EXPECT_EQ(record.SelectedItem(IDC_OUTPUT_PHASE), "X");  // phase 0
  const std::vector<std::string> cursors = {"wait", "arrow", "wait", "arrow"};
  EXPECT_EQ(record.cursors, cursors);
  EXPECT_EQ(Instance().inputPhase, 2);
  EXPECT_EQ(Instance().outputPhase, 5);
  EXPECT_FALSE(host_.HasInstanceData());
  // Both runs left their commentary for the next render.
  ASSERT_EQ(Instance().pendingMessages.size(), 22u);
  EXPECT_EQ(Instance().pendingMessages[0], "Dominant Field: Odd   Non-Dominant Field: Even\n");
}

TEST_F(PhaseDialog, DetectThenOkStoresTheDetectedCodes) {
  ScriptedDialogDriver user({"detect-input", "detect-below", "ok"});
  EXPECT_TRUE(Run(user));
  EXPECT_EQ(Instance().inputPhase, 4);
  EXPECT_EQ(Instance().outputPhase, 1);
  const std::vector<uint8_t> stored = {'4', ',', '1', 0};
  EXPECT_EQ(host_.InstanceDataBlock(), stored);
  EXPECT_EQ(user.Record().result, 1);
}

TEST_F(PhaseDialog, OkStoresTheSelectedItemsAsText) {
  ScriptedDialogDriver user({"select-input=5", "select-below=4", "ok"});
  EXPECT_TRUE(Run(user));
  EXPECT_EQ(user.Record().SelectedItem(IDC_INPUT_PHASE), "A");
  EXPECT_EQ(user.Record().SelectedItem(IDC_OUTPUT_PHASE), "C");
  const std::vector<uint8_t> stored = {'5', ',', '4', 0};
  EXPECT_EQ(host_.InstanceDataBlock(), stored);
  EXPECT_EQ(Instance().inputPhase, 5);
  EXPECT_EQ(Instance().outputPhase, 4);
}

TEST_F(PhaseDialog, ManualSelectsTheCurrentFieldAsTheThird) {
  // Frame 7, non-dominant field: field index 15, phase 0, item 1 "X".
  host_.SetPosition(7, kAvxFieldEven, 1);
  Instance().inputPhase = 3;
  {
    ScriptedDialogDriver user({"manual-input", "cancel"});
    EXPECT_FALSE(Run(user));
    EXPECT_EQ(user.Record().SelectedItem(IDC_INPUT_PHASE), "X");
    EXPECT_EQ(Instance().inputPhase, 3);  // nothing changes before OK
  }
  // Frame 7, dominant field: field index 14, phase 4, item 5 "A".
  host_.SetPosition(7, kAvxFieldOdd, 1);
  ScriptedDialogDriver user({"manual-below", "manual-input", "ok"});
  EXPECT_TRUE(Run(user));
  EXPECT_EQ(Instance().inputPhase, 5);
  EXPECT_EQ(Instance().outputPhase, 5);
}

TEST_F(PhaseDialog, CurrentFieldPhaseCountsFieldsOrFrames) {
  Corvalis& instance = Instance();
  host_.SetPosition(7, kAvxFieldEven, 1);
  EXPECT_EQ(instance.CurrentFieldPhase(), 0);  // 15 mod 5
  host_.SetPosition(8, kAvxFieldOdd, 1);
  EXPECT_EQ(instance.CurrentFieldPhase(), 1);  // 16 mod 5
  // A whole-frame request takes its field from the last render.
  host_.SetPosition(8, kAvxFieldBoth, 0);
  instance.renderField = kAvxFieldEven;
  EXPECT_EQ(instance.CurrentFieldPhase(), 2);  // 17 mod 5
  instance.frameBased = true;
  EXPECT_EQ(instance.CurrentFieldPhase(), 3);  // frame 8
}

TEST_F(PhaseDialog, SelectionNotificationsAndBadPressesChangeNothing) {
  Instance().inputPhase = 1;
  ScriptedDialogDriver user({"select-input=9", "select-input=2"});
  EXPECT_FALSE(Run(user));  // the presses run out: the window is closed
  const refhost::PhaseDialogRecord& record = user.Record();
  EXPECT_EQ(record.ignored, std::vector<std::string>{"select-input=9"});
  EXPECT_EQ(record.SelectedItem(IDC_INPUT_PHASE), "D");
  EXPECT_EQ(record.result, 0);
  EXPECT_EQ(Instance().inputPhase, 1);
  EXPECT_FALSE(host_.HasInstanceData());

  EXPECT_THROW(ScriptedDialogDriver({"ok", "press-everything"}), std::invalid_argument);
  EXPECT_THROW(ScriptedDialogDriver({"select-below="}), std::invalid_argument);
  EXPECT_THROW(ScriptedDialogDriver({"select-below=x1"}), std::invalid_argument);
}

TEST_F(PhaseDialog, WithoutAUserTheDialogFailsAndPhasesStay) {
  Instance().inputPhase = 4;
  Instance().outputPhase = 2;
  // A dialog that could not open (-1) answers non-zero; the phases stay as
  // after Cancel.
  EXPECT_TRUE(host_.OpenEffectDialog());
  EXPECT_EQ(Instance().inputPhase, 4);
  EXPECT_EQ(Instance().outputPhase, 2);
  EXPECT_FALSE(host_.HasInstanceData());
}

}  // namespace
