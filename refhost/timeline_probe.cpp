#include "refhost/timeline_probe.h"

#include <algorithm>
#include <cmath>

#include "host/corvalis.h"

namespace refhost {
namespace {

// A host field mode that locates no source: a render in it rebuilds the key
// table and the timeline and clears the output, without any pixel work.
constexpr int32_t kLocateNothingFieldMode = 3;

// Slowest playback searched for: the source at half a percent.
constexpr int32_t kLongestStretch = 200;

// A position a hair below a whole unit shows that unit, as the effect's own
// field lookup has it.
constexpr double kUnitTolerance = 0.01;

}  // namespace

Timeline BuildTimeline(EffectHost& host) {
  const ProjectSettings& settings = host.Settings();
  host.SetPosition(0, settings.fieldDominance, kLocateNothingFieldMode);
  const int32_t height = settings.videoType == 0 ? settings.height : (settings.height + 1) / 2;
  Picture unused;
  host.RenderOnce(settings.width, height, unused);
  // The arrays are plain members of the instance the plug-in made.
  const Corvalis& effect = static_cast<Corvalis&>(host.Instance());
  return {effect.timelinePositions, effect.timelineSpeeds, effect.timelineStrobes,
          effect.timelineCountdowns, effect.timelineKeyMarks};
}

PlayOnceLength FindPlayOnceLength(
    const std::function<std::unique_ptr<EffectHost>(int32_t frames)>& makeHost,
    int32_t sourceFrames) {
  const int64_t longest = static_cast<int64_t>(sourceFrames) * kLongestStretch;
  for (int64_t frames = sourceFrames; frames <= longest; frames *= 2) {
    std::unique_ptr<EffectHost> host = makeHost(static_cast<int32_t>(frames));
    const int32_t unitsPerFrame = host->Settings().videoType == 0 ? 1 : 2;
    const double lastUnit = static_cast<double>(sourceFrames) * unitsPerFrame - 1;
    const std::vector<double> positions = BuildTimeline(*host).positions;
    // Units that show a source field; `strict` also keeps them within an
    // effect no longer than the source, whose last unit is the source's.
    auto shown = [&](double position, bool strict) {
      if (position < 0) return false;
      return strict ? position <= lastUnit : std::floor(position + kUnitTolerance) <= lastUnit;
    };
    auto lastShownUnit = [&](bool strict) -> int64_t {
      for (size_t u = 0; u < positions.size(); ++u) {
        if (!shown(positions[u], strict)) return static_cast<int64_t>(u) - 1;
      }
      return -2;  // still in the source at the end of this length
    };
    int64_t last = lastShownUnit(false);
    if (last == -2) continue;
    if (last / unitsPerFrame + 1 <= sourceFrames) last = lastShownUnit(true);
    if (last < 0) throw NeverEnds("the first key shows no frame of the source");
    PlayOnceLength length;
    length.outputFrames = static_cast<int32_t>(last / unitsPerFrame + 1);
    length.effectFrames = std::max(sourceFrames, length.outputFrames);
    return length;
  }
  throw NeverEnds("the keys do not play to the end of the source within " +
                  std::to_string(longest) + " frames");
}

}  // namespace refhost
