#include "timemap/end_limits.h"

#include <algorithm>
#include <cmath>

#include "host/corvalis.h"
#include "timemap/numeric.h"

void RunEndStep(int32_t afterEnd, int32_t unit, const Waypoints& waypoints, const BuiltUnits& built,
                TimelineState& state) {
  const int32_t last = waypoints.Last();
  switch (afterEnd) {
    case kAfterEndBlack:
      // The remaining count stays used up, so every later unit comes back
      // here and is black as well.
      state.position = kBlackPosition;
      state.shownPosition = kBlackPosition;
      break;
    case kAfterEndHoldSpeed:
      state.remaining = kOpenEnd;
      state.holdCounter = kOpenEnd;
      state.position += state.speed;
      break;
    case kAfterEndHoldCurve:
      // The hold counter is already used up, so the following units keep
      // adding the last ramp's acceleration: the curve carries on.
      if (last > 0) state.acceleration = waypoints.accelerations[last - 1];
      state.speed += state.acceleration;
      state.remaining = kOpenEnd;
      state.position += state.speed;
      break;
    case kAfterEndLoop:
      state.cycleLength = unit;
      state.cycling = true;
      state.position = waypoints.positions[0];
      state.speed = waypoints.speeds[0];
      state.strobeLength = waypoints.strobes[0];
      state.remaining = TruncToInt32(waypoints.durations[0]);
      state.shownPosition = waypoints.positions[0];
      break;
    case kAfterEndPingPong: {
      state.cycling = true;
      state.cycleLength = unit > 2 ? unit : 2;
      const int32_t turn = std::max(unit - 2, 0);
      state.position = built.positions[turn];
      state.speed = built.speeds[turn];
      state.strobeLength = built.strobes[turn];
      state.countdown = built.countdowns[turn];
      state.shownPosition = state.position;
      break;
    }
    default:
      // "Freeze" and unknown values: the position stays where the last
      // segment left it while the strobe keeps sampling it.
      break;
  }
}

int32_t CycleIndex(int32_t afterEnd, int32_t unit, int32_t cycleLength) {
  if (cycleLength <= 1 || unit < 0) return 0;
  if (afterEnd == kAfterEndLoop) return unit % cycleLength;
  // Ping-pong reflects at 0 and at cycleLength − 1 without repeating the
  // turning units, a triangle wave of period 2 × (cycleLength − 1); taking
  // the remainder first keeps the lookup constant-time for any unit.
  const int32_t period = 2 * (cycleLength - 1);
  const int32_t phase = unit % period;
  return phase > cycleLength - 1 ? period - phase : phase;
}

std::optional<double> ApplyOverLimits(int32_t overLimits, double position, int32_t unitCount) {
  const double lastUnit = static_cast<double>(unitCount) - 1.0;
  if (!std::isfinite(position)) return std::nullopt;
  if (position >= 0.0 && position <= lastUnit) return position;
  // A source of a single unit has nowhere to loop or reflect to: every
  // moving rule shows that unit.
  const bool singleUnit = unitCount == 1;
  switch (overLimits) {
    case kOverLimitsBlack:
      return std::nullopt;
    case kOverLimitsFreeze:
      position = position < 0.0 ? 0.0 : lastUnit;
      break;
    case kOverLimitsLoop:
      if (singleUnit) {
        position = 0.0;
      } else if (unitCount > 1) {
        // Adding N − 1 until the position is not negative, in one step.
        if (position < 0.0) position += std::ceil(-position / lastUnit) * lastUnit;
        while (position < 0.0) position += lastUnit;
        position = std::fmod(position, static_cast<double>(unitCount));
      }
      break;
    case kOverLimitsPingPong:
      if (singleUnit) {
        position = 0.0;
      } else if (unitCount > 1) {
        // Reflecting at 0 and at N − 1 until inside is a triangle wave of
        // period 2 × (N − 1), folded here in one step.
        const double period = 2.0 * lastUnit;
        position = std::fmod(std::fabs(position), period);
        if (position > lastUnit) position = period - position;
      }
      break;
    default:
      break;
  }
  if (position < 0.0) return std::nullopt;
  return position;
}
