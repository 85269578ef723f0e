// What the timeline does where the keys run out ("After End") and what a
// position outside the source means ("Over Limits").
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "timemap/timeline_state.h"

// The timeline entries built so far, which "Ping-pong" turns back along.
struct BuiltUnits {
  const std::vector<double>& positions;
  const std::vector<double>& speeds;
  const std::vector<int32_t>& strobes;
  const std::vector<int32_t>& countdowns;
};

// Applies the "After End" behaviour at output unit `unit`, once the last
// waypoint's duration is used up.
void RunEndStep(int32_t afterEnd, int32_t unit, const Waypoints& waypoints, const BuiltUnits& built,
                TimelineState& state);

// The earlier unit that unit `unit` copies while the timeline cycles.
int32_t CycleIndex(int32_t afterEnd, int32_t unit, int32_t cycleLength);

// The "Over Limits" rule for a position outside 0 … unitCount − 1: the
// position to show instead, or nothing for black.
std::optional<double> ApplyOverLimits(int32_t overLimits, double position, int32_t unitCount);
