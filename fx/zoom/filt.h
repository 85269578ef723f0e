// Named one-dimensional filter kernels for the resampler.
//
// The table is process-wide, filled on the first lookup and constant
// afterwards. A kernel is evaluated at x in source pixels divided by the
// filter's scale; outside its support the resampler takes it as 0.
#pragma once

#include <cstdint>

namespace zoom {

using KernelFunction = double (*)(double x, const void* params);
// Computes a parameter block from up to two arguments.
using KernelInit = void (*)(void* params, double first, double second);
using KernelPrint = void (*)(const void* params);

struct Filter {
  const char* name;
  KernelFunction evaluate;
  double support;       // half-width in filter units
  double blur;          // widening factor, 1.0 in every row
  uint8_t wantsWindow;  // unbounded kernel meant to be windowed (recorded only)
  uint8_t cardinal;     // 1 at 0 and 0 at every other integer
  uint8_t unitRange;    // values within 0..1 (recorded only)
  KernelInit init;
  KernelPrint print;
  void* params;
};

// Room reserved in the table; it ends at the first row without a name.
constexpr int kMaxFilters = 30;

struct MitchellParams {
  double p0, p2, p3, q0, q1, q2, q3;
};

struct KaiserParams {
  double a;
  double i0a;  // 1 / I0(a), so that the window is 1 at 0
};

// The row whose name equals name exactly, or null.
const Filter* FindFilter(const char* name);
// Row 0 of the table and the number of named rows.
const Filter* FilterRows();
int FilterCount();

// The modified Bessel function of order 0, by its power series.
double I0(double x);

// Parameter blocks of the two parameterised kernels (second unused by Kaiser).
void MitchellInit(void* params, double b, double c);
void KaiserInit(void* params, double a, double unused);
void MitchellPrint(const void* params);
void KaiserPrint(const void* params);

}  // namespace zoom
