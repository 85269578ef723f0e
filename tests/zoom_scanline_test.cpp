// Scanline arithmetic, picture devices and windows of the resampler. The
// four-channel filters are compared with the rule in kernel_equivalence_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fx/zoom/scanline.h"
#include "fx/zoom/window.h"

namespace {

using namespace zoom;

// A scanline that frees itself, filled with the given elements.
struct Line {
  Scanline s;
  template <typename T = int>
  Line(int32_t type, int32_t length, std::vector<T> values = {}) {
    ScanlineAlloc(s, type, length);
    for (size_t i = 0; i < values.size(); ++i) Set(i, values[i]);
  }
  ~Line() { ScanlineFree(s); }
  int Channels() const { return s.type >= kScanRgbaByte ? 4 : 1; }
  int Size() const { return (s.type & 3) == 0 ? 1 : (s.type & 3) == 1 ? 2 : 4; }
  void Set(size_t i, long long value) {
    if (Size() == 1) static_cast<uint8_t*>(s.data)[i] = static_cast<uint8_t>(value);
    if (Size() == 2) static_cast<int16_t*>(s.data)[i] = static_cast<int16_t>(value);
    if (Size() == 4) static_cast<int32_t*>(s.data)[i] = static_cast<int32_t>(value);
  }
  // All elements, channels included.
  std::vector<int> Values() const {
    std::vector<int> values;
    for (int32_t i = 0; i < s.length * Channels(); ++i) {
      values.push_back(Size() == 1   ? static_cast<uint8_t*>(s.data)[i]
                       : Size() == 2 ? static_cast<int16_t*>(s.data)[i]
                                     : static_cast<int32_t*>(s.data)[i]);
    }
    return values;
  }
};

TEST(ZoomScanline, FilterIntoSixteenBitsAndAccumulationsIntoBytes) {
  int16_t single[] = {16384}, halves[] = {8192, 8192}, negative[] = {-16384}, boost[] = {32767};
  Line bytes(kScanByte, 2, std::vector<int>{200, 10}), shorts(kScanShort, 3);
  const WeightRange ranges[] = {{0, 1, single}, {0, 2, halves}, {1, 2, negative}};
  ScanlineFilter(8, ranges, bytes.s, shorts.s);
  // 200 and 105 times 64; the negative one shifted arithmetically, not divided.
  EXPECT_EQ(shorts.Values(), (std::vector<int>{12800, 6720, -640}));

  // Pixel × 2^14 from the vertical pass; negative results clamp to 0; reduced
  // to 16 bits (70000 - 65536); above 255 after the shift: clamps.
  Line sums(kScanInt, 4, std::vector<long long>{200 * 16384, -50 * 16384, 70000 << 8, 16000 << 8});
  Line out(kScanByte, 4);
  const WeightRange unit[] = {{0, 1, single}, {1, 2, single}, {2, 3, single}, {3, 4, boost}};
  ScanlineFilter(20, unit, sums.s, out.s);
  EXPECT_EQ(out.Values(), (std::vector<int>{200, 0, 70, 255}));
}

TEST(ZoomScanline, ShiftRoundsAndClamps) {
  Line a(kScanInt, 6,
         std::vector<long long>{12800 * 16384, -5, 256 << 20, (1 << 19) - 1, 1 << 19, 0x7fffffff});
  Line b(kScanByte, 6);
  ScanlineShift(20, a.s, b.s);
  EXPECT_EQ(b.Values(), (std::vector<int>{200, 0, 255, 0, 1, 255}));  // half rounds up
}

TEST(ZoomScanline, AccumulateAddsWeightedRows) {
  Line bytes(kScanByte, 3, std::vector<int>{1, 2, 255}), sums(kScanInt, 3);
  Line shorts(kScanShort, 3, std::vector<int>{-7, 0, 16320});
  ScanlineZero(sums.s);
  ScanlineAccumulate(3, bytes.s, sums.s);
  ScanlineAccumulate(-2, shorts.s, sums.s);
  ScanlineAccumulate(0, shorts.s, sums.s);  // weight 0 leaves it alone
  EXPECT_EQ(sums.Values(), (std::vector<int>{17, 6, 765 - 32640}));

  Line rgba(kScanRgbaByte, 1, std::vector<int>{9, 8, 7, 6}), rgbaSums(kScanRgbaInt, 1);
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

TEST(ZoomPicture, MaskDeviceCopiesRowsOfItsBuffer) {
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
  // zoom_driver_test.cpp, which leave every pixel around them untouched.
}

TEST(ZoomWindow, SizesOverlapAndIntersection) {
  auto corners = [](const ZoomWindow& w) {
    return std::vector<int>{w.x0, w.y0, w.x1, w.y1, w.nx, w.ny};
  };
  EXPECT_EQ(ZoomWindow{}.x0, kUnsetWindow);
  ZoomWindow w = MakeWindow(2, 3, 11, 4);
  EXPECT_EQ(corners(w), (std::vector<int>{2, 3, 11, 4, 10, 2}));
  w.x1 = 1;
  SizeWindow(w);
  EXPECT_EQ(w.nx, 0);

  const ZoomWindow a = MakeWindow(0, 0, 9, 9);
  EXPECT_TRUE(WindowsOverlap(a, MakeWindow(9, 9, 20, 20)));  // one corner pixel
  EXPECT_TRUE(WindowsOverlap(MakeWindow(9, 9, 20, 20), a));
  EXPECT_FALSE(WindowsOverlap(a, MakeWindow(10, 0, 20, 9)));
  EXPECT_FALSE(WindowsOverlap(a, MakeWindow(0, -5, 9, -1)));

  ZoomWindow out;
  IntersectWindows(a, MakeWindow(-3, 4, 5, 30), out);
  EXPECT_EQ(corners(out), (std::vector<int>{0, 4, 5, 9, 6, 6}));
  IntersectWindows(a, MakeWindow(12, 0, 20, 9), out);
  EXPECT_LT(out.nx, 1);
  FrameRef image = NewImage(7, 5);
  EXPECT_EQ(corners(PictureWindow(ImagePicture(*image))), (std::vector<int>{0, 0, 6, 4, 7, 5}));
}

}  // namespace
