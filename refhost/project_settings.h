// What a host knows of a project before any effect is made: the effect's
// length, rate, scan and frame size.
#pragma once

#include <cstdint>

#include "avx/avx_types.h"

namespace refhost {

struct ProjectSettings {
  int32_t totalFrames = 0;             // effect length in frames
  double frameRate = 30000.0 / 1001.0;
  int32_t videoType = 1;               // 0 frame based (progressive), otherwise field based
  avxField fieldDominance = kAvxFieldOdd;  // the field shown first in time
  avxField fieldTopness = kAvxFieldOdd;    // the field on the top line
  int32_t width = 0;                   // frame size of the output
  int32_t height = 0;
};

}  // namespace refhost
