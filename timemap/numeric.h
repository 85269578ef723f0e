// Conversions from the timeline's doubles to unit and field numbers.
//
// Positions and key values come from the host and may be anything a user or
// a damaged project can store; a plain cast of an out-of-range double is
// undefined, so every conversion saturates at the int32 range (NaN gives 0).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Truncation toward zero, saturated to the int32 range.
inline int32_t TruncToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(value);
}

// Floor, saturated to the int32 range.
inline int32_t FloorToInt32(double value) { return TruncToInt32(std::floor(value)); }

// An int64 result brought back to the int32 range.
inline int32_t SaturateToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}
