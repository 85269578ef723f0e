// 3:2 pulldown phases: detection on synthetic pulldown material, and the
// phase dialog run by a scripted user, on the dialog stand-in and on Windows
// on the system's own dialog services; and the dialog's template as the
// plug-in carries it, held to one list on both.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "host/corvalis.h"
#include "pulldown/phase_detection.h"
#include "pulldown/resource.h"
#include "refhost/phase_dialog_driver.h"
#include "source/source_fetch.h"
#include "test_clips.h"
#if defined(_WIN32)
#include "refhost/win32_dialog_resource.h"
#include "win32/win32_api.h"
#include "win32_import_patch.h"
#else
#include "win32/dialog_template.h"
#endif

namespace {

using refhost::ScopedDialogDriver;
using refhost::ScriptedDialogDriver;

constexpr int32_t kWidth = 32;
constexpr int32_t kHeight = 32;

// Film pictures: pseudo-random, different for each film frame, or the same
// for all (still); or flat, alternating between two colours that differ by 50,
// 60 and 70 in blue, green and red.
enum class Film { kNoise, kStill, kFlat };

// The colour (blue, green, red) of film frame `n` at (x, y).
void FilmPixel(Film film, int32_t n, int32_t x, int32_t y, uint8_t* pixel) {
  if (film == Film::kFlat) {
    for (int c = 0; c < 3; ++c) pixel[c] = static_cast<uint8_t>(n % 2 != 0 ? 150 + 10 * c : 100);
    return;
  }
  uint32_t h = static_cast<uint32_t>(film == Film::kStill ? 0 : n) * 2654435761u ^
               static_cast<uint32_t>(x) * 40503u ^ static_cast<uint32_t>(y) * 9973u;
  for (int c = 0; c < 3; ++c) {
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    pixel[c] = static_cast<uint8_t>(h >> 24);
  }
}

// The film frame shown by field index i (2n the dominant, 2n + 1 the other
// field of frame n) when the repeated fields have index = phase mod 5: the
// cycle A A A B B C C C D D, shifted so that its repeats land there.
int32_t FilmOfField(int32_t fieldIndex, int32_t phase) {
  static const int32_t kCycle[10] = {0, 0, 0, 1, 1, 2, 2, 2, 3, 3};
  const int32_t j = fieldIndex - (phase - 2) + 10;  // j mod 10 == 2 at the repeat
  return 4 * (j / 10) + kCycle[j % 10];
}

// Frames whose fields follow a 3:2 cadence with the given phase. The field
// value `dominance` (0 the top rows, 1 the bottom rows) holds the dominant
// field of each frame.
std::shared_ptr<refhost::MemoryClip> PulldownClip(int32_t frames, int32_t phase, int32_t dominance,
                                                  Film film) {
  auto clip = std::make_shared<refhost::MemoryClip>(kWidth, kHeight);
  for (int32_t n = 0; n < frames; ++n) {
    std::vector<uint8_t> pixels(kWidth * kHeight * 4, 255);
    for (int32_t y = 0; y < kHeight; ++y) {
      const bool dominantRow = (y % 2) == dominance;
      const int32_t filmFrame = FilmOfField(2 * n + (dominantRow ? 0 : 1), phase);
      for (int32_t x = 0; x < kWidth; ++x) {
        // Field rows are addressed in field coordinates, as the host delivers them.
        FilmPixel(film, filmFrame, x, y / 2, &pixels[(y * kWidth + x) * 4]);
      }
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

refhost::ProjectSettings FieldSettings(int32_t frames, avxField dominance) {
  refhost::ProjectSettings settings = testclips::Settings(kWidth, kHeight, frames);
  settings.fieldDominance = dominance;
  return settings;
}

// A host on pulldown material of phase `phase` (and, when `below` is not
// negative, of phase `below` on the track below), at the first field of a frame.
struct PhaseRig {
  PhaseRig(int32_t frames, avxField dominance, int32_t phase, int32_t frame, int32_t below = -1,
           Film film = Film::kNoise)
      : host(plugin, FieldSettings(frames, dominance)),
        instance(static_cast<Corvalis&>(host.Instance())) {
    host.SetInput(1, PulldownClip(frames, phase, dominance, film));
    if (below >= 0) host.SetInput(0, PulldownClip(frames, below, dominance, Film::kNoise));
    host.SetPosition(frame, dominance, 1);
    instance.pendingMessages.clear();
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

TEST(PhaseDetection, FindsEveryPhaseAtEveryFrameForBothDominances) {
  constexpr int32_t kFrames = 12;
  for (avxField dominance : {kAvxFieldOdd, kAvxFieldEven}) {
    for (int32_t phase = 0; phase < 5; ++phase) {
      PhaseRig clip(kFrames, dominance, phase, 0, (phase + 3) % 5);
      Corvalis& instance = clip.instance;
      for (int32_t frame = 0; frame < kFrames; ++frame) {
        SCOPED_TRACE(testing::Message()
                     << "dominance " << dominance << " phase " << phase << " frame " << frame);
        clip.host.SetPosition(frame, kAvxFieldOdd, 1);
        // On the last frame the fifth field of the cycle lies past the clip.
        const int32_t centre = frame == 0 ? 1 : (kFrames - frame < 3 ? frame - 1 : frame);
        const bool lastUnseen = centre + 2 >= kFrames;
        const bool visible = !lastUnseen || (2 * centre + 4) % 5 != phase;
        EXPECT_EQ(instance.DetectInputPhase(), visible);
        EXPECT_EQ(instance.inputPhase, visible ? phase + 1 : 0);
        const bool belowVisible = !lastUnseen || (2 * centre + 4) % 5 != (phase + 3) % 5;
        EXPECT_EQ(instance.DetectOutputPhase(), belowVisible);
        EXPECT_EQ(instance.outputPhase, belowVisible ? (phase + 3) % 5 + 1 : 0);
      }
    }
  }
}

// What a detection says it compared and found, queued for the next render.
TEST(PhaseDetection, CommentaryNamesEachComparisonAndItsOutcome) {
  struct Case {
    const char* what;
    int32_t frames, phase, frame;
    avxField dominance;
    Film film;
    int32_t input;
    bool found;
    int32_t foundPhase;
    std::string commentary;
  };
  const std::string odd = "Dominant Field: Odd   Non-Dominant Field: Even\n";
  const std::string no = "FAILED at (12,6) diff=(70,60,50)\n";
  auto at = [](int detfield, int frame, int other, const char* field, const std::string& said) {
    return "Comparing detfield=" + std::to_string(detfield) + ", frame " + std::to_string(frame) +
           ", " + std::to_string(other) + ", " + field + " field: " + said;
  };
  // clang-format off
  const Case cases[] = {
      // Only the third comparison (field 21 against field 19) matches.
      {"phase 1", 20, 1, 10, kAvxFieldOdd, Film::kFlat, 1, true, 1,
       odd + at(20, 10, 9, "Odd", no) + at(20, 10, 11, "Odd", no) + at(21, 10, 9, "Even", "phase = 1\n") +
       at(21, 10, 11, "Even", no) + at(20, 11, 12, "Odd", no)},
      // The first match is kept; the second makes the cadence ambiguous.
      {"a still picture", 10, 0, 5, kAvxFieldOdd, Film::kStill, 1, false, 0,
       odd + at(10, 5, 4, "Odd", "phase = 0\n") + at(10, 5, 6, "Odd", "SUCCEEDED but phase already set\n")},
      // The fifth comparison reaches one past the end: a zero field.
      {"the last frame centres on the one before", 100, 2, 99, kAvxFieldOdd, Film::kFlat, 1, true, 2,
       odd + at(196, 98, 97, "Odd", no) + at(196, 98, 99, "Odd", no) + at(197, 98, 97, "Even", "phase = 2\n") +
       at(197, 98, 99, "Even", no) + at(196, 99, 100, "Odd", "FAILED at (12,6) diff=(170,160,150)\n")},
      {"no track below", 20, 0, 10, kAvxFieldOdd, Film::kFlat, 0, false, -1, ""},
      {"too few frames", 2, 0, 1, kAvxFieldOdd, Film::kFlat, 1, false, -1, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PhaseRig clip(c.frames, c.dominance, c.phase, c.frame, -1, c.film);
    Corvalis& instance = clip.instance;
    int32_t phase = 99;
    EXPECT_EQ(instance.DetectPhase(c.input, phase), c.found);
    EXPECT_EQ(phase, c.foundPhase);
    const std::vector<std::string> queued = instance.pendingMessages;
    std::string commentary;
    for (const std::string& line : queued) commentary += line;
    EXPECT_EQ(commentary, c.commentary);
    if (c.commentary.empty()) {
      EXPECT_EQ(clip.host.AlternateFrameCalls(), 0) << "nothing to compare fetches nothing";
    }
    // The next render prints the lines in order.
    clip.host.ConsoleLines().clear();
    refhost::Picture picture;
    clip.host.RenderFrame(c.frame, picture);
    const std::vector<std::string>& console = clip.host.ConsoleLines();
    ASSERT_GE(console.size(), queued.size());
    EXPECT_EQ(std::vector<std::string>(console.begin(), console.begin() + queued.size()), queued);
    EXPECT_TRUE(instance.pendingMessages.empty());
  }
}

TEST(PhaseDetection, FetchesSevenFieldsOnceAndCutsLongLines) {
  PhaseRig clip(20, kAvxFieldOdd, 3, 10);
  clip.host.FailAlternateFrameAt(0);
  int32_t phase = -1;
  EXPECT_TRUE(clip.instance.DetectPhase(1, phase));
  EXPECT_EQ(clip.host.AlternateFrameCalls(), 7);

  clip.instance.pendingMessages.clear();
  clip.instance.QueueMessage("%s", std::string(2000, 'x').c_str());
  clip.instance.QueueMessage("phase = %d\n", 3);
  EXPECT_EQ(clip.instance.pendingMessages,
            (std::vector<std::string>{std::string(1023, 'x'), "phase = 3\n"}));
}

// A pixel of frame 1 changed from the grey 100 that fills both frames.
struct PixelChange {
  int32_t x, y;
  uint8_t bgr[3];
};

TEST(PhaseDetection, FieldsDifferOnlyWhereAllThreeChannelsExceedTheTolerance) {
  refhost::Plugin plugin;
  struct Case {
    const char* what;
    std::vector<PixelChange> changes;  // on the top field's rows of frame 1
    bool match;
    PixelPosition position;
    std::vector<uint8_t> difference;
  };
  // Frame rows 2y are top-field row y; the field has 16 rows and 32 columns,
  // so the compared region is rows 6..9, columns 12..19.
  // clang-format off
  const Case cases[] = {
      {"blue at the tolerance", {{15, 14, 132, 200, 0}}, true, {}, {}},
      {"blue one over", {{15, 14, 133, 200, 0}}, false, {15, 7}, {33, 100, 100, 0}},
      {"red at the tolerance", {{15, 14, 0, 0, 132}}, true, {}, {}},
      {"darker by more", {{12, 12, 60, 50, 40}}, false, {12, 6}, {40, 50, 60, 0}},
      {"last row and column", {{19, 18, 0, 0, 0}}, false, {19, 9}, {100, 100, 100, 0}},
      {"outside the region", {{11, 12, 0, 0, 0}, {20, 12, 0, 0, 0}, {15, 10, 0, 0, 0}, {15, 20, 0, 0, 0}}, true, {}, {}},
      {"first in scan order", {{18, 16, 0, 0, 0}, {13, 18, 255, 255, 255}, {14, 16, 255, 100, 255}}, false, {18, 8}, {100, 100, 100, 0}},
      {"other field only", {{15, 15, 0, 0, 0}}, true, {}, {}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto clip = std::make_shared<refhost::MemoryClip>(kWidth, kHeight);
    std::vector<uint8_t> pixels(kWidth * kHeight * 4, 100);
    clip->AddFrame(pixels);
    for (const PixelChange& change : c.changes) {
      std::copy(change.bgr, change.bgr + 3, &pixels[(change.y * kWidth + change.x) * 4]);
    }
    clip->AddFrame(pixels);
    refhost::EffectHost host(plugin, FieldSettings(2, kAvxFieldOdd));
    host.SetInput(1, clip);
    SourceCache cache;
    PixelPosition position{-5, -5};
    uint8_t difference[4] = {9, 9, 9, 9};
    EXPECT_EQ(FieldsMatch(host.Instance(), cache, 1, 0, 1, kAvxFieldOdd, position, difference, 32),
              c.match);
    if (!c.match) {
      EXPECT_EQ(std::pair(position.column, position.row),
                std::pair(c.position.column, c.position.row));
      EXPECT_EQ(std::vector<uint8_t>(difference, difference + 4), c.difference);
    }
  }
}

TEST(PhaseDetection, FieldsTooSmallToCompareMatch) {
  refhost::Plugin plugin;
  for (auto size : {std::pair<int32_t, int32_t>{24, 40}, {40, 24}}) {
    // 24 frame rows make fields of 12 rows; 24 columns leave none between the borders.
    refhost::EffectHost host(plugin, testclips::Settings(size.first, size.second, 2));
    host.SetInput(1, testclips::NoiseClip(size.first, size.second, 2, 3));
    SourceCache cache;
    PixelPosition position;
    uint8_t difference[4] = {0, 0, 0, 0};
    EXPECT_TRUE(
        FieldsMatch(host.Instance(), cache, 1, 0, 1, kAvxFieldOdd, position, difference, 0));
  }
}

// The dialog's effect has input phase 3 over, on the track below, phase 0:
// detection finds codes 4 ("C") and 1 ("X").
TEST(PhaseDialog, ShowsBothListsFittedWithTheInstancesCodes) {
  PhaseRig rig(20, kAvxFieldOdd, 3, 10, 0);
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
  EXPECT_EQ(record.items.at(IDC_OUTPUT_PHASE),
            (Items{"Unknown - using X", "X", "D", "B", "C", "A"}));
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
    avxField field;  // of the position the dialog opens at
    std::vector<std::string> presses;
    const char *inputShown, *outputShown;
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
    PhaseRig rig(20, kAvxFieldOdd, 3, c.frame, 0);
    rig.host.SetPosition(c.frame, c.field, 1);
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
  BrokenParentHost host(plugin, testclips::Settings(kWidth, kHeight, 20));
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
  PhaseRig rig(20, kAvxFieldOdd, 3, 10, 0);
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

// Control styles, as the system numbers them.
constexpr uint32_t kDropDownList = 0x0003;
constexpr uint32_t kSort = 0x0100;
constexpr uint32_t kTabStop = 0x00010000;
constexpr uint32_t kVerticalScroll = 0x00200000;

// A control in one line, the same form for both.
std::string Line(const std::string& kind, int32_t id, const std::string& text, int32_t x, int32_t y,
                 int32_t width, int32_t height, uint32_t style) {
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
    const char* kind = combo                            ? "COMBOBOX"
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
