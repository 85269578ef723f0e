// The 3:2 phase dialog, run by a scripted user: on the dialog stand-in, and
// on Windows on the system's own dialog services.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/corvalis.h"
#include "pulldown/resource.h"
#include "pulldown_clips.h"
#include "refhost/phase_dialog_driver.h"
#include "test_clips.h"
#if defined(_WIN32)
#include "win32/win32_api.h"
#include "win32_import_patch.h"
#endif

namespace {

using pulldownclips::PulldownClip;
using refhost::ScopedDialogDriver;
using refhost::ScriptedDialogDriver;

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 32;
constexpr int32_t kFrames = 20;

// An effect on input phase 3 over, on the track below, phase 0: detection
// finds codes 4 ("C") and 1 ("X").
struct DialogRig {
  explicit DialogRig(int32_t frame = 10, avxField field = kAvxFieldOdd)
      : host(plugin, testclips::Settings(kWidth, kHeight, kFrames)),
        instance(static_cast<Corvalis&>(host.Instance())) {
    host.SetInput(1, PulldownClip(kWidth, kHeight, kFrames, 3, kAvxFieldOdd));
    host.SetInput(0, PulldownClip(kWidth, kHeight, kFrames, 0, kAvxFieldOdd));
    host.SetPosition(frame, field, 1);
  }

  // Opens the dialog through the host's virtual slot, as the host does.
  bool Run(ScriptedDialogDriver& user) {
    ScopedDialogDriver installed(user);
    return host.OpenEffectDialog();
  }

  refhost::Plugin plugin;
  refhost::EffectHost host;
  Corvalis& instance;
};

TEST(PhaseDialog, ShowsBothListsFittedWithTheInstancesCodes) {
  DialogRig rig;
  rig.instance.inputPhase = 3;
  rig.instance.outputPhase = 0;
  ScriptedDialogDriver user({"cancel"});
  EXPECT_FALSE(rig.Run(user));
  const refhost::PhaseDialogRecord& record = user.Record();
  ASSERT_TRUE(record.opened);
  EXPECT_EQ(record.templateId, 102);
  EXPECT_EQ(record.caption, "Corvalis: 3:2 Phase");
  using Items = std::vector<std::string>;
  EXPECT_EQ(record.items.at(IDC_INPUT_PHASE),
            (Items{"Unknown - using Interlaced", "X", "D", "B", "C", "A"}));
  EXPECT_EQ(record.items.at(IDC_OUTPUT_PHASE), (Items{"Unknown - using X", "X", "D", "B", "C", "A"}));
  EXPECT_EQ(record.SelectedItem(IDC_INPUT_PHASE), "B");
  EXPECT_EQ(record.SelectedItem(IDC_OUTPUT_PHASE), "Unknown - using X");
  // Each list opens tall enough for all its items (the template's own height
  // shows only a couple).
  const refhost::ControlPlacement& input = record.placements.at(IDC_INPUT_PHASE);
  const refhost::ControlPlacement& output = record.placements.at(IDC_OUTPUT_PHASE);
  for (auto* placed : {&input, &output}) EXPECT_EQ(placed->visibleItems, 6);
#if defined(_WIN32)
  // The system's pixels depend on its font: where the template put them.
  EXPECT_EQ(input.x, output.x);
  EXPECT_EQ(input.width, output.width);
  EXPECT_GT(input.x, 0);
  EXPECT_LT(input.y, output.y);
#else
  // Closed height 21 plus 13 a line for the six items and one more.
  for (const refhost::ControlPlacement* placed : {&input, &output}) {
    EXPECT_EQ(placed->x, 36);  // 24 dialog units
    EXPECT_EQ(placed->width, 156);
    EXPECT_EQ(placed->height, 21 + 13 * 7);
  }
  EXPECT_EQ(input.y, 29);
  EXPECT_EQ(output.y, 143);
  EXPECT_TRUE(record.ended);
  EXPECT_EQ(record.result, 0);
#endif
}

// Every script starts with the phases 2 and 5; only OK changes them and
// stores them as text.
TEST(PhaseDialog, ScriptedPressesSetThePhasesOnlyOnOk) {
  struct Case {
    const char* what;
    int32_t frame;
    avxField field;
    std::vector<std::string> presses;
    const char* inputShown;
    const char* outputShown;
    int32_t input, output;  // after an OK
    int detections;
    std::vector<std::string> ignored;
  };
  // clang-format off
  const Case cases[] = {
      {"detections shown, then cancelled", 10, kAvxFieldOdd, {"detect-input", "detect-below", "cancel"}, "C", "X", 0, 0, 2, {}},
      {"detections kept by OK", 10, kAvxFieldOdd, {"detect-input", "detect-below", "ok"}, "C", "X", 4, 1, 2, {}},
      {"chosen items kept by OK", 10, kAvxFieldOdd, {"select-input=5", "select-below=4", "ok"}, "A", "C", 5, 4, 0, {}},
      // Field index 15 is phase 0, code 1; then index 14, phase 4, code 5.
      {"manual on a second field, cancelled", 7, kAvxFieldEven, {"manual-input", "cancel"}, "X", "A", 0, 0, 0, {}},
      {"manual on a first field, OK", 7, kAvxFieldOdd, {"manual-below", "manual-input", "ok"}, "A", "A", 5, 5, 0, {}},
      // The presses run out: the window is closed.
      {"no such item, then a choice", 10, kAvxFieldOdd, {"select-input=9", "select-input=3"}, "B", "A", 0, 0, 0, {"select-input=9"}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DialogRig rig(c.frame, c.field);
    Corvalis& instance = rig.instance;
    instance.inputPhase = 2;
    instance.outputPhase = 5;
    instance.pendingMessages.clear();
#if defined(_WIN32)
    SetCursor(LoadCursorA(nullptr, IDC_CROSS));
#endif
    ScriptedDialogDriver user(c.presses);
    const bool accepted = c.presses.back() == "ok";
    EXPECT_EQ(rig.Run(user), accepted);
    const refhost::PhaseDialogRecord& record = user.Record();
    EXPECT_EQ(record.SelectedItem(IDC_INPUT_PHASE), c.inputShown);
    EXPECT_EQ(record.SelectedItem(IDC_OUTPUT_PHASE), c.outputShown);
    EXPECT_EQ(record.ignored, c.ignored);
    EXPECT_EQ(instance.inputPhase, accepted ? c.input : 2);
    EXPECT_EQ(instance.outputPhase, accepted ? c.output : 5);
    const std::vector<uint8_t> stored = {static_cast<uint8_t>('0' + c.input), ',',
                                         static_cast<uint8_t>('0' + c.output), 0};
    EXPECT_EQ(rig.host.HasInstanceData() ? rig.host.InstanceDataBlock() : std::vector<uint8_t>{},
              accepted ? stored : std::vector<uint8_t>{});
    // Each detection leaves its commentary for the next render, and shows
    // the wait cursor while it runs.
    EXPECT_EQ(instance.pendingMessages.size(), 11u * c.detections);
    if (c.detections > 0) {
      EXPECT_EQ(instance.pendingMessages[0], "Dominant Field: Odd   Non-Dominant Field: Even\n");
    }
#if defined(_WIN32)
    if (c.detections > 0) {
      EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));
    }
#else
    std::vector<std::string> cursors;
    for (int i = 0; i < c.detections; ++i) cursors.insert(cursors.end(), {"wait", "arrow"});
    EXPECT_EQ(record.cursors, cursors);
    EXPECT_EQ(record.result, accepted ? 1 : 0);
#endif
  }
}

TEST(PhaseDialog, CurrentFieldPhaseCountsFieldsOrFrames) {
  DialogRig rig(7, kAvxFieldEven);
  EXPECT_EQ(rig.instance.CurrentFieldPhase(), 0);  // 15 mod 5
  rig.host.SetPosition(8, kAvxFieldOdd, 1);
  EXPECT_EQ(rig.instance.CurrentFieldPhase(), 1);  // 16 mod 5
  // A whole-frame request takes its field from the last render.
  rig.host.SetPosition(8, kAvxFieldBoth, 0);
  rig.instance.renderField = kAvxFieldEven;
  EXPECT_EQ(rig.instance.CurrentFieldPhase(), 2);  // 17 mod 5
  rig.instance.frameBased = true;
  EXPECT_EQ(rig.instance.CurrentFieldPhase(), 3);  // frame 8

  EXPECT_THROW(ScriptedDialogDriver({"ok", "press-everything"}), std::invalid_argument);
  EXPECT_THROW(ScriptedDialogDriver({"select-below="}), std::invalid_argument);
  EXPECT_THROW(ScriptedDialogDriver({"select-below=x1"}), std::invalid_argument);
}

#if defined(_WIN32)
// DialogBoxParamA's answer when it cannot create the dialog.
INT_PTR WINAPI DialogBoxThatFails(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) { return -1; }

// A host whose user interface hands out a parent that is no window.
class BrokenParentHost : public refhost::EffectHost {
 public:
  using EffectHost::EffectHost;
  void PlatformUIInfo(avxInstance_v1& instance, avxPlatformUIInfo* info) override {
    EffectHost::PlatformUIInfo(instance, info);
    info->parentWindow = 0x7FFF0FF0;
  }
};

TEST(PhaseDialog, TheHostsParentWindowIsTheDialogsOwner) {
  refhost::Plugin plugin;
  BrokenParentHost host(plugin, testclips::Settings(kWidth, kHeight, kFrames));
  auto& instance = static_cast<Corvalis&>(host.Instance());
  instance.inputPhase = 4;
  ScriptedDialogDriver user({"select-input=1", "ok"});
  ScopedDialogDriver installed(user);
  // The system answers 0, as after Cancel.
  EXPECT_FALSE(host.OpenEffectDialog());
  EXPECT_FALSE(user.Record().opened);
  EXPECT_EQ(instance.inputPhase, 4);
}
#endif

TEST(PhaseDialog, ADialogThatCannotOpenAnswersNonZeroAndKeepsThePhases) {
  DialogRig rig;
  rig.instance.inputPhase = 4;
  rig.instance.outputPhase = 2;
#if defined(_WIN32)
  importpatch::ImportPatch failing(LoadLibraryA(CORVALIS_DEFAULT_PLUGIN), "user32.dll",
                                   "DialogBoxParamA", reinterpret_cast<void*>(&DialogBoxThatFails));
  ASSERT_TRUE(failing.Applied());
#endif
  // Without a user the stand-in cannot open it either. The box answers -1,
  // which the host hears as non-zero.
  EXPECT_TRUE(rig.host.OpenEffectDialog());
  EXPECT_EQ(rig.instance.inputPhase, 4);
  EXPECT_EQ(rig.instance.outputPhase, 2);
  EXPECT_FALSE(rig.host.HasInstanceData());
}

}  // namespace
