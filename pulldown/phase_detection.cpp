// 3:2 phase detection: which field of the five-field cycle repeats its
// predecessor of the same parity.
#include "pulldown/phase_detection.h"

#include <algorithm>
#include <cstdlib>

#include "host/corvalis.h"
#include "source/field_names.h"
#include "source/source_fetch.h"

namespace {

// The border left out of the comparison: rows at top and bottom, columns at
// left and right, where transfer edges and blanking often differ between
// otherwise identical fields.
constexpr int32_t kBorderRows = 6;
constexpr int32_t kBorderColumns = 12;
constexpr int32_t kPhaseUndetermined = -1;
// Host input indices: the clip being retimed and the track below.
constexpr int32_t kClipInput = 1;
constexpr int32_t kTrackBelowInput = 0;
constexpr int32_t kCycleFields = 5;

// One comparison of the detection: the pair of frames, which of their fields,
// and the phase a match means.
struct PhaseTest {
  int32_t shownField;  // field index reported in the console line
  int32_t first;
  int32_t second;
  avxField field;
  int32_t phase;
};

int32_t AbsoluteDifference(uint8_t a, uint8_t b) { return std::abs(int32_t{a} - int32_t{b}); }

}  // namespace

bool FieldsMatch(avxInstance_v1& instance, SourceCache& cache, int32_t input, int32_t first,
                 int32_t second, avxField field, PixelPosition& position, uint8_t (&difference)[4],
                 int32_t tolerance) {
  const FrameRef a = FetchSourceField(instance, cache, input, first, field);
  const FrameRef b = FetchSourceField(instance, cache, input, second, field);
  // Both fields come from one input with one field value and so have one
  // size; the smaller one bounds the region all the same, so that a host
  // breaking that rule cannot make us read past a buffer.
  const int32_t width = std::min(a->width, b->width);
  const int32_t height = std::min(a->height, b->height);
  for (int32_t y = kBorderRows; y < height - kBorderRows; ++y) {
    const uint8_t* rowA = a->Row(y);
    const uint8_t* rowB = b->Row(y);
    for (int32_t x = kBorderColumns; x < width - kBorderColumns; ++x) {
      const uint8_t* pixelA = rowA + 4 * x;
      const uint8_t* pixelB = rowB + 4 * x;
      const int32_t red = AbsoluteDifference(pixelA[2], pixelB[2]);
      const int32_t green = AbsoluteDifference(pixelA[1], pixelB[1]);
      const int32_t blue = AbsoluteDifference(pixelA[0], pixelB[0]);
      if (red > tolerance && green > tolerance && blue > tolerance) {
        position = PixelPosition{x, y};
        difference[0] = static_cast<uint8_t>(blue);
        difference[1] = static_cast<uint8_t>(green);
        difference[2] = static_cast<uint8_t>(red);
        difference[3] = 0;
        return false;
      }
    }
  }
  return true;
}

bool Corvalis::DetectPhase(int32_t input, int32_t& phase) {
  const int32_t total = GetTotalFrames();
  const int32_t current = GetCurrentFrame();
  phase = kPhaseUndetermined;
  SourceCache cache;
  if (GetInput(input) == nullptr || total < 3) return false;

  // The tests reach one frame back and two ahead of the centre frame.
  int32_t centre = current;
  if (total - current < 3) centre = current - 1;
  if (current == 0) centre += 1;
  const int32_t d = 2 * centre;
  const avxField dominant = GetFieldDominance();
  const avxField other = dominant == kAvxFieldEven ? kAvxFieldOdd : kAvxFieldEven;
  QueueMessage("Dominant Field: %s   Non-Dominant Field: %s\n", FieldName(dominant),
               FieldName(other));

  // The phase of each test is the field index of the later field of its
  // pair, the one that repeats its predecessor.
  const PhaseTest tests[] = {
      {d, centre, centre - 1, dominant, d % kCycleFields},
      {d, centre, centre + 1, dominant, (d + 2) % kCycleFields},
      {d + 1, centre, centre - 1, other, (d + 1) % kCycleFields},
      {d + 1, centre, centre + 1, other, (d + 3) % kCycleFields},
      {d, centre + 1, centre + 2, dominant, (d + 4) % kCycleFields},
  };
  for (const PhaseTest& test : tests) {
    QueueMessage("Comparing detfield=%d, frame %d, %d, %s field: ", test.shownField, test.first,
                 test.second, FieldName(test.field));
    PixelPosition position;
    uint8_t difference[4] = {0, 0, 0, 0};
    if (FieldsMatch(*this, cache, input, test.first, test.second, test.field, position, difference,
                    threshold)) {
      if (phase != kPhaseUndetermined) {
        // A second repeated field in one cycle: the cadence is ambiguous.
        QueueMessage("SUCCEEDED but phase already set\n");
        return false;
      }
      phase = test.phase;
      QueueMessage("phase = %d\n", phase);
    } else {
      QueueMessage("FAILED at (%d,%d) diff=(%d,%d,%d)\n", position.column, position.row,
                   difference[2], difference[1], difference[0]);
    }
  }
  return phase != kPhaseUndetermined;
}

bool Corvalis::DetectInputPhase() {
  int32_t phase = kPhaseUndetermined;
  const bool found = DetectPhase(kClipInput, phase);
  inputPhase = found && phase >= 0 ? phase + 1 : 0;
  return inputPhase != 0;
}

bool Corvalis::DetectOutputPhase() {
  int32_t phase = kPhaseUndetermined;
  const bool found = DetectPhase(kTrackBelowInput, phase);
  outputPhase = found && phase >= 0 ? phase + 1 : 0;
  return outputPhase != 0;
}
