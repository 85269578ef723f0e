// The resampler: its named filters, scanline arithmetic, picture devices and
// windows, and the zoom driver (weights, simplification, clipping, pass order
// and the pictures it produces).
#include "fx/zoom/zoom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "fx/zoom/filt.h"
#include "fx/zoom/scanline.h"
#include "fx/zoom/window.h"

namespace {

using namespace zoom;

TEST(ZoomFilter, TableRowsInOrderWithTheirFlagsAndKernelValues) {
  struct Row {
    const char* name;
    double support;
    int wantsWindow, cardinal, unitRange;
    std::vector<std::pair<double, double>> points;  // x, value
  };
  const double kaiserEdge = 1.0 / zoom::I0(6.5), gaussian = 0.7978845608;
  // clang-format off
  const Row rows[] = {
      {"point", 0.0, 0, 1, 1, {{-0.5, 1.0}, {0.5, 0.0}}},
      {"box", 0.5, 0, 1, 1, {{-0.5, 1.0}, {0.5, 0.0}, {0.4999, 1.0}}},
      {"triangle", 1.0, 0, 1, 1, {{1.0, 0.0}, {-1.0, 0.0}, {0.25, 0.75}, {-0.25, 0.75}}},
      {"quadratic", 1.5, 0, 0, 1, {{0.0, 0.75}, {1.0, 0.125}, {-1.0, 0.125}, {1.5, 0.0}}},
      {"cubic", 2.0, 0, 0, 1, {{0.0, 2.0 / 3.0}, {1.0, 1.0 / 6.0}, {-1.0, 1.0 / 6.0}, {-2.0, 0.0}}},
      {"catrom", 2.0, 0, 1, 0, {{0.0, 1.0}, {1.0, 0.0}, {-1.0, 0.0}, {0.5, 0.5625}, {-0.5, 0.5625}, {1.5, -0.0625}, {-1.5, -0.0625}}},
      {"mitchell", 2.0, 0, 0, 0, {{0.0, 8.0 / 9.0}, {2.0, 0.0}, {-2.0, 0.0}, {1.0, 1.0 / 18.0}, {-1.0, 1.0 / 18.0}}},
      {"gaussian", 1.25, 0, 0, 1, {{0.0, gaussian}, {1.0, gaussian * std::exp(-2.0)}}},
      {"sinc", 4.0, 1, 1, 0, {{0.0, 1.0}, {0.5, 2.0 / M_PI}, {2.0, 0.0}}},
      {"bessel", 3.2383, 1, 0, 0, {{0.0, 0.0}, {1.7, 0.0}}},
      {"hanning", 1.0, 0, 1, 1, {{1.0, 0.0}, {0.0, 1.0}}},
      {"hamming", 1.0, 0, 1, 1, {{1.0, 0.08}, {0.0, 1.0}}},
      {"blackman", 1.0, 0, 1, 1, {{0.0, 1.0}, {1.0, 0.0}}},
      {"kaiser", 1.0, 0, 1, 1, {{0.0, 1.0}, {1.0, kaiserEdge}, {-1.0, kaiserEdge}}},
  };
  // clang-format on
  ASSERT_EQ(zoom::FilterCount(), 14);
  const Filter* table = zoom::FilterRows();
  for (int i = 0; i < 14; ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    EXPECT_STREQ(table[i].name, row.name);
    EXPECT_EQ(FindFilter(row.name), &table[i]);
    EXPECT_EQ(std::vector<double>({table[i].support, table[i].blur, double(table[i].wantsWindow),
                                   double(table[i].cardinal), double(table[i].unitRange)}),
              std::vector<double>({row.support, 1.0, double(row.wantsWindow), double(row.cardinal),
                                   double(row.unitRange)}));
    const bool parameterised = i == 6 || i == 13;
    EXPECT_EQ(table[i].init != nullptr, parameterised);
    EXPECT_EQ(table[i].params != nullptr, parameterised);
    for (auto [x, value] : row.points)
      EXPECT_NEAR(table[i].evaluate(x, table[i].params), value, 1e-9) << x;
  }
  EXPECT_EQ(table[14].name, nullptr);
  // Lookup is exact and case sensitive.
  for (const char* name : {"Catrom", "catro", "catrom ", ""}) EXPECT_EQ(FindFilter(name), nullptr);
  EXPECT_EQ(FindFilter(nullptr), nullptr);
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

  testing::internal::CaptureStdout();
  zoom::MitchellPrint(&m);
  zoom::KaiserPrint(&k);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed,
            "mitchell: p0=0.888889 p2=-2 p3=1.16667 q0=1.77778 q1=-3.33333 q2=2 q3=-0.388889\n"
            "kaiser: a=6.5 i0a=0.00940797\n");
}

// A scanline that frees itself, filled with the given elements.
struct Line {
  Scanline s;
  Line(int32_t type, int32_t length, std::vector<int64_t> values = {}) {
    ScanlineAlloc(s, type, length);
    for (size_t i = 0; i < values.size(); ++i) Put(i, values[i]);
  }
  ~Line() { ScanlineFree(s); }
  void Put(size_t i, int64_t v) {
    (s.type & 3) == 0   ? void(static_cast<uint8_t*>(s.data)[i] = uint8_t(v))
    : (s.type & 3) == 1 ? void(static_cast<int16_t*>(s.data)[i] = int16_t(v))
                        : void(static_cast<int32_t*>(s.data)[i] = int32_t(v));
  }
  // All elements, channels included.
  std::vector<int> Values() const {
    std::vector<int> values;
    for (int32_t i = 0; i < s.length * (s.type >= kScanRgbaByte ? 4 : 1); ++i) {
      values.push_back((s.type & 3) == 0   ? static_cast<uint8_t*>(s.data)[i]
                       : (s.type & 3) == 1 ? static_cast<int16_t*>(s.data)[i]
                                           : static_cast<int32_t*>(s.data)[i]);
    }
    return values;
  }
};

TEST(ZoomScanline, FilterIntoSixteenBitsAndAccumulationsIntoBytes) {
  int16_t single[] = {16384}, halves[] = {8192, 8192}, negative[] = {-16384}, boost[] = {32767};
  Line bytes(kScanByte, 2, {200, 10}), shorts(kScanShort, 3);
  const WeightRange ranges[] = {{0, 1, single}, {0, 2, halves}, {1, 2, negative}};
  ScanlineFilter(8, ranges, bytes.s, shorts.s);
  // 200 and 105 times 64; the negative one shifted arithmetically, not divided.
  EXPECT_EQ(shorts.Values(), (std::vector<int>{12800, 6720, -640}));

  // Pixel × 2^14 from the vertical pass; negative results clamp to 0; reduced
  // to 16 bits (70000 - 65536); above 255 after the shift: clamps.
  Line sums(kScanInt, 4, {200 * 16384, -50 * 16384, 70000 << 8, 16000 << 8});
  Line out(kScanByte, 4);
  const WeightRange unit[] = {{0, 1, single}, {1, 2, single}, {2, 3, single}, {3, 4, boost}};
  ScanlineFilter(20, unit, sums.s, out.s);
  EXPECT_EQ(out.Values(), (std::vector<int>{200, 0, 70, 255}));
}

TEST(ZoomScanline, ShiftRoundsAndClamps) {
  Line a(kScanInt, 6, {12800 * 16384, -5, 256 << 20, (1 << 19) - 1, 1 << 19, 0x7fffffff});
  Line b(kScanByte, 6);
  ScanlineShift(20, a.s, b.s);
  EXPECT_EQ(b.Values(), (std::vector<int>{200, 0, 255, 0, 1, 255}));  // half rounds up
}

TEST(ZoomScanline, AccumulateAddsWeightedRows) {
  Line bytes(kScanByte, 3, {1, 2, 255}), sums(kScanInt, 3);
  Line shorts(kScanShort, 3, {-7, 0, 16320});
  ScanlineZero(sums.s);
  ScanlineAccumulate(3, bytes.s, sums.s);
  ScanlineAccumulate(-2, shorts.s, sums.s);
  ScanlineAccumulate(0, shorts.s, sums.s);  // weight 0 leaves it alone
  EXPECT_EQ(sums.Values(), (std::vector<int>{17, 6, 765 - 32640}));

  Line rgba(kScanRgbaByte, 1, {9, 8, 7, 6}), rgbaSums(kScanRgbaInt, 1);
  ScanlineZero(rgbaSums.s);
  ScanlineAccumulate(16384, rgba.s, rgbaSums.s);
  EXPECT_EQ(rgbaSums.Values(), (std::vector<int>{9 * 16384, 8 * 16384, 7 * 16384, 6 * 16384}));
  ScanlineZero(rgbaSums.s);
  EXPECT_EQ(rgbaSums.Values(), (std::vector<int>{0, 0, 0, 0}));
}

TEST(ZoomScanline, ImpossibleTypesAreReported) {
  // Each operation refuses types it cannot handle; the two messages are shown once each.
  Line bytes(kScanByte, 2), shorts(kScanShort, 2), sums(kScanInt, 2);
  testing::internal::CaptureStderr();
  EXPECT_THROW(ScanlineZero(bytes.s), ZoomError);
  EXPECT_THROW(ScanlineAccumulate(1, sums.s, sums.s), ZoomError);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "scanline_zero: bad scanline type: 0\n"
            "scanline_accum: bad type combination: 2 & 2\n");
  Scanline bad, freed;
  freed.type = 7;
  FrameRef mask = NewMask(4, 4);
  const ZoomPicture picture = MaskPicture(*mask);
  int16_t w[] = {16384};
  const WeightRange ranges[] = {{0, 1, w}, {0, 1, w}};
  testing::internal::CaptureStderr();
  EXPECT_THROW(ScanlineAlloc(bad, 3, 4), ZoomError);
  EXPECT_THROW(ScanlineRead(picture, 0, 0, shorts.s), ZoomError);
  EXPECT_THROW(ScanlineWrite(picture, 0, 0, sums.s), ZoomError);
  EXPECT_THROW(ScanlineFilter(8, ranges, bytes.s, sums.s), ZoomError);
  EXPECT_THROW(ScanlineShift(20, shorts.s, bytes.s), ZoomError);
  EXPECT_THROW(ScanlineFree(freed), ZoomError);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

TEST(ZoomPicture, DevicesCountTheirChannelsAndMasksCopyRows) {
  FrameRef image = NewImage(7, 5);
  const ZoomPicture imagePicture = ImagePicture(*image);
  EXPECT_EQ(imagePicture.device->channelCount(imagePicture.data), 4);
  FrameRef mask = FrameRef(FrameBuffer::CreateMask(20, 6, 24));
  for (int i = 0; i < 6 * 24; ++i) mask->data[i] = static_cast<uint8_t>(i / 24 * 40 + i % 24);
  const ZoomPicture maskPicture = MaskPicture(*mask);
  EXPECT_EQ(maskPicture.name, nullptr);
  EXPECT_EQ(maskPicture.device->channelCount(maskPicture.data), 1);
  Line row(kScanByte, 10);
  ScanlineRead(maskPicture, 5, 3, row.s);
  EXPECT_EQ(row.Values(), (std::vector<int>{125, 126, 127, 128, 129, 130, 131, 132, 133, 134}));
  ScanlineWrite(maskPicture, 2, 0, row.s);
  EXPECT_EQ(
      (std::vector<int>{mask->Row(0)[1], mask->Row(0)[2], mask->Row(0)[11], mask->Row(0)[12]}),
      (std::vector<int>{1, 125, 134, 12}));  // ten values written, neighbours kept
  // Image pictures' reads and writes are checked by the exact copies in
  // the ZoomImage tests, which leave every pixel around them untouched.
}

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
  const double sx = static_cast<double>(b.nx) / a.nx, sy = static_cast<double>(b.ny) / a.ny;
  return PlanZoom(ImagePicture(source), a, ImagePicture(destination), b,
                  ZoomMapping{sx, sy, -0.5 + 0.5 * sx, -0.5 + 0.5 * sy, 0.0, 0.0}, filter, filter);
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
  // Reducing, ranges are clipped at the edges before the middle is taken:
  // 0..8, 0..9, 0..9 and 1..9 around 1.25, 3.75, 6.25 and 8.75.
  for (auto [centre, middle] : {std::pair{1.25, 4}, {3.75, 5}, {6.25, 5}, {8.75, 5}}) {
    EXPECT_EQ(weights("bessel", 0.4, centre, 10, false, 1),
              (std::vector<int>{middle, middle + 1, 16384}))
        << centre;
  }
  const FilterParams doubling = MakeFilterParams(*FindFilter("triangle"), 2.0);
  EXPECT_EQ(std::vector<double>({doubling.scale, doubling.supp, double(doubling.wid)}),
            std::vector<double>({1.0, 1.0, 2.0}));
  EXPECT_EQ(weights("triangle", 2, 0.75, 10, true, 2), (std::vector<int>{0, 2, 12288, 4096}));
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
    ASSERT_TRUE(plan.run);
    EXPECT_EQ(std::make_tuple(std::string(plan.xFilter->name), std::string(plan.yFilter->name),
                              plan.xFirst, plan.point, plan.destination.nx, plan.destination.ny),
              std::make_tuple(std::string(c.xFilter), std::string(c.yFilter), c.xFirst, false, c.dw,
                              c.dh))
        << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
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
// and 17 everywhere: every filter keeps the uniform bytes exactly and gives
// the ramps alike within rounding in either pass order, and triangle weights
// (never negative) keep the ramps rising. Sizes: enlarging, reducing, mixed,
// and pictures one pixel wide or tall.
TEST(ZoomImage, UniformBytesStayRampsStayOrderedAndPassOrdersAgree) {
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
      FrameRef byRows;
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
            // Either pass order gives the same picture within rounding.
            ASSERT_TRUE(xFirst || std::abs(p[0] - byRows->Row(y)[4 * x]) <= 1) << x << "," << y;
            ASSERT_TRUE(xFirst || std::abs(p[1] - byRows->Row(y)[4 * x + 1]) <= 1) << x << "," << y;
          }
        }
        byRows = destination;
      }
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

// Whole windows through ZoomWindows: the mapping from window to window puts
// each output centre where the filter expects it (Bessel takes the sample
// nearest the centre's range middle).
TEST(ZoomImage, BesselFallsBackToTheMiddleSample) {
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
  for (int32_t i = 0; i < 72 * 48; ++i) halves->data[i] = i % 72 < 36 ? 200 : 0;
  FrameRef small = NewMask(19, 13);
  ZoomMask(*halves, *small, kModeBySize);
  // Catrom rings next to the edge; outputs whose reach (7.6 source pixels)
  // stays on one side of it keep that side's value exactly.
  for (int32_t y = 0; y < 13; ++y) {
    for (int32_t x = 0; x < 19; ++x) {
      EXPECT_TRUE((x > 6 && x < 12) || small->Row(y)[x] == (x <= 6 ? 200 : 0)) << x << "," << y;
    }
  }
  // Enlarging a single value keeps it.
  FrameRef dot = NewMask(1, 1), big = NewMask(9, 4);
  dot->data[0] = 77;
  ZoomMask(*dot, *big, kModeBySize);
  EXPECT_EQ(std::count(big->data, big->data + 36, 77), 36);
}

}  // namespace
