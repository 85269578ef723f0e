// The named filter table and its kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fx/zoom/filt.h"

namespace {

using zoom::Filter;
using zoom::FindFilter;

double Eval(const char* name, double x) {
  const Filter* filter = FindFilter(name);
  EXPECT_NE(filter, nullptr) << name;
  return filter == nullptr ? NAN : filter->evaluate(x, filter->params);
}

TEST(ZoomFilter, TableRowsInOrderWithTheirFlags) {
  struct Row {
    const char* name;
    double support;
    int wantsWindow, cardinal, unitRange;
  };
  const Row rows[] = {
      {"point", 0.0, 0, 1, 1},     {"box", 0.5, 0, 1, 1},       {"triangle", 1.0, 0, 1, 1},
      {"quadratic", 1.5, 0, 0, 1}, {"cubic", 2.0, 0, 0, 1},     {"catrom", 2.0, 0, 1, 0},
      {"mitchell", 2.0, 0, 0, 0},  {"gaussian", 1.25, 0, 0, 1}, {"sinc", 4.0, 1, 1, 0},
      {"bessel", 3.2383, 1, 0, 0}, {"hanning", 1.0, 0, 1, 1},   {"hamming", 1.0, 0, 1, 1},
      {"blackman", 1.0, 0, 1, 1},  {"kaiser", 1.0, 0, 1, 1},
  };
  ASSERT_EQ(zoom::FilterCount(), 14);
  const Filter* table = zoom::FilterRows();
  for (int i = 0; i < 14; ++i) {
    SCOPED_TRACE(rows[i].name);
    EXPECT_STREQ(table[i].name, rows[i].name);
    EXPECT_EQ(table[i].support, rows[i].support);
    EXPECT_EQ(table[i].blur, 1.0);
    EXPECT_EQ(table[i].wantsWindow, rows[i].wantsWindow);
    EXPECT_EQ(table[i].cardinal, rows[i].cardinal);
    EXPECT_EQ(table[i].unitRange, rows[i].unitRange);
    const bool parameterised = i == 6 || i == 13;
    EXPECT_EQ(table[i].init != nullptr, parameterised);
    EXPECT_EQ(table[i].params != nullptr, parameterised);
    EXPECT_EQ(FindFilter(rows[i].name), &table[i]);
  }
  EXPECT_EQ(table[14].name, nullptr);
}

TEST(ZoomFilter, LookupIsExactAndCaseSensitive) {
  for (const char* name : {"Catrom", "catro", "catrom ", ""}) EXPECT_EQ(FindFilter(name), nullptr);
  EXPECT_EQ(FindFilter(nullptr), nullptr);
}

TEST(ZoomFilter, KernelValuesAtListedPoints) {
  struct Point {
    double x, value;
  };
  struct Case {
    const char* name;
    std::vector<Point> points;
  };
  const double i0OfSixAndAHalf = zoom::I0(6.5);
  // clang-format off
  const Case cases[] = {
      {"point", {{-0.5, 1.0}, {0.5, 0.0}}},
      {"box", {{-0.5, 1.0}, {0.5, 0.0}, {0.4999, 1.0}}},
      {"triangle", {{1.0, 0.0}, {-1.0, 0.0}, {0.25, 0.75}, {-0.25, 0.75}}},
      {"quadratic", {{0.0, 0.75}, {1.0, 0.125}, {-1.0, 0.125}, {1.5, 0.0}}},
      {"cubic", {{0.0, 2.0 / 3.0}, {1.0, 1.0 / 6.0}, {-1.0, 1.0 / 6.0}, {-2.0, 0.0}}},
      {"catrom", {{0.0, 1.0}, {1.0, 0.0}, {-1.0, 0.0}, {0.5, 0.5625}, {-0.5, 0.5625}, {1.5, -0.0625}, {-1.5, -0.0625}}},
      {"mitchell", {{0.0, 8.0 / 9.0}, {2.0, 0.0}, {-2.0, 0.0}, {1.0, 1.0 / 18.0}, {-1.0, 1.0 / 18.0}}},
      {"gaussian", {{0.0, 0.7978845608}, {1.0, 0.7978845608 * std::exp(-2.0)}}},
      {"sinc", {{0.0, 1.0}, {0.5, 2.0 / M_PI}, {2.0, 0.0}}},
      {"bessel", {{0.0, 0.0}, {1.7, 0.0}}},
      {"hanning", {{1.0, 0.0}, {0.0, 1.0}}},
      {"hamming", {{1.0, 0.08}, {0.0, 1.0}}},
      {"blackman", {{0.0, 1.0}, {1.0, 0.0}}},
      {"kaiser", {{0.0, 1.0}, {1.0, 1.0 / i0OfSixAndAHalf}, {-1.0, 1.0 / i0OfSixAndAHalf}}},
  };
  // clang-format on
  for (const Case& c : cases) {
    for (const Point& p : c.points) {
      EXPECT_NEAR(Eval(c.name, p.x), p.value, 1e-9) << c.name << "(" << p.x << ")";
    }
  }
}

TEST(ZoomFilter, BesselFunctionSeries) {
  EXPECT_EQ(zoom::I0(0.0), 1.0);
  EXPECT_EQ(zoom::I0(1e-4), 1.0);  // below the series threshold
  EXPECT_NEAR(zoom::I0(1.0), 1.2660658777520082, 1e-6);
  EXPECT_NEAR(zoom::I0(2.0), 2.2795853023360673, 1e-6);
  EXPECT_NEAR(zoom::I0(-2.0), 2.2795853023360673, 1e-6);
  EXPECT_NEAR(zoom::I0(6.5), 106.292858, 1e-5);
}

TEST(ZoomFilter, ParameterBlocksAndTheirPrintout) {
  // The printout shows every coefficient the parameters make.
  zoom::MitchellParams m{};
  zoom::MitchellInit(&m, 1.0 / 3.0, 1.0 / 3.0);
  zoom::KaiserParams k{};
  zoom::KaiserInit(&k, 6.5, 0.0);
  zoom::MitchellParams simple{};
  zoom::MitchellInit(&simple, 0.0, 0.5);  // the Catmull-Rom member of the family
  for (double x : {-1.75, -1.25, -0.5, 0.0, 0.3, 1.2, 1.9}) {
    const double mitchell = FindFilter("mitchell")->evaluate(x, &simple);
    EXPECT_NEAR(mitchell, Eval("catrom", x), 1e-12) << x;
  }

  testing::internal::CaptureStdout();
  zoom::MitchellPrint(&m);
  zoom::KaiserPrint(&k);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed,
            "mitchell: p0=0.888889 p2=-2 p3=1.16667 q0=1.77778 q1=-3.33333 q2=2 q3=-0.388889\n"
            "kaiser: a=6.5 i0a=0.00940797\n");
}

}  // namespace
