// Where in the source the output stands, and which source fields make it.
#include <algorithm>
#include <cmath>

#include "host/corvalis.h"
#include "timemap/cadence.h"
#include "timemap/end_limits.h"
#include "timemap/numeric.h"
#include "timemap/source_cases.h"
#include "timemap/timeline_state.h"

namespace {

constexpr int32_t kWholeFrame = 0;
constexpr int32_t kFirstField = 1;
constexpr int32_t kSecondField = 2;
// Film frames are spread 2.5 video units apart by 3:2 pulldown.
constexpr double kUnitsPerFilmFrame = 2.5;
// Lets a position a hair below a whole unit count as that unit.
constexpr double kUnitSlack = 0.01;

// Cases by output mode, one row per input mode (index = `inputMode`).
struct CaseRow {
  SourceCase toInterlaced;
  SourceCase toProgressive;
  SourceCase to32;
};
constexpr CaseRow kCases[] = {
    {SourceCase::InterlacedSource, SourceCase::InterlacedSource, SourceCase::InterlacedTo32},
    {SourceCase::ProgressiveSource, SourceCase::ProgressiveSource, SourceCase::ProgressiveTo32},
    {SourceCase::PulldownToInterlaced, SourceCase::PulldownToProgressive, SourceCase::PulldownTo32},
    {SourceCase::DuplicateF1Source, SourceCase::DuplicateF1Source, SourceCase::DuplicateTo32},
    {SourceCase::DuplicateF2Source, SourceCase::DuplicateF2Source, SourceCase::DuplicateTo32},
};

}  // namespace

int32_t Corvalis::FieldAtOrBelow(double position, int32_t mode) {
  if (mode == 1 || mode == 2) {
    const int32_t firstField =
        SaturateToInt32(int64_t{2} * FloorToInt32(position * 0.5 + kUnitSlack));
    return mode == 2 ? SaturateToInt32(int64_t{firstField} + 1) : firstField;
  }
  return FloorToInt32(position + kUnitSlack);
}

int32_t Corvalis::NearestField(double position) { return TruncToInt32(position + 0.5); }

int32_t Corvalis::UnitsPerFrame() const { return frameBased ? 1 : 2; }

SourceCaseChoice Corvalis::SelectSourceCase() const {
  // Unknown list values (a damaged project) are read as the first item.
  const int32_t input = inputMode >= kInputInterlaced && inputMode <= kInputDuplicateF2
                            ? inputMode
                            : kInputInterlaced;
  const CaseRow& row = kCases[input];
  SourceCaseChoice choice;
  switch (outputMode) {
    case kOutputProgressive:
      choice.sourceCase = row.toProgressive;
      // The pulldown case makes its frames progressive itself.
      choice.evenUnits = input != kInput32;
      break;
    case kOutput32:
      choice.sourceCase = row.to32;
      break;
    default:
      choice.sourceCase = row.toInterlaced;
      if (input == kInputInterlaced && deinterlace == kDeinterlaceTapeSim) {
        choice.sourceCase = SourceCase::InterlacedTapeSim;
      }
      break;
  }
  return choice;
}

void Corvalis::LocateSource(int32_t frame, int32_t fieldSelector, bool wantImages) {
  const SourceCaseChoice choice = SelectSourceCase();
  sourceField = kNone;
  const int32_t inputCadence = CadenceIndex(inputPhase);
  const int32_t outputCadence = CadenceIndex(outputPhase);

  int64_t unit = frame;
  if (!frameBased) {
    unit = int64_t{2} * frame;
    if (fieldSelector == kSecondField && choice.sourceCase != SourceCase::PulldownToProgressive) {
      ++unit;
    }
    if (choice.evenUnits) unit = 2 * (unit / 2);
  }
  // A request outside the effect, or before any timeline was built, has no
  // source: it is black.
  const int64_t built = static_cast<int64_t>(timelinePositions.size());
  if (unit < 0 || unit >= built || timelineStrobes.size() != timelinePositions.size()) return;
  const size_t q = static_cast<size_t>(unit);

  double pos = timelinePositions[q];
  if (outputMode == kOutput32) {
    // Each 3:2 output field shows the timeline at the instant of the film
    // frame it carries.
    const int32_t film = OutputFilmFrame(static_cast<double>(unit), outputCadence, fieldSelector);
    const double x = film * kUnitsPerFilmFrame;
    const int64_t last = built - 1;
    const int64_t i0 = std::clamp<int64_t>(TruncToInt32(x), 0, last);
    const int64_t i1 = std::clamp<int64_t>(i0 + 1, 0, last);
    const double t = x - std::floor(x);
    pos = (1.0 - t) * timelinePositions[static_cast<size_t>(i0)] +
          t * timelinePositions[static_cast<size_t>(i1)];
  }

  const int32_t strobeLength = timelineStrobes[q];
  const double speedAt = timelineSpeeds[q];
  const int32_t countdown = timelineCountdowns[q];
  const int64_t nextUnit = unit + countdown;
  double next = 0.0;
  if (nextUnit >= built - 1) {
    next = pos;
  } else if (nextUnit >= 0) {
    next = timelinePositions[static_cast<size_t>(nextUnit)];
  }

  const int32_t unitCount = UnitCount();
  const std::optional<double> shown = ApplyOverLimits(overLimits, pos, unitCount);
  if (!shown) return;
  pos = *shown;

  sourcePosition = pos;
  sourceSpeed = speedAt;
  sourceStrobe = strobeLength;
  if (!wantImages) return;

  SourceRequest request;
  request.sourceCase = choice.sourceCase;
  request.fieldSelector = fieldSelector;
  request.position = pos;
  request.nextSample = next;
  if (blending && strobeLength > 1) {
    request.blending = BlendingKind::kStrobe;
    request.strobeWeight =
        static_cast<double>(int64_t{strobeLength} - countdown) / static_cast<double>(strobeLength);
  } else if (blending) {
    request.blending = BlendingKind::kPosition;
  }
  request.inputCadence = inputCadence;
  request.inputMode = inputMode;
  // Only "Loop" keeps positions between the last unit and one beyond it;
  // under every other rule a field past the source is the black it names.
  request.lastField = overLimits == kOverLimitsLoop ? unitCount - 1 : -1;
  sourceField = frameBased ? AppendFrameImages(request, sourceImages)
                           : AppendSourceImages(request, sourceImages);
}

void Corvalis::LocateCurrentSource(int32_t frame, bool wantImages) {
  if (frameBased) {
    LocateSource(frame, kWholeFrame, wantImages);
    return;
  }
  const int32_t fieldMode = GetFieldMode();
  if (fieldMode == 0) {
    LocateSource(frame, kWholeFrame, wantImages);
  } else if (fieldMode == 1 || fieldMode == 2) {
    bool first = GetField() == GetFieldDominance();
    if (reverseFields) first = !first;
    LocateSource(frame, first ? kFirstField : kSecondField, wantImages);
  }
}

double Corvalis::SourcePositionAt(int32_t unit) {
  if (frameBased) {
    LocateSource(unit, kWholeFrame, false);
  } else {
    LocateSource(unit / 2, unit % 2 != 0 ? kSecondField : kFirstField, false);
  }
  return sourcePosition;
}

int32_t Corvalis::CurrentUnit() const {
  const int32_t frame = GetCurrentFrame();
  if (frameBased) return frame;
  int32_t field = GetField();
  if (field == kAvxFieldBoth) field = renderField;
  const int64_t unit = int64_t{2} * frame + (field != GetFieldDominance() ? 1 : 0);
  return SaturateToInt32(unit);
}
