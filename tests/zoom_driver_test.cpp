// The zoom driver: weights, simplification, clipping, pass order and the
// pictures it produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "fx/zoom/zoom.h"

namespace {

using namespace zoom;

constexpr uint8_t kUntouched = 0xA5;

FrameRef FilledImage(int32_t width, int32_t height, uint8_t value) {
  FrameRef image = NewImage(width, height);
  if (image->data != nullptr) {
    std::memset(image->data, value, static_cast<size_t>(image->rowBytes) * image->height);
  }
  return image;
}

FrameRef RandomImage(int32_t width, int32_t height, uint32_t seed) {
  FrameRef image = NewImage(width, height);
  std::mt19937 random(seed);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < 4 * width; ++x) image->Row(y)[x] = static_cast<uint8_t>(random());
  }
  return image;
}

bool PixelIs(const FrameBuffer& image, int32_t x, int32_t y, const uint8_t* pixel) {
  return std::memcmp(image.Row(y) + 4 * x, pixel, 4) == 0;
}

ZoomRect WholeRect(const FrameBuffer& buffer) { return ViewRect(buffer); }

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
  const double scales[] = {0.1, 0.37, 0.5, 1.0, 1.5, 2.0, 3.3};
  for (int f = 0; f < FilterCount(); ++f) {
    const Filter& filter = FilterRows()[f];
    for (double s : scales) {
      const FilterParams params = MakeFilterParams(filter, s);
      const int32_t length = 50;
      std::vector<int16_t> storage(static_cast<size_t>(params.wid) + 1);
      for (int32_t d = 0; d < static_cast<int32_t>(length * s); ++d) {
        WeightRange range;
        range.weights = storage.data();
        MakeWeights((d + 0.5) / s, filter, params, length, d % 2 == 0, range);
        SCOPED_TRACE(testing::Message() << filter.name << " s=" << s << " d=" << d);
        ASSERT_GE(range.first, 0);
        ASSERT_LT(range.first, range.end);
        ASSERT_LE(range.end, length);
        int32_t sum = 0;
        for (int32_t i = 0; i < range.end - range.first; ++i) sum += range.weights[i];
        EXPECT_EQ(sum, kWeightUnit);
      }
    }
  }
}

TEST(ZoomWeights, TrimmingBesselFallbackAndDoubling) {
  const Filter& catrom = *FindFilter("catrom");
  const FilterParams unit = MakeFilterParams(catrom, 1.0);
  std::vector<int16_t> storage(8);
  WeightRange range;
  range.weights = storage.data();
  auto firstEndAndWeights = [&](int count) {
    std::vector<int> got{range.first, range.end};
    got.insert(got.end(), range.weights, range.weights + count);
    return got;
  };
  // Centred on pixel 5: only that pixel has a non-zero weight, and trimming
  // drops the zeros around it.
  MakeWeights(5.5, catrom, unit, 20, false, range);
  EXPECT_EQ(firstEndAndWeights(4), (std::vector<int>{4, 8, 0, 16384, 0, 0}));
  MakeWeights(5.5, catrom, unit, 20, true, range);
  EXPECT_EQ(firstEndAndWeights(1), (std::vector<int>{5, 6, 16384}));
  // Clipped at the picture's edge.
  MakeWeights(0.5, catrom, unit, 20, false, range);
  EXPECT_EQ(firstEndAndWeights(0), (std::vector<int>{0, 3}));

  const Filter& bessel = *FindFilter("bessel");
  const FilterParams besselParams = MakeFilterParams(bessel, 1.0);
  std::vector<int16_t> wide(static_cast<size_t>(besselParams.wid) + 1);
  range.weights = wide.data();
  for (bool trim : {false, true}) {
    MakeWeights(10.3, bessel, besselParams, 40, trim, range);  // range 7..13
    EXPECT_EQ(firstEndAndWeights(1), (std::vector<int>{10, 11, 16384})) << trim;
  }

  const Filter& triangle = *FindFilter("triangle");
  const FilterParams doubling = MakeFilterParams(triangle, 2.0);
  EXPECT_EQ(doubling.scale, 1.0);
  EXPECT_EQ(doubling.supp, 1.0);
  EXPECT_EQ(doubling.wid, 2);
  range.weights = storage.data();
  MakeWeights((1 + 0.5) / 2.0, triangle, doubling, 10, true, range);  // centre 0.75
  EXPECT_EQ(firstEndAndWeights(2), (std::vector<int>{0, 2, 12288, 4096}));
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
  const Case cases[] = {
      {"catrom", 1.0, 0.5, true},                                  // samples on source pixels
      {"catrom", 1.0, 3.5, true},   {"catrom", 1.0, 0.25, false},  // half-way between pixels
      {"catrom", 0.5, 0.25, false},                                // reducing: scale 2
      {"catrom", 2.0, 1.0, false},  // enlarging samples between pixels
      {"cubic", 1.0, 0.5, false},   // not cardinal
      {"point", 3.0, 0.1, true},    // support below one half
      {"box", 1.7, 0.1, true},      {"triangle", 1.0, 1.5, true}, {"triangle", 0.25, 0.5, false},
  };
  for (const Case& c : cases) {
    FilterParams params = MakeFilterParams(*FindFilter(c.filter), c.s);
    const Filter* result = SimplifyFilter(FindFilter(c.filter), params, c.s, c.offset);
    SCOPED_TRACE(testing::Message() << c.filter << " s=" << c.s << " t=" << c.offset);
    EXPECT_EQ(result == point, c.simplified);
    if (c.simplified) {
      EXPECT_EQ(params.scale, 1.0);
      EXPECT_EQ(params.supp, 0.5);
      EXPECT_EQ(params.wid, 1);
    }
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
    const Filter* filter = FilterForMode(ResolveModeBySize(5, c.sw, c.sh, c.dw, c.dh));
    const ZoomPlan plan = WholePlan(*source, *destination, filter);
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh);
    ASSERT_TRUE(plan.run);
    EXPECT_STREQ(plan.xFilter->name, c.xFilter);
    EXPECT_STREQ(plan.yFilter->name, c.yFilter);
    EXPECT_EQ(plan.xFirst, c.xFirst);
    EXPECT_FALSE(plan.point);
    EXPECT_EQ(plan.destination.nx, c.dw);
    EXPECT_EQ(plan.destination.ny, c.dh);
  }
  // Reducing video to a thumbnail widens the kernel by the scale.
  FrameRef video = NewImage(720, 486), thumbnail = NewImage(90, 61);
  const ZoomPlan plan = WholePlan(*video, *thumbnail, FindFilter("catrom"));
  EXPECT_EQ(plan.x.scale, 8.0);
  EXPECT_EQ(plan.x.supp, 16.0);
  EXPECT_EQ(plan.x.wid, 32);
  EXPECT_NEAR(plan.y.scale, 486.0 / 61.0, 1e-12);
  EXPECT_EQ(plan.y.wid, 32);
}

TEST(ZoomPlan, ClipsSourceAndDestinationWindows) {
  FrameRef source = FilledImage(10, 10, 0), destination = FilledImage(64, 64, 0);
  const ZoomPicture from = ImagePicture(*source), to = ImagePicture(*destination);
  ZoomMapping shift;
  shift.tx = 20;
  shift.ty = 30;
  const Filter* catrom = FindFilter("catrom");
  // The source window reaches past its picture; the destination window is the
  // whole picture but the source only reaches a part of it.
  ZoomPlan plan = PlanZoom(from, MakeWindow(-5, 2, 14, 9), to, MakeWindow(-10, -10, 100, 100),
                           shift, catrom, catrom);
  ASSERT_TRUE(plan.run);
  auto corners = [](const ZoomWindow& w) { return std::vector<int>{w.x0, w.y0, w.x1, w.y1, w.nx}; };
  EXPECT_EQ(corners(plan.source), (std::vector<int>{0, 2, 9, 9, 10}));
  // x0 = ceil(0 - 2 + 20 + 1e-7), x1 = floor(9 + 2 + 20 - 1e-7).
  EXPECT_EQ(corners(plan.destination), (std::vector<int>{19, 31, 30, 40, 12}));
  EXPECT_DOUBLE_EQ(plan.mapping.txOffset, 19 + 0.5 - 20);
  EXPECT_DOUBLE_EQ(plan.mapping.tyOffset, 31 - 1.5 - 30);

  // A destination window inside the reach is kept as it is.
  plan =
      PlanZoom(from, WholeWindow(*source), to, MakeWindow(22, 33, 25, 36), shift, catrom, catrom);
  EXPECT_EQ(plan.destination.x0, 22);
  EXPECT_EQ(plan.destination.y1, 36);

  // Nothing to do: no overlap, scales not above zero, channel counts differ.
  EXPECT_FALSE(PlanZoom(from, MakeWindow(20, 20, 30, 30), to, WholeWindow(*destination), shift,
                        catrom, catrom)
                   .run);
  ZoomMapping flat = shift;
  flat.sy = 0.0;
  EXPECT_FALSE(
      PlanZoom(from, WholeWindow(*source), to, WholeWindow(*destination), flat, catrom, catrom)
          .run);
  FrameRef mask = NewMask(64, 64);
  EXPECT_FALSE(PlanZoom(from, WholeWindow(*source), MaskPicture(*mask), WholeWindow(*mask), shift,
                        catrom, catrom)
                   .run);
}

// Bytes 0 and 1 rise left to right and top to bottom, bytes 2 and 3 are 200
// and 17 everywhere: every filter keeps the uniform bytes exactly, in
// either pass order, and triangle weights (never negative) keep the ramps
// rising.
TEST(ZoomImage, UniformBytesStayAndRampsStayOrdered) {
  struct Size {
    int32_t sw, sh, dw, dh;
  };
  const Size sizes[] = {{31, 17, 80, 41}, {40, 30, 13, 9}, {9, 25, 23, 7}, {1, 1, 5, 3},
                        {6, 6, 1, 1},     {1, 12, 4, 5},   {12, 1, 3, 1},  {720, 486, 90, 61},
                        {1, 37, 5, 11},   {37, 1, 1, 5},   {37, 1, 91, 2}, {1, 1, 7, 1}};
  for (const Size& size : sizes) {
    FrameRef source = NewImage(size.sw, size.sh);
    for (int32_t y = 0; y < size.sh; ++y) {
      for (int32_t x = 0; x < size.sw; ++x) {
        uint8_t* p = source->Row(y) + 4 * x;
        p[0] = static_cast<uint8_t>(255 * x / std::max(size.sw - 1, 1));
        p[1] = static_cast<uint8_t>(255 * y / std::max(size.sh - 1, 1));
        p[2] = 200;
        p[3] = 17;
      }
    }
    for (int f = 0; f < FilterCount(); ++f) {
      const Filter* filter = FilterRows() + f;
      const bool ordered = filter == FindFilter("triangle");
      for (bool xFirst : {true, false}) {
        FrameRef destination = FilledImage(size.dw, size.dh, kUntouched);
        ZoomPlan plan = WholePlan(*source, *destination, filter);
        ASSERT_TRUE(plan.run);
        plan.xFirst = xFirst;
        ExecuteZoom(ImagePicture(*source), ImagePicture(*destination), plan);
        SCOPED_TRACE(testing::Message()
                     << filter->name << " " << size.sw << "x" << size.sh << " -> " << size.dw << "x"
                     << size.dh << " xFirst=" << xFirst);
        for (int32_t y = 0; y < size.dh; ++y) {
          for (int32_t x = 0; x < size.dw; ++x) {
            const uint8_t* p = destination->Row(y) + 4 * x;
            ASSERT_EQ(p[2], 200) << x << "," << y;
            ASSERT_EQ(p[3], 17) << x << "," << y;
            ASSERT_TRUE(!ordered || x == 0 || p[0] >= p[-4]) << x << "," << y;
            ASSERT_TRUE(!ordered || y == 0 || p[1] >= destination->Row(y - 1)[4 * x + 1]) << y;
          }
        }
      }
    }
  }
}

TEST(ZoomImage, PassOrdersAgreeWithinRounding) {
  FrameRef source = RandomImage(37, 29, 7);
  for (const Filter* filter : {FindFilter("triangle"), FindFilter("catrom"), FindFilter("sinc")}) {
    FrameRef byRows = FilledImage(53, 17, 0), byColumns = FilledImage(53, 17, 0);
    ZoomPlan plan = WholePlan(*source, *byRows, filter);
    plan.xFirst = true;
    ExecuteZoom(ImagePicture(*source), ImagePicture(*byRows), plan);
    plan.xFirst = false;
    ExecuteZoom(ImagePicture(*source), ImagePicture(*byColumns), plan);
    int worst = 0;
    for (int32_t y = 0; y < 17; ++y) {
      for (int32_t i = 0; i < 4 * 53; ++i) {
        worst = std::max(worst, std::abs(byRows->Row(y)[i] - byColumns->Row(y)[i]));
      }
    }
    EXPECT_LE(worst, 1) << filter->name;
  }
}

TEST(ZoomImage, UnitScaleWithWholeOffsetsCopiesExactly) {
  FrameRef source = RandomImage(37, 23, 1);
  FrameRef destination = FilledImage(50, 40, kUntouched);
  // Source rows 2..15, columns 3..20 onto rows 5..18, columns 10..27.
  const ZoomRect from{2, 3, 16, 21}, to{5, 10, 19, 28};
  ZoomImage(*source, from, *destination, to, 1.0, 1.0, 7.0, 3.0, kModeBySize);
  for (int32_t y = 0; y < 40; ++y) {
    for (int32_t x = 0; x < 50; ++x) {
      const bool inside = x >= 10 && x < 28 && y >= 5 && y < 19;
      const uint8_t* got = destination->Row(y) + 4 * x;
      if (inside) {
        ASSERT_EQ(std::memcmp(got, source->Row(y - 3) + 4 * (x - 7), 4), 0) << x << "," << y;
      } else {
        const uint8_t untouched[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
        ASSERT_EQ(std::memcmp(got, untouched, 4), 0) << x << "," << y;
      }
    }
  }
  const ZoomPlan plan =
      PlanZoom(ImagePicture(*source), MakeWindow(3, 2, 20, 15), ImagePicture(*destination),
               MakeWindow(10, 5, 27, 18), ZoomMapping{1.0, 1.0, 7.0, 3.0, 0.0, 0.0},
               FilterForMode(1), FilterForMode(1));
  EXPECT_TRUE(plan.point);
}

TEST(ZoomImage, PointModeTakesTheNearestSourcePixel) {
  FrameRef source = RandomImage(13, 11, 2);
  FrameRef destination = FilledImage(35, 14, 0);
  const double sx = 35.0 / 13.0, sy = 14.0 / 11.0;
  ZoomImage(*source, WholeRect(*source), *destination, WholeRect(*destination), sx, sy,
            -0.5 + 0.5 * sx, -0.5 + 0.5 * sy, 0);
  for (int32_t y = 0; y < 14; ++y) {
    for (int32_t x = 0; x < 35; ++x) {
      const int32_t column = static_cast<int32_t>((x + 0.5) / sx);
      const int32_t row = static_cast<int32_t>((y + 0.5) / sy);
      ASSERT_TRUE(PixelIs(*destination, x, y, source->Row(row) + 4 * column)) << x << "," << y;
    }
  }
}

TEST(ZoomImage, BesselFallsBackToTheMiddleSample) {
  FrameRef source = NewImage(10, 1);
  for (int32_t x = 0; x < 10; ++x) std::memset(source->Row(0) + 4 * x, 10 * x, 4);
  FrameRef destination = FilledImage(4, 1, 0);
  const Filter* bessel = FindFilter("bessel");
  ZoomWindows(ImagePicture(*source), WholeWindow(*source), ImagePicture(*destination),
              WholeWindow(*destination), bessel, bessel);
  // Ranges 0..8, 0..9, 0..9 and 1..9 around centres 1.25, 3.75, 6.25, 8.75.
  const int expected[] = {40, 50, 50, 50};
  for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(destination->Row(0)[4 * x], expected[x]) << x;
}

TEST(ZoomMask, EqualSizesAreCopiedByteForByte) {
  FrameRef source(FrameBuffer::CreateMask(10, 4, 12));
  for (int32_t i = 0; i < 48; ++i) source->data[i] = static_cast<uint8_t>(3 * i + 1);

  FrameRef sameRows(FrameBuffer::CreateMask(10, 4, 12));
  std::memset(sameRows->data, 0, 48);
  ZoomMask(*source, *sameRows, kModeBySize);
  EXPECT_EQ(std::memcmp(sameRows->data, source->data, 48), 0);  // the whole block

  FrameRef otherRows(FrameBuffer::CreateMask(10, 4, 16));
  std::memset(otherRows->data, kUntouched, 64);
  ZoomMask(*source, *otherRows, kModeBySize);
  for (int32_t y = 0; y < 4; ++y) {
    EXPECT_EQ(std::memcmp(otherRows->Row(y), source->Row(y), 10), 0) << y;
    for (int32_t x = 10; x < 16; ++x) EXPECT_EQ(otherRows->Row(y)[x], kUntouched) << y;
  }

  const std::vector<uint8_t> before(source->data, source->data + 48);
  ZoomMask(*source, *source, kModeBySize);
  EXPECT_EQ(std::vector<uint8_t>(source->data, source->data + 48), before);
}

TEST(ZoomMask, OtherSizesAreScaled) {
  FrameRef source = NewMask(72, 48);
  std::memset(source->data, 0, static_cast<size_t>(source->rowBytes) * source->height);
  for (int32_t y = 0; y < 48; ++y) std::memset(source->Row(y), 200, 36);  // left half
  FrameRef destination = NewMask(19, 13);
  std::memset(destination->data, kUntouched, static_cast<size_t>(destination->rowBytes) * 13);
  ZoomMask(*source, *destination, kModeBySize);
  // Catrom rings next to the edge; outputs whose reach (7.6 source pixels)
  // stays on one side of it keep that side's value exactly.
  for (int32_t y = 0; y < 13; ++y) {
    for (int32_t x = 0; x < 19; ++x) {
      if (x <= 6) {
        EXPECT_EQ(destination->Row(y)[x], 200) << x << "," << y;
      }
      if (x >= 12) {
        EXPECT_EQ(destination->Row(y)[x], 0) << x << "," << y;
      }
    }
  }
  // Enlarging a single value keeps it.
  FrameRef dot = NewMask(1, 1);
  dot->data[0] = 77;
  FrameRef big = NewMask(9, 4);
  ZoomMask(*dot, *big, kModeBySize);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 9; ++x) EXPECT_EQ(big->Row(y)[x], 77);
  }
}

}  // namespace
