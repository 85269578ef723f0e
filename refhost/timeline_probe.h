// What the effect's timeline says about a job, read the way the effect
// computes it: the host has the instance build its timeline (a render in a
// field mode that locates no source, so no pixels are touched) and reads the
// per-unit arrays the instance keeps. Front ends use it to print the timeline
// and to size an effect so that its source plays once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "refhost/effect_host.h"

namespace refhost {

// The five per-unit arrays, copied out of the instance.
struct Timeline {
  std::vector<double> positions;  // source position per output unit; -1 black
  std::vector<double> speeds;
  std::vector<int32_t> strobes;
  std::vector<int32_t> countdowns;
  std::vector<int32_t> keyMarks;
};

// Has the instance rebuild its key table and timeline from its keys.
Timeline BuildTimeline(EffectHost& host);

// How long an effect must be for its source to play once, and how many of
// its frames to render.
struct PlayOnceLength {
  int32_t effectFrames = 0;
  int32_t outputFrames = 0;
};

// A job whose keys never play to the end of the source (a speed of 0, or
// "After End" set to "Freeze" or "Loop").
class NeverEnds : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Finds where the playback leaves a source of `sourceFrames` frames: the
// output ends with the frame of the last unit that still shows a source
// field. `makeHost(frames)` sets up the effect at that length with its keys
// placed at units (source positions), which do not move with the length; the
// timeline's first units do not depend on the length either, so a longer
// effect is tried until the playback has left the source. The effect is at
// least as long as the source, because positions beyond the effect's last
// unit count as outside the source: a job at more than 100 % keeps the
// source's length and renders only the frames before the playback leaves it.
// Throws NeverEnds when the playback has not left the source by 200 times the
// source's length.
PlayOnceLength FindPlayOnceLength(
    const std::function<std::unique_ptr<EffectHost>(int32_t frames)>& makeHost,
    int32_t sourceFrames);

}  // namespace refhost
