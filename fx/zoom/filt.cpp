#include "fx/zoom/filt.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace zoom {
namespace {

constexpr double kPi = 3.14159265358979323846;
// Below this the I0 series has converged for our purposes.
constexpr double kI0Epsilon = 1e-7;

double Box(double x, const void*) { return x >= -0.5 && x < 0.5 ? 1.0 : 0.0; }

double Triangle(double x, const void*) {
  if (x >= -1.0 && x < 0.0) return x + 1.0;
  if (x >= 0.0 && x < 1.0) return 1.0 - x;
  return 0.0;
}

double Quadratic(double x, const void*) {
  if (x >= -1.5 && x < -0.5) return 0.5 * (x + 1.5) * (x + 1.5);
  if (x >= -0.5 && x < 0.5) return 0.75 - x * x;
  if (x >= 0.5 && x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
  return 0.0;
}

double Cubic(double x, const void*) {
  if (x >= -2.0 && x < -1.0) return (x + 2.0) * (x + 2.0) * (x + 2.0) / 6.0;
  if (x >= -1.0 && x < 0.0) return (4.0 - 6.0 * x * x - 3.0 * x * x * x) / 6.0;
  if (x >= 0.0 && x < 1.0) return (4.0 - 6.0 * x * x + 3.0 * x * x * x) / 6.0;
  if (x >= 1.0 && x < 2.0) return (2.0 - x) * (2.0 - x) * (2.0 - x) / 6.0;
  return 0.0;
}

double CatmullRom(double x, const void*) {
  if (x >= -2.0 && x < -1.0) return (x * x * x + 5.0 * x * x + 8.0 * x + 4.0) / 2.0;
  if (x >= -1.0 && x < 0.0) return (2.0 - 5.0 * x * x - 3.0 * x * x * x) / 2.0;
  if (x >= 0.0 && x < 1.0) return (2.0 - 5.0 * x * x + 3.0 * x * x * x) / 2.0;
  if (x >= 1.0 && x < 2.0) return (-x * x * x + 5.0 * x * x - 8.0 * x + 4.0) / 2.0;
  return 0.0;
}

double Mitchell(double x, const void* params) {
  const auto& m = *static_cast<const MitchellParams*>(params);
  if (x >= -2.0 && x < -1.0) return m.q0 - x * (m.q1 - x * (m.q2 - x * m.q3));
  if (x >= -1.0 && x < 0.0) return m.p0 + x * x * (m.p2 - x * m.p3);
  if (x >= 0.0 && x < 1.0) return m.p0 + x * x * (m.p2 + x * m.p3);
  if (x >= 1.0 && x < 2.0) return m.q0 + x * (m.q1 + x * (m.q2 + x * m.q3));
  return 0.0;
}

double Gaussian(double x, const void*) {
  return std::exp(-2.0 * x * x) * std::sqrt(0.6366197723675814);
}

double Sinc(double x, const void*) {
  if (x == 0.0) return 1.0;
  return std::sin(kPi * x) / (kPi * x);
}

// The table keeps a "bessel" row for its name; its kernel is zero, which the
// weight builder turns into one source sample per output.
double Zero(double, const void*) { return 0.0; }

double Hanning(double x, const void*) { return 0.5 + 0.5 * std::cos(kPi * x); }

double Hamming(double x, const void*) { return 0.54 + 0.46 * std::cos(kPi * x); }

double Blackman(double x, const void*) {
  return 0.42 + 0.5 * std::cos(kPi * x) + 0.08 * std::cos(2.0 * kPi * x);
}

double Kaiser(double x, const void* params) {
  const auto& k = *static_cast<const KaiserParams*>(params);
  // The resampler never asks beyond the support; keep the root real anyway.
  if (x < -1.0 || x > 1.0) return 0.0;
  return I0(k.a * std::sqrt(1.0 - x * x)) * k.i0a;
}

MitchellParams mitchellParams{};
KaiserParams kaiserParams{};

Filter filterTable[kMaxFilters] = {
    {"point", Box, 0.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"box", Box, 0.5, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"triangle", Triangle, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"quadratic", Quadratic, 1.5, 1.0, 0, 0, 1, nullptr, nullptr, nullptr},
    {"cubic", Cubic, 2.0, 1.0, 0, 0, 1, nullptr, nullptr, nullptr},
    {"catrom", CatmullRom, 2.0, 1.0, 0, 1, 0, nullptr, nullptr, nullptr},
    {"mitchell", Mitchell, 2.0, 1.0, 0, 0, 0, MitchellInit, MitchellPrint, &mitchellParams},
    {"gaussian", Gaussian, 1.25, 1.0, 0, 0, 1, nullptr, nullptr, nullptr},
    {"sinc", Sinc, 4.0, 1.0, 1, 1, 0, nullptr, nullptr, nullptr},
    {"bessel", Zero, 3.2383, 1.0, 1, 0, 0, nullptr, nullptr, nullptr},
    {"hanning", Hanning, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"hamming", Hamming, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"blackman", Blackman, 1.0, 1.0, 0, 1, 1, nullptr, nullptr, nullptr},
    {"kaiser", Kaiser, 1.0, 1.0, 0, 1, 1, KaiserInit, KaiserPrint, &kaiserParams},
};

// Counts the rows and fills the parameter blocks. A function-local static
// makes the one-time set-up safe even if two threads draw at once.
int InitialisedCount() {
  static const int count = [] {
    int rows = 0;
    while (rows < kMaxFilters && filterTable[rows].name != nullptr) ++rows;
    MitchellInit(&mitchellParams, 1.0 / 3.0, 1.0 / 3.0);
    KaiserInit(&kaiserParams, 6.5, 0.0);
    return rows;
  }();
  return count;
}

}  // namespace

double I0(double x) {
  const double y = x * x / 4.0;
  if (y <= kI0Epsilon) return 1.0;
  double sum = 1.0;
  double term = y;
  for (int k = 2;; ++k) {
    sum += term;
    term *= y / (static_cast<double>(k) * k);
    if (term <= kI0Epsilon) break;
  }
  return sum;
}

void MitchellInit(void* params, double b, double c) {
  auto& m = *static_cast<MitchellParams*>(params);
  m.p0 = (6.0 - 2.0 * b) / 6.0;
  m.p2 = (-18.0 + 12.0 * b + 6.0 * c) / 6.0;
  m.p3 = (12.0 - 9.0 * b - 6.0 * c) / 6.0;
  m.q0 = (8.0 * b + 24.0 * c) / 6.0;
  m.q1 = (-12.0 * b - 48.0 * c) / 6.0;
  m.q2 = (6.0 * b + 30.0 * c) / 6.0;
  m.q3 = (-b - 6.0 * c) / 6.0;
}

void KaiserInit(void* params, double a, double) {
  auto& k = *static_cast<KaiserParams*>(params);
  k.a = a;
  k.i0a = 1.0 / I0(a);
}

void MitchellPrint(const void* params) {
  const auto& m = *static_cast<const MitchellParams*>(params);
  std::printf("mitchell: p0=%g p2=%g p3=%g q0=%g q1=%g q2=%g q3=%g\n", m.p0, m.p2, m.p3, m.q0, m.q1,
              m.q2, m.q3);
}

void KaiserPrint(const void* params) {
  const auto& k = *static_cast<const KaiserParams*>(params);
  std::printf("kaiser: a=%g i0a=%g\n", k.a, k.i0a);
}

const Filter* FindFilter(const char* name) {
  const int count = InitialisedCount();
  if (name == nullptr) return nullptr;
  for (int row = 0; row < count; ++row) {
    if (std::strcmp(filterTable[row].name, name) == 0) return &filterTable[row];
  }
  return nullptr;
}

const Filter* FilterRows() {
  InitialisedCount();
  return filterTable;
}

int FilterCount() { return InitialisedCount(); }

}  // namespace zoom
