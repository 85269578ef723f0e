#include "timemap/cadence.h"

#include <cstddef>

#include "timemap/numeric.h"

namespace {

constexpr int32_t kCadenceCount = 5;
constexpr int32_t kFieldsPerCycle = 10;
constexpr int32_t kFilmFramesPerCycle = 4;

// Output cadence: slot 10k + 2c + f gives the film frame (0 to 4) carried by
// field f of video frame k of the cycle. Slot 0 is reached only by a whole
// frame at k = 0 with cadence 0; it keeps the first film frame of the cycle.
constexpr int32_t kOutputCadence[51] = {
    0,                             // slot 0
    0, 0, 0, 1, 0, 0, 0, 1, 0, 0,  // 1-10
    0, 1, 1, 1, 1, 1, 1, 2, 1, 1,  // 11-20
    1, 2, 2, 2, 1, 2, 2, 2, 2, 2,  // 21-30
    2, 2, 3, 3, 2, 3, 3, 3, 2, 3,  // 31-40
    3, 3, 3, 4, 3, 3, 4, 4, 3, 4,  // 41-50
};

// Input cadence: slot 10r + 2c + f gives the video field, counted from the
// first field of the cycle, that carries field f of film frame r (-1 is the
// last field of the previous cycle). Slot 0 as above.
constexpr int32_t kInputCadence[41] = {
    0,                               // slot 0
    0, 1, 0, -1, 0, 1, 0, -1, 0, 1,  // 1-10
    4, 3, 2, 3,  2, 3, 2, 1,  2, 3,  // 11-20
    6, 5, 4, 5,  6, 5, 4, 5,  4, 5,  // 21-30
    8, 9, 6, 7,  8, 7, 6, 7,  8, 7,  // 31-40
};

// Field offsets of film frame b of the cycle, first field then second field,
// for a 3:2 source read at uniform film time.
constexpr int32_t kFilmFieldOffsets[kCadenceCount][kFilmFramesPerCycle][2] = {
    {{2, 1}, {4, 3}, {6, 7}, {8, 9}}, {{2, 1}, {4, 5}, {6, 7}, {10, 9}},
    {{0, 1}, {4, 3}, {6, 5}, {8, 9}}, {{2, 1}, {4, 5}, {6, 7}, {10, 9}},
    {{0, 1}, {2, 3}, {6, 5}, {8, 7}},
};

template <size_t Size>
int32_t SlotValue(const int32_t (&table)[Size], int32_t slot) {
  // Only selectors 0 to 2 and indices 0 to 4 reach the tables; anything else
  // would read past them, so it is treated like slot 0.
  if (slot < 0 || slot >= static_cast<int32_t>(Size)) return table[0];
  return table[slot];
}

// Negative positions are mapped into range before they get here; should one
// slip through, counting cycles backwards (floored) keeps it on the tables.
int32_t FloorDiv(int32_t value, int32_t divisor) {
  int32_t quotient = value / divisor;
  if (value % divisor != 0 && value < 0) --quotient;
  return quotient;
}

int32_t FloorMod(int32_t value, int32_t divisor) {
  return value - FloorDiv(value, divisor) * divisor;
}

}  // namespace

int32_t CadenceIndex(int32_t phaseCode) {
  const int32_t phase = phaseCode > 0 ? phaseCode - 1 : 0;
  // For the codes 1 to 5 this is "less 5 above 4"; the remainder also keeps a
  // damaged stored code on the tables.
  return (FloorMod(phase, kCadenceCount) + 3) % kCadenceCount;
}

int32_t OutputFilmFrame(double outputUnit, int32_t cadence, int32_t fieldSelector) {
  const int32_t unit = FloorToInt32(outputUnit);
  const int32_t frameInCycle = FloorMod(unit, kFieldsPerCycle) / 2;
  const int32_t cycle = FloorDiv(unit, kFieldsPerCycle);
  return SaturateToInt32(
      SlotValue(kOutputCadence, 10 * frameInCycle + 2 * cadence + fieldSelector) +
      int64_t{kFilmFramesPerCycle} * cycle);
}

int32_t InputFilmField(double filmPosition, int32_t cadence, int32_t fieldSelector) {
  const int32_t film = FloorToInt32(filmPosition);
  const int32_t frameInCycle = FloorMod(film, kFilmFramesPerCycle);
  const int32_t cycle = FloorDiv(film, kFilmFramesPerCycle);
  return SaturateToInt32(SlotValue(kInputCadence, 10 * frameInCycle + 2 * cadence + fieldSelector) +
                         int64_t{kFieldsPerCycle} * cycle);
}

int32_t PulldownFieldAt(double sourcePosition, int32_t cadence, int32_t fieldSelector) {
  const int32_t cycle = FloorToInt32(sourcePosition * 0.1);
  const int32_t cycleStart = SaturateToInt32(int64_t{kFieldsPerCycle} * cycle);
  const int32_t film = TruncToInt32((sourcePosition - cycleStart) * 0.4);
  if (film < 0 || film >= kFilmFramesPerCycle || cadence < 0 || cadence >= kCadenceCount) {
    return cycleStart;
  }
  return cycleStart + kFilmFieldOffsets[cadence][film][fieldSelector == 2 ? 1 : 0];
}
