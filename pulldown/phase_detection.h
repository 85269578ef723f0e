// Finding where a clip's 3:2 pulldown cadence stands.
//
// Detection compares fields around the current frame for one that repeats
// the field of the same parity one frame earlier. The instance members
// (Corvalis::DetectPhase, DetectInputPhase, DetectOutputPhase) fetch through
// one SourceCache per run, queue their commentary for the next render and
// change nothing but the phase they detect.
#pragma once

#include <cstdint>

#include "avx/avx.h"

class SourceCache;

// Where two fields first differed, in field coordinates.
struct PixelPosition {
  int32_t column = 0;
  int32_t row = 0;
};

// Compares one field of two frames of an input, away from the picture's
// borders. A pixel differs only when blue, green and red each differ by more
// than the tolerance. On a mismatch fills the first differing pixel and its
// differences (blue, green, red, 0) and returns false.
bool FieldsMatch(avxInstance_v1& instance, SourceCache& cache, int32_t input, int32_t first,
                 int32_t second, avxField field, PixelPosition& position, uint8_t (&difference)[4],
                 int32_t tolerance);
