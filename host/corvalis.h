// Corvalis: the effect instance, one per use of the effect on a clip.
//
// The instance holds the storage the host keeps filled with the current
// parameter values, the key table and per-unit timeline built from the keys,
// the result of locating the source for the output being rendered, the 3:2
// phases, the last motion mask and the queue of console lines printed at the
// next render. Its members are implemented by the subsystem they belong to:
// host/ (lifecycle, parameters, maintenance), timemap/ (keys, timeline, source
// lookup), render/ (render driver, output generation), source/ (adaptive
// interpolation), pulldown/ (phases, detection, dialog).
//
// All calls come from the host one at a time; nothing here takes a lock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "avx/avx.h"
#include "source/frame_buffer.h"

class SourceCache;

// One record of the key table: a key time and the values keyed there.
struct SpeedKey {
  double time = 0.0;
  double speed = 0.0;
  double strobe = 0.0;
  double hold = 0.0;
  int32_t order = 0;
};

// One weighted source field of the current output.
struct SourceImage {
  int32_t frame = 0;
  double level = 0.0;
  bool second = false;
  bool interp = false;
};

// The source images of the current output, kept as four parallel arrays in
// the order they were appended (which is the order they are added into the
// output).
struct SourceImageList {
  std::vector<int32_t> frame;
  std::vector<double> level;
  std::vector<uint8_t> second;
  std::vector<uint8_t> interp;

  size_t size() const { return frame.size(); }
  bool empty() const { return frame.empty(); }
  void clear();
  void Append(const SourceImage& image);
  SourceImage at(size_t index) const;
};

// Read access to the five timeline arrays.
struct TimelineView {
  const std::vector<double>& positions;
  const std::vector<double>& speeds;
  const std::vector<int32_t>& strobes;
  const std::vector<int32_t>& countdowns;
  const std::vector<int32_t>& keyMarks;
};

// The eleven ways source fields are mapped onto output fields.
enum class SourceCase : int32_t {
  InterlacedSource = 0,
  InterlacedTapeSim = 1,
  DuplicateF1Source = 2,
  DuplicateF2Source = 3,
  ProgressiveSource = 4,
  InterlacedTo32 = 5,
  ProgressiveTo32 = 6,
  DuplicateTo32 = 7,
  PulldownToProgressive = 8,
  PulldownToInterlaced = 9,
  PulldownTo32 = 10,
};

struct SourceCaseChoice {
  SourceCase sourceCase = SourceCase::InterlacedSource;
  bool evenUnits = false;
};

// List indices of the mode parameters.
enum InputModeValue : int32_t {
  kInputInterlaced = 0,
  kInputProgressive = 1,
  kInput32 = 2,
  kInputDuplicateF1 = 3,
  kInputDuplicateF2 = 4
};
enum OutputModeValue : int32_t { kOutputInterlaced = 0, kOutputProgressive = 1, kOutput32 = 2 };
enum AfterEndValue : int32_t {
  kAfterEndBlack = 0,
  kAfterEndFreeze = 1,
  kAfterEndHoldSpeed = 2,
  kAfterEndHoldCurve = 3,
  kAfterEndLoop = 4,
  kAfterEndPingPong = 5
};
enum OverLimitsValue : int32_t {
  kOverLimitsBlack = 0,
  kOverLimitsFreeze = 1,
  kOverLimitsLoop = 2,
  kOverLimitsPingPong = 3
};
enum DeinterlaceValue : int32_t {
  kDeinterlaceNone = 0,
  kDeinterlaceTapeSim = 1,
  kDeinterlaceInterpolated = 2,
  kDeinterlaceAdaptive = 3
};

// Size of the "timeCode" storage, zero terminator included.
constexpr uint32_t kTimeCodeStorageSize = 256;

class Corvalis : public avxInstance_v1 {
 public:
  Corvalis();
  ~Corvalis() override;

  // --- Virtual slots the effect overrides -------------------------------
  bool Render(avxRenderArgs* args) override;
  bool CreateParameters() override;
  // The host's word that comes with the request is not used.
  bool OpenPhaseDialog(int32_t argument) override;

  // --- Parameter maintenance --------------------------------------------
  // Keeps constant settings constant across keys and the order keys in step
  // with the key table; true when anything was touched or rewritten.
  bool UpdateParams();

  // --- Key table and timeline -------------------------------------------
  void GetKeyTimes(avxParameter* parameter, std::vector<double>& times);
  void RebuildKeyTable();
  void RefreshKeyTable();
  int32_t FindOrderGap() const;
  bool SyncOrderKeys();
  std::vector<SpeedKey>& GetKeyTable();
  int32_t MaxOrder() const;
  int32_t FindKeyByOrder(int32_t order) const;
  void BuildTimeline();
  TimelineView GetTimeline();
  // Number of units of the effect: frames × 2, or frames when frame based.
  int32_t UnitCount() const;

  // --- Source lookup ----------------------------------------------------
  void LocateSource(int32_t frame, int32_t fieldSelector, bool wantImages);
  void LocateCurrentSource(int32_t frame, bool wantImages);
  double SourcePositionAt(int32_t unit);
  int32_t CurrentUnit() const;
  int32_t UnitsPerFrame() const;
  SourceCaseChoice SelectSourceCase() const;
  static int32_t FieldAtOrBelow(double position, int32_t mode);
  static int32_t NearestField(double position);

  // --- Output -----------------------------------------------------------
  bool GenerateOutput(FrameBuffer& output);
  // inPlace: blend into current itself (which is then always the result)
  // instead of into a new buffer. makeCurrentRow, when given, makes pixels
  // of current into the row it is given; current's pixels are then made only
  // as the step comes to need them (where the blend takes the neighbour's
  // pixel whole, never), and current's buffer may receive the neighbour.
  // fetchRowSource, when given, fetches what makeCurrentRow reads: it is
  // called once, before any row is made, with a buffer of the step's that
  // nothing reads any more (or none), which it may fetch into; when it
  // fails, so does the step, which then returns no frame.
  FrameRef AdaptiveInterpolate(
      const FrameRef& current, int32_t frame, bool secondField, bool inPlace = false,
      const std::function<void(int32_t, int32_t, int32_t, uint8_t*)>& makeCurrentRow = nullptr,
      const std::function<bool(const FrameRef& spare)>& fetchRowSource = nullptr);

  // --- 3:2 phases -------------------------------------------------------
  void SavePhases();
  void LoadPhases();
  bool DetectPhase(int32_t input, int32_t& phase);
  bool DetectInputPhase();
  bool DetectOutputPhase();
  int32_t CurrentFieldPhase() const;
  // Queues one printf-style console line for the next render.
  void QueueMessage(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // --- State (declaration order matters to nobody but readers) ----------
  bool frameBased = false;
  int32_t renderField = -1;
  int32_t fieldDominance = -1;
  std::vector<double> timelinePositions;
  std::vector<double> timelineSpeeds;
  std::vector<int32_t> timelineStrobes;
  std::vector<int32_t> timelineCountdowns;
  std::vector<int32_t> timelineKeyMarks;
  // What the timeline arrays were last built from: the waypoint values in
  // play order, the unit count and the "After End" mode. A build from the
  // same values would give the same arrays, so it is skipped.
  struct TimelineInputs {
    std::vector<int32_t> positions;
    std::vector<double> speeds;
    std::vector<int32_t> strobes;
    std::vector<int32_t> holds;
    int32_t unitCount = -1;
    int32_t afterEnd = -1;
    bool built = false;
  } timelineBuiltFrom;
  int32_t speed = 100;
  int32_t strobe = 1;
  int32_t hold = 0;
  int32_t inputMode = kInputInterlaced;
  int32_t outputMode = kOutputInterlaced;
  int32_t afterEnd = kAfterEndHoldSpeed;
  int32_t overLimits = kOverLimitsBlack;
  int32_t deinterlace = kDeinterlaceAdaptive;
  int32_t order = 1;
  char timeCode[kTimeCodeStorageSize] = "00:00:00:00";
  bool blending = false;
  bool reverseFields = false;
  bool showTimeCode = true;
  bool showSource = true;
  bool showGraph = true;
  bool showMotion = false;
  bool enhance = false;
  bool interpAll = false;
  bool medianMask = true;
  int32_t threshold = 32;
  int32_t smooth = 4;
  int32_t inputPhase = 0;
  int32_t outputPhase = 0;
  std::vector<SpeedKey> keyTable;
  SourceImageList sourceImages;
  double sourcePosition = 0.0;
  double sourceSpeed = 0.0;
  double sourceStrobe = 0.0;
  int32_t sourceField = -1;
  std::vector<std::string> pendingMessages;
  FrameRef motionMask;
};
