// Integer weights of one output pixel.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "fx/zoom/zoom.h"

namespace zoom {
namespace {

// Reported on stderr and thrown: the filters and windows of the driver never
// produce these, so they mean a bug rather than bad input.
[[noreturn]] void WeightError(const char* what) {
  std::fprintf(stderr, "make_weights: %s\n", what);
  throw ZoomError(what);
}

int32_t CheckedWeight(double w) {
  const double rounded = std::floor(w + 0.5);
  if (!(rounded >= std::numeric_limits<int16_t>::min() &&
        rounded <= std::numeric_limits<int16_t>::max())) {
    WeightError("weight out of 16-bit range");
  }
  return static_cast<int32_t>(rounded);
}

}  // namespace

void MakeWeights(double centre, const Filter& filter, const FilterParams& params, int32_t length,
                 bool trimZeros, WeightRange& range) {
  if (length < 1 || length > std::numeric_limits<int16_t>::max()) {
    WeightError("source window length out of range");
  }
  int32_t first = std::max(static_cast<int32_t>(centre - params.supp + 0.5), 0);
  int32_t end = std::min(static_cast<int32_t>(centre + params.supp + 0.5), length);
  // A filter simplified to point keeps the destination reach of its original
  // support, so an edge output can fall past the source: it takes the
  // nearest edge pixel instead of an empty range.
  if (first >= end) {
    first = std::min(first, length - 1);
    end = first + 1;
  }
  // Rounding of the two ends can add one pixel to the widest range.
  if (end - first > params.wid + 1) WeightError("weight range wider than the filter");

  // The kernel is evaluated twice (sum, then weights) rather than keeping the
  // raw values, so that no buffer is needed per row.
  double den = 0.0;
  for (int32_t i = first; i < end; ++i) {
    den += filter.evaluate((i + 0.5 - centre) / params.scale, filter.params);
  }
  const double norm = den != 0.0 ? kWeightUnit / den : kWeightUnit;

  int32_t storedFirst = first;
  int32_t stored = 0;
  int32_t total = 0;
  int32_t lastNonZero = first;
  for (int32_t i = first; i < end; ++i) {
    const double raw = filter.evaluate((i + 0.5 - centre) / params.scale, filter.params);
    const int32_t w = CheckedWeight(raw * norm);
    if (trimZeros && stored == 0 && w == 0) {
      ++storedFirst;
      continue;
    }
    range.weights[stored++] = static_cast<int16_t>(w);
    total += w;
    if (w != 0) lastNonZero = i;
  }

  if (total == 0) {
    // Nothing survived the rounding (or the kernel is zero): one sample.
    const int32_t middle = (first + end) >> 1;
    range.first = static_cast<int16_t>(middle);
    range.end = static_cast<int16_t>(middle + 1);
    range.weights[0] = static_cast<int16_t>(kWeightUnit);
    return;
  }
  first = storedFirst;
  if (trimZeros) end = lastNonZero + 1;
  if (total != kWeightUnit) {
    const int32_t nearest = std::clamp(static_cast<int32_t>(centre + 0.5), first, end - 1);
    const int32_t fixed = range.weights[nearest - first] + (kWeightUnit - total);
    range.weights[nearest - first] = static_cast<int16_t>(CheckedWeight(fixed));
  }
  range.first = static_cast<int16_t>(first);
  range.end = static_cast<int16_t>(end);
}

}  // namespace zoom
