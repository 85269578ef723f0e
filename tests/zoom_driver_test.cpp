// The zoom driver: weights, simplification, clipping, pass order and the
// pictures it produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "fx/zoom/zoom.h"

namespace {

using namespace zoom;

constexpr uint8_t kUntouched = 0xA5;

// A picture of random bytes (seed != 0) or of one value.
FrameRef Picture(int32_t width, int32_t height, uint32_t seed, uint8_t value = 0) {
  FrameRef image = NewImage(width, height);
  std::mt19937 random(seed);
  for (int32_t i = 0; i < image->rowBytes * height; ++i) {
    image->data[i] = seed != 0 ? static_cast<uint8_t>(random()) : value;
  }
  return image;
}

ZoomWindow WholeWindow(const FrameBuffer& buffer) {
  return MakeWindow(0, 0, buffer.width - 1, buffer.height - 1);
}

// A plan for mapping all of one picture onto all of another, as ZoomWindows
// would make it.
ZoomPlan WholePlan(FrameBuffer& source, FrameBuffer& destination, const Filter* filter) {
  const ZoomWindow a = WholeWindow(source), b = WholeWindow(destination);
  ZoomMapping m;
  m.sx = static_cast<double>(b.nx) / a.nx;
  m.sy = static_cast<double>(b.ny) / a.ny;
  m.tx = -0.5 + 0.5 * m.sx;
  m.ty = -0.5 + 0.5 * m.sy;
  return PlanZoom(ImagePicture(source), a, ImagePicture(destination), b, m, filter, filter);
}

TEST(ZoomWeights, EveryFilterAndScaleSumsToOneUnit) {
  for (int f = 0; f < FilterCount(); ++f) {
    const Filter& filter = FilterRows()[f];
    for (double s : {0.1, 0.37, 0.5, 1.0, 2.0, 3.3}) {
      const FilterParams params = MakeFilterParams(filter, s);
      std::vector<int16_t> storage(static_cast<size_t>(params.wid) + 1);
      WeightRange range{0, 0, storage.data()};
      for (int32_t d = 0; d < static_cast<int32_t>(50 * s); ++d) {
        MakeWeights((d + 0.5) / s, filter, params, 50, d % 2 == 0, range);
        SCOPED_TRACE(testing::Message() << filter.name << " s=" << s << " d=" << d);
        ASSERT_TRUE(range.first >= 0 && range.first < range.end && range.end <= 50);
        EXPECT_EQ(std::accumulate(range.weights, range.weights + range.end - range.first, 0),
                  kWeightUnit);
      }
    }
  }
}

TEST(ZoomWeights, TrimmingBesselFallbackAndDoubling) {
  std::vector<int16_t> storage(64);
  WeightRange range{0, 0, storage.data()};
  auto weights = [&](const char* name, double s, double centre, int32_t length, bool trim,
                     int count) {
    const Filter& filter = *FindFilter(name);
    MakeWeights(centre, filter, MakeFilterParams(filter, s), length, trim, range);
    std::vector<int> got{range.first, range.end};
    got.insert(got.end(), range.weights, range.weights + count);
    return got;
  };
  // Centred on pixel 5: only that pixel has a non-zero weight, and trimming
  // drops the zeros around it; at the picture's edge the range is clipped.
  EXPECT_EQ(weights("catrom", 1, 5.5, 20, false, 4), (std::vector<int>{4, 8, 0, 16384, 0, 0}));
  EXPECT_EQ(weights("catrom", 1, 5.5, 20, true, 1), (std::vector<int>{5, 6, 16384}));
  EXPECT_EQ(weights("catrom", 1, 0.5, 20, false, 0), (std::vector<int>{0, 3}));
  // Bessel's weights sum to zero around 10.3 (range 7..13): the middle sample.
  for (bool trim : {false, true}) {
    EXPECT_EQ(weights("bessel", 1, 10.3, 40, trim, 1), (std::vector<int>{10, 11, 16384})) << trim;
  }
  const FilterParams doubling = MakeFilterParams(*FindFilter("triangle"), 2.0);
  EXPECT_EQ(std::vector<double>({doubling.scale, doubling.supp, double(doubling.wid)}),
            std::vector<double>({1.0, 1.0, 2.0}));
  EXPECT_EQ(weights("triangle", 2, 0.75, 10, true, 2), (std::vector<int>{0, 2, 12288, 4096}));
}

TEST(ZoomPlan, FiltersForModesAndSimplification) {
  const Filter* point = FindFilter("point");
  const Filter* catrom = FindFilter("catrom");
  const Filter* byMode[] = {point, catrom, FindFilter("triangle"), catrom, point, catrom};
  for (int mode = -1; mode <= 6; ++mode) {
    EXPECT_EQ(FilterForMode(mode), mode >= 0 && mode < 6 ? byMode[mode] : nullptr) << mode;
  }
  // By size: reducing (or keeping) both ways takes mode 1, enlarging either way mode 3.
  EXPECT_EQ(ResolveModeBySize(5, 720, 486, 90, 61), 1);
  EXPECT_EQ(ResolveModeBySize(5, 720, 486, 720, 486), 1);
  EXPECT_EQ(ResolveModeBySize(5, 720, 486, 721, 61), 3);
  EXPECT_EQ(ResolveModeBySize(5, 720, 486, 90, 487), 3);
  EXPECT_EQ(ResolveModeBySize(2, 720, 486, 90, 61), 2);

  struct Case {
    const char* filter;
    double s, offset;
    bool simplified;
  };
  // clang-format off
  const Case cases[] = {
      {"catrom", 1.0, 0.5, true}, {"catrom", 1.0, 3.5, true},  // samples on source pixels
      {"catrom", 1.0, 0.25, false},                            // half-way between pixels
      {"catrom", 0.5, 0.25, false},                            // reducing: scale 2
      {"catrom", 2.0, 1.0, false},  // enlarging samples between pixels
      {"cubic", 1.0, 0.5, false},   // not cardinal
      {"point", 3.0, 0.1, true},    // support below one half
      {"box", 1.7, 0.1, true}, {"triangle", 1.0, 1.5, true}, {"triangle", 0.25, 0.5, false},
  };
  // clang-format on
  for (const Case& c : cases) {
    FilterParams params = MakeFilterParams(*FindFilter(c.filter), c.s);
    const Filter* result = SimplifyFilter(FindFilter(c.filter), params, c.s, c.offset);
    SCOPED_TRACE(testing::Message() << c.filter << " s=" << c.s << " t=" << c.offset);
    EXPECT_EQ(result == point, c.simplified);
    if (c.simplified) EXPECT_TRUE(params.scale == 1.0 && params.supp == 0.5 && params.wid == 1);
  }
}

TEST(ZoomPlan, FiltersAndPassOrderOfWholePictures) {
  struct Case {
    int32_t sw, sh, dw, dh;
    const char *xFilter, *yFilter;
    bool xFirst;
  };
  // clang-format off
  const Case cases[] = {
      {720, 486, 90, 61, "catrom", "catrom", true},   // 1575360 against 1581120 multiply-adds
      {100, 10, 1000, 10, "catrom", "point", false},  // rows map one to one; 41000 against 50000
      {10, 100, 10, 1000, "point", "catrom", true},
  };
  // clang-format on
  for (const Case& c : cases) {
    FrameRef source = NewImage(c.sw, c.sh), destination = NewImage(c.dw, c.dh);
    const ZoomPlan plan = WholePlan(*source, *destination,
                                    FilterForMode(ResolveModeBySize(5, c.sw, c.sh, c.dw, c.dh)));
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
    ASSERT_TRUE(plan.run);
    EXPECT_STREQ(plan.xFilter->name, c.xFilter);
    EXPECT_STREQ(plan.yFilter->name, c.yFilter);
    EXPECT_EQ(plan.xFirst, c.xFirst);
    EXPECT_FALSE(plan.point);
    EXPECT_EQ(plan.destination.nx, c.dw);
    EXPECT_EQ(plan.destination.ny, c.dh);
    if (c.dw != 90) continue;
    // Reducing video to a thumbnail widens the kernel by the scale.
    EXPECT_EQ(std::vector<double>({plan.x.scale, plan.x.supp, double(plan.x.wid)}),
              std::vector<double>({8.0, 16.0, 32.0}));
    EXPECT_NEAR(plan.y.scale, 486.0 / 61.0, 1e-12);
    EXPECT_EQ(plan.y.wid, 32);
  }
}

TEST(ZoomPlan, ClipsSourceAndDestinationWindows) {
  FrameRef source = Picture(10, 10, 0), destination = Picture(64, 64, 0), mask = NewMask(64, 64);
  const ZoomPicture from = ImagePicture(*source), to = ImagePicture(*destination);
  const ZoomMapping shift{1.0, 1.0, 20.0, 30.0, 0.0, 0.0};
  const Filter* catrom = FindFilter("catrom");
  auto plan = [&](ZoomWindow a, ZoomWindow b, ZoomMapping m = {1.0, 1.0, 20.0, 30.0, 0.0, 0.0},
                  const ZoomPicture* target = nullptr) {
    return PlanZoom(from, a, target ? *target : to, b, m, catrom, catrom);
  };
  // The source window reaches past its picture; the destination window is the
  // whole picture but the source only reaches a part of it.
  ZoomPlan clipped = plan(MakeWindow(-5, 2, 14, 9), MakeWindow(-10, -10, 100, 100));
  ASSERT_TRUE(clipped.run);
  auto corners = [](const ZoomWindow& w) { return std::vector<int>{w.x0, w.y0, w.x1, w.y1, w.nx}; };
  EXPECT_EQ(corners(clipped.source), (std::vector<int>{0, 2, 9, 9, 10}));
  // x0 = ceil(0 - 2 + 20 + 1e-7), x1 = floor(9 + 2 + 20 - 1e-7).
  EXPECT_EQ(corners(clipped.destination), (std::vector<int>{19, 31, 30, 40, 12}));
  EXPECT_DOUBLE_EQ(clipped.mapping.txOffset, 19 + 0.5 - 20);
  EXPECT_DOUBLE_EQ(clipped.mapping.tyOffset, 31 - 1.5 - 30);
  // A destination window inside the reach is kept as it is.
  EXPECT_EQ(corners(plan(WholeWindow(*source), MakeWindow(22, 33, 25, 36)).destination),
            (std::vector<int>{22, 33, 25, 36, 4}));
  // Nothing to do: no overlap, scales not above zero, channel counts differ.
  EXPECT_FALSE(plan(MakeWindow(20, 20, 30, 30), WholeWindow(*destination)).run);
  EXPECT_FALSE(plan(WholeWindow(*source), WholeWindow(*destination), {1.0, 0.0, 20, 30, 0, 0}).run);
  const ZoomPicture maskPicture = MaskPicture(*mask);
  EXPECT_FALSE(plan(WholeWindow(*source), WholeWindow(*mask), shift, &maskPicture).run);
}

// Bytes 0 and 1 rise left to right and top to bottom, bytes 2 and 3 are 200
// and 17 everywhere: every filter keeps the uniform bytes exactly, in
// either pass order, and triangle weights (never negative) keep the ramps
// rising. Sizes: enlarging, reducing, mixed, and pictures one pixel wide or tall.
TEST(ZoomImage, UniformBytesStayAndRampsStayOrdered) {
  const int32_t sizes[][4] = {{31, 17, 80, 41}, {40, 30, 13, 9}, {9, 25, 23, 7}, {1, 1, 5, 3},
                              {6, 6, 1, 1},     {1, 37, 5, 11},  {37, 1, 91, 2}};
  for (const auto& [sw, sh, dw, dh] : sizes) {
    FrameRef source = NewImage(sw, sh);
    for (int32_t y = 0; y < sh; ++y) {
      for (int32_t x = 0; x < sw; ++x) {
        const uint8_t pixel[] = {uint8_t(255 * x / std::max(sw - 1, 1)),
                                 uint8_t(255 * y / std::max(sh - 1, 1)), 200, 17};
        std::memcpy(source->Row(y) + 4 * x, pixel, 4);
      }
    }
    for (int f = 0; f < FilterCount(); ++f) {
      const Filter* filter = FilterRows() + f;
      const bool ordered = filter == FindFilter("triangle");
      for (bool xFirst : {true, false}) {
        FrameRef destination = Picture(dw, dh, 0, kUntouched);
        ZoomPlan plan = WholePlan(*source, *destination, filter);
        ASSERT_TRUE(plan.run);
        plan.xFirst = xFirst;
        ExecuteZoom(ImagePicture(*source), ImagePicture(*destination), plan);
        SCOPED_TRACE(testing::Message() << filter->name << " " << sw << "x" << sh << " -> " << dw
                                        << "x" << dh << " xFirst=" << xFirst);
        for (int32_t y = 0; y < dh; ++y) {
          for (int32_t x = 0; x < dw; ++x) {
            const uint8_t* p = destination->Row(y) + 4 * x;
            ASSERT_TRUE(p[2] == 200 && p[3] == 17) << x << "," << y;
            ASSERT_TRUE(!ordered || x == 0 || p[0] >= p[-4]) << x << "," << y;
            ASSERT_TRUE(!ordered || y == 0 || p[1] >= destination->Row(y - 1)[4 * x + 1]) << y;
          }
        }
      }
    }
  }
}

TEST(ZoomImage, PassOrdersAgreeWithinRounding) {
  FrameRef source = Picture(37, 29, 7);
  for (const char* name : {"triangle", "catrom", "sinc"}) {
    FrameRef byRows = Picture(53, 17, 0), byColumns = Picture(53, 17, 0);
    ZoomPlan plan = WholePlan(*source, *byRows, FindFilter(name));
    for (FrameRef* out : {&byRows, &byColumns}) {
      plan.xFirst = out == &byRows;
      ExecuteZoom(ImagePicture(*source), ImagePicture(**out), plan);
    }
    for (int32_t i = 0; i < byRows->rowBytes * 17; ++i) {
      ASSERT_LE(std::abs(byRows->data[i] - byColumns->data[i]), 1) << name << " " << i;
    }
  }
}

TEST(ZoomImage, UnitScaleWithWholeOffsetsCopiesExactly) {
  FrameRef source = Picture(37, 23, 1);
  FrameRef destination = Picture(50, 40, 0, kUntouched);
  // Source rows 2..15, columns 3..20 onto rows 5..18, columns 10..27.
  ZoomImage(*source, ZoomRect{2, 3, 16, 21}, *destination, ZoomRect{5, 10, 19, 28}, 1.0, 1.0, 7.0,
            3.0, kModeBySize);
  for (int32_t y = 0; y < 40; ++y) {
    for (int32_t x = 0; x < 4 * 50; ++x) {
      const bool inside = x >= 40 && x < 4 * 28 && y >= 5 && y < 19;
      ASSERT_EQ(destination->Row(y)[x], inside ? source->Row(y - 3)[x - 28] : kUntouched)
          << x / 4 << "," << y;
    }
  }
  EXPECT_TRUE(PlanZoom(ImagePicture(*source), MakeWindow(3, 2, 20, 15), ImagePicture(*destination),
                       MakeWindow(10, 5, 27, 18), ZoomMapping{1.0, 1.0, 7.0, 3.0, 0.0, 0.0},
                       FilterForMode(1), FilterForMode(1))
                  .point);
}

TEST(ZoomImage, PointModeTakesTheNearestSourcePixel) {
  FrameRef source = Picture(13, 11, 2);
  FrameRef destination = Picture(35, 14, 0);
  const double sx = 35.0 / 13.0, sy = 14.0 / 11.0;
  ZoomImage(*source, ViewRect(*source), *destination, ViewRect(*destination), sx, sy,
            -0.5 + 0.5 * sx, -0.5 + 0.5 * sy, 0);
  for (int32_t y = 0; y < 14; ++y) {
    for (int32_t x = 0; x < 35; ++x) {
      const uint8_t* nearest = source->Row(int32_t((y + 0.5) / sy)) + 4 * int32_t((x + 0.5) / sx);
      ASSERT_EQ(std::memcmp(destination->Row(y) + 4 * x, nearest, 4), 0) << x << "," << y;
    }
  }
}

TEST(ZoomImage, BesselFallsBackToTheMiddleSampleAtTheEdges) {
  FrameRef source = NewImage(10, 1);
  for (int32_t x = 0; x < 10; ++x) std::memset(source->Row(0) + 4 * x, 10 * x, 4);
  FrameRef destination = Picture(4, 1, 0);
  const Filter* bessel = FindFilter("bessel");
  ZoomWindows(ImagePicture(*source), WholeWindow(*source), ImagePicture(*destination),
              WholeWindow(*destination), bessel, bessel);
  // Ranges 0..8, 0..9, 0..9 and 1..9 around centres 1.25, 3.75, 6.25, 8.75.
  const int expected[] = {40, 50, 50, 50};
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(destination->Row(0)[4 * x], expected[x]) << x;
}

TEST(ZoomMask, EqualSizesAreCopiedOtherSizesScaled) {
  FrameRef source(FrameBuffer::CreateMask(10, 4, 12));
  for (int32_t i = 0; i < 48; ++i) source->data[i] = static_cast<uint8_t>(3 * i + 1);
  // Same row length: the whole block; other row lengths: only the pixels; in place: nothing.
  for (int32_t rowBytes : {12, 16, 0}) {
    FrameRef copy(rowBytes ? FrameBuffer::CreateMask(10, 4, rowBytes) : nullptr);
    FrameBuffer& target = rowBytes ? *copy : *source;
    if (rowBytes) std::memset(copy->data, kUntouched, size_t(4) * rowBytes);
    ZoomMask(*source, target, kModeBySize);
    for (int32_t y = 0; y < 4; ++y) {
      for (int32_t x = 0; x < target.rowBytes; ++x) {
        ASSERT_EQ(target.Row(y)[x], x < 10 || rowBytes != 16 ? 3 * (12 * y + x) + 1 : kUntouched)
            << rowBytes << " " << x << "," << y;
      }
    }
  }

  FrameRef halves = NewMask(72, 48);
  for (int32_t y = 0; y < 48; ++y) {
    for (int32_t x = 0; x < 72; ++x) halves->Row(y)[x] = x < 36 ? 200 : 0;
  }
  FrameRef small = NewMask(19, 13);
  ZoomMask(*halves, *small, kModeBySize);
  // Catrom rings next to the edge; outputs whose reach (7.6 source pixels)
  // stays on one side of it keep that side's value exactly.
  for (int32_t y = 0; y < 13; ++y) {
    for (int32_t x = 0; x < 19; ++x) {
      if (x <= 6 || x >= 12) EXPECT_EQ(small->Row(y)[x], x <= 6 ? 200 : 0) << x << "," << y;
    }
  }
  // Enlarging a single value keeps it.
  FrameRef dot = NewMask(1, 1), big = NewMask(9, 4);
  dot->data[0] = 77;
  ZoomMask(*dot, *big, kModeBySize);
  for (int32_t y = 0; y < 4; ++y) {
    EXPECT_EQ(std::count(big->Row(y), big->Row(y) + 9, 77), 9) << y;
  }
}

}  // namespace
