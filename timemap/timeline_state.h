// The working state of a timeline build: the waypoints in play order and the
// running state of the per-unit state machine. Built afresh by every build
// and discarded after it.
#pragma once

#include <cstdint>
#include <vector>

// Marks "none" in unit, field and key-mark values.
constexpr int32_t kNone = -1;
// A timeline position that shows black.
constexpr double kBlackPosition = -1.0;
// A remaining count that keeps the state machine in its segment "for ever";
// when it runs out the end behaviour simply runs again.
constexpr int32_t kOpenEnd = 99999;

// One array per waypoint value, indexed by play sequence 0 … m.
struct Waypoints {
  std::vector<int32_t> positions;     // K: source unit of the waypoint
  std::vector<double> speeds;         // V: speed as a fraction
  std::vector<int32_t> strobes;       // S: strobe length in units
  std::vector<int32_t> holds;         // H: hold length in units
  std::vector<double> durations;      // D: segment length in output units
  std::vector<double> accelerations;  // A: per-unit change of speed

  int32_t Last() const { return static_cast<int32_t>(positions.size()) - 1; }
};

struct TimelineState {
  double position = 0.0;       // P
  double speed = 0.0;          // W
  double acceleration = 0.0;   // Acc
  int32_t remaining = 0;       // R
  int32_t holdCounter = 0;     // Hc
  int32_t strobeLength = 0;    // Sl
  int32_t countdown = 0;       // Cd
  double shownPosition = 0.0;  // Q
  int32_t segment = kNone;     // k
  bool cycling = false;
  int32_t cycleLength = 0;  // Lc
};
