// The per-unit timeline: from the waypoints in play order to the source
// position, speed, strobe length and countdown of every output unit.
#include <algorithm>
#include <cstring>
#include <limits>

#include "host/corvalis.h"
#include "timemap/end_limits.h"
#include "timemap/numeric.h"
#include "timemap/timeline_state.h"

namespace {

// Speeds are keyed in percent and used as fractions.
constexpr double kPercent = 0.01;
// Duration given to a segment whose two speeds cancel out (no average speed
// can cover the distance).
constexpr double kStalledSegmentUnits = 30.0;
// Lets a key time a hair below a whole unit count as that unit.
constexpr double kUnitSlack = 0.01;

double NumberAt(const avxPNumber* parameter, double time, double fallback) {
  return parameter != nullptr ? parameter->GetValue(time) : fallback;
}

void ComputeSegments(Waypoints& waypoints) {
  const int32_t last = waypoints.Last();
  for (int32_t j = 0; j < last; ++j) {
    const double distance =
        static_cast<double>(int64_t{waypoints.positions[j + 1]} - waypoints.positions[j]);
    const int32_t hold = waypoints.holds[j];
    const double from = waypoints.speeds[j];
    const double to = waypoints.speeds[j + 1];
    double duration = 0.0;
    if (from + to == 0.0) {
      duration = kStalledSegmentUnits;
    } else {
      // The hold covers from × hold at constant speed; the linear ramp from
      // `from` to `to` covers the rest at its average speed.
      duration = 2.0 * (distance - from * hold) / (from + to) + hold;
    }
    if (hold < duration) {
      waypoints.durations[j] = duration;
      waypoints.accelerations[j] = (to - from) / (duration - hold + 1.0);
    } else {
      // A hold at least as long as the ramp (or a ramp that cannot reach the
      // next waypoint) plays the hold, then jumps.
      waypoints.durations[j] = hold;
      waypoints.accelerations[j] = 0.0;
    }
  }
  waypoints.durations[last] = waypoints.holds[last];
  waypoints.accelerations[last] = 0.0;
}

// The strobe length sampled at a new strobe sample: interpolated across the
// segment by how much of it is left.
int32_t SampledStrobe(const Waypoints& waypoints, const TimelineState& state) {
  const int32_t k = state.segment;
  const int32_t last = waypoints.Last();
  if (k >= 0 && k < last && waypoints.durations[k] != 0.0) {
    const double duration = waypoints.durations[k];
    const double startPart = static_cast<double>(int64_t{waypoints.strobes[k]} * state.remaining);
    return TruncToInt32(((duration - state.remaining) * waypoints.strobes[k + 1] + startPart) /
                        duration);
  }
  return waypoints.strobes[last];
}

// One unit less, stopping at the bottom of the range (a key can hold any
// value, and the counters must not wrap).
void CountDown(int32_t& counter) {
  if (counter > std::numeric_limits<int32_t>::min()) --counter;
}

// Whether a build from these waypoints would repeat the last one. Speeds are
// compared bit for bit, so that even the sign of a zero speed (which the
// timeline stores) must match.
bool SameTimelineInputs(const Corvalis::TimelineInputs& last, const Waypoints& waypoints,
                        int32_t unitCount, int32_t afterEnd) {
  if (!last.built || last.unitCount != unitCount || last.afterEnd != afterEnd) return false;
  if (last.positions != waypoints.positions || last.strobes != waypoints.strobes ||
      last.holds != waypoints.holds || last.speeds.size() != waypoints.speeds.size()) {
    return false;
  }
  return waypoints.speeds.empty() || std::memcmp(last.speeds.data(), waypoints.speeds.data(),
                                                 waypoints.speeds.size() * sizeof(double)) == 0;
}

}  // namespace

int32_t Corvalis::UnitCount() const {
  return SaturateToInt32(int64_t{GetTotalFrames()} * (frameBased ? 1 : 2));
}

void Corvalis::BuildTimeline() {
  const int32_t unitCount = UnitCount();
  const auto* speedParameter = dynamic_cast<const avxPNumber*>(FindParameter("speed"));
  const auto* strobeParameter = dynamic_cast<const avxPNumber*>(FindParameter("strobe"));
  const auto* holdParameter = dynamic_cast<const avxPNumber*>(FindParameter("hold"));

  Waypoints waypoints;
  for (int32_t playOrder = 1;; ++playOrder) {
    const int32_t index = FindKeyByOrder(playOrder);
    if (index < 0) break;
    const SpeedKey& key = keyTable[index];
    const double time = key.time;
    waypoints.positions.push_back(TruncToInt32((unitCount - 1.0) * time + kUnitSlack));
    waypoints.speeds.push_back(NumberAt(speedParameter, time, key.speed) * kPercent);
    waypoints.strobes.push_back(TruncToInt32(NumberAt(strobeParameter, time, key.strobe)));
    waypoints.holds.push_back(TruncToInt32(NumberAt(holdParameter, time, key.hold)));
    waypoints.durations.push_back(0.0);
    waypoints.accelerations.push_back(0.0);
  }
  // Without a first waypoint there is nothing to play; the last timeline
  // stays as it was.
  if (waypoints.positions.empty()) return;
  // Every render asks for the timeline, and a long one costs far more than
  // the field: rebuild it only when what it is made of changed.
  if (SameTimelineInputs(timelineBuiltFrom, waypoints, unitCount, afterEnd) &&
      timelinePositions.size() == static_cast<size_t>(std::max(unitCount, 0))) {
    return;
  }
  timelineBuiltFrom.built = false;  // until the arrays below are complete
  ComputeSegments(waypoints);
  const int32_t last = waypoints.Last();

  // Room for every unit up front, so that appending never reallocates.
  const size_t capacity = static_cast<size_t>(std::max(unitCount, 0)) + 2;
  timelinePositions.reserve(capacity);
  timelineSpeeds.reserve(capacity);
  timelineStrobes.reserve(capacity);
  timelineCountdowns.reserve(capacity);
  timelineKeyMarks.reserve(capacity);
  timelinePositions.clear();
  timelineSpeeds.clear();
  timelineStrobes.clear();
  timelineCountdowns.clear();
  timelineKeyMarks.clear();

  const BuiltUnits built{timelinePositions, timelineSpeeds, timelineStrobes, timelineCountdowns};
  TimelineState state;
  for (int32_t unit = 0; unit < unitCount; ++unit) {
    int32_t mark = kNone;
    if (state.cycling) {
      const size_t copied = static_cast<size_t>(CycleIndex(afterEnd, unit, state.cycleLength));
      const double position = timelinePositions[copied];
      const double speedAt = timelineSpeeds[copied];
      const int32_t strobeAt = timelineStrobes[copied];
      const int32_t countdownAt = timelineCountdowns[copied];
      timelinePositions.push_back(position);
      timelineSpeeds.push_back(speedAt);
      timelineStrobes.push_back(strobeAt);
      timelineCountdowns.push_back(countdownAt);
      timelineKeyMarks.push_back(kNone);
      continue;
    }
    if (state.remaining > 0) {
      // Inside a segment: the speed ramps only once the hold has run out, and
      // changes before the position moves.
      if (state.holdCounter <= 0) state.speed += state.acceleration;
      state.position += state.speed;
    } else if (state.segment < last) {
      // A new segment starts exactly at its waypoint, whatever drift the
      // steps left.
      const int32_t k = ++state.segment;
      mark = k;
      state.position = waypoints.positions[k];
      state.speed = waypoints.speeds[k];
      state.strobeLength = waypoints.strobes[k];
      state.remaining = TruncToInt32(waypoints.durations[k]);
      state.acceleration = waypoints.accelerations[k];
      state.holdCounter = waypoints.holds[k];
    } else {
      RunEndStep(afterEnd, unit, waypoints, built, state);
    }

    if (state.countdown == 0) {
      state.shownPosition = state.position;
      state.strobeLength = SampledStrobe(waypoints, state);
      state.countdown = state.strobeLength;
    }

    timelinePositions.push_back(state.shownPosition);
    timelineSpeeds.push_back(state.speed);
    timelineStrobes.push_back(state.strobeLength);
    timelineCountdowns.push_back(state.countdown);
    timelineKeyMarks.push_back(mark);

    CountDown(state.remaining);
    CountDown(state.holdCounter);
    CountDown(state.countdown);
  }
  timelineBuiltFrom.positions = waypoints.positions;
  timelineBuiltFrom.speeds = waypoints.speeds;
  timelineBuiltFrom.strobes = waypoints.strobes;
  timelineBuiltFrom.holds = waypoints.holds;
  timelineBuiltFrom.unitCount = unitCount;
  timelineBuiltFrom.afterEnd = afterEnd;
  timelineBuiltFrom.built = true;
}

TimelineView Corvalis::GetTimeline() {
  if (timelinePositions.empty()) BuildTimeline();
  return TimelineView{timelinePositions, timelineSpeeds, timelineStrobes, timelineCountdowns,
                      timelineKeyMarks};
}
