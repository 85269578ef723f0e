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

// A scanline that frees itself.
struct Line {
  Scanline s;
  Line(int32_t type, int32_t length) { ScanlineAlloc(s, type, length); }
  ~Line() { ScanlineFree(s); }
  template <typename T>
  T* As() {
    return static_cast<T*>(s.data);
  }
  // All elements, channels included.
  template <typename T>
  std::vector<int> Values() {
    return std::vector<int>(As<T>(), As<T>() + s.length * (s.type >= kScanRgbaByte ? 4 : 1));
  }
};

TEST(ZoomScanline, FilterBytesIntoSixteenBits) {
  Line a(kScanByte, 2), b(kScanShort, 3);
  a.As<uint8_t>()[0] = 200;
  a.As<uint8_t>()[1] = 10;
  int16_t single[] = {16384};
  int16_t halves[] = {8192, 8192};
  int16_t negative[] = {-16384};
  const WeightRange ranges[] = {{0, 1, single}, {0, 2, halves}, {1, 2, negative}};
  ScanlineFilter(8, ranges, a.s, b.s);
  // 200 and 105 times 64; the negative one shifted arithmetically, not divided.
  EXPECT_EQ(b.Values<int16_t>(), (std::vector<int>{12800, 6720, -640}));
}

TEST(ZoomScanline, FilterAccumulationsIntoBytes) {
  Line a(kScanInt, 4), b(kScanByte, 4);
  int32_t* sums = a.As<int32_t>();
  sums[0] = 200 * 16384;  // pixel x 2^14 from the vertical pass
  sums[1] = -50 * 16384;  // negative results clamp to 0
  sums[2] = 70000 << 8;   // reduced to 16 bits: 70000 - 65536
  sums[3] = 16000 << 8;   // above 255 after the shift: clamps
  int16_t unit[] = {16384};
  int16_t boost[] = {32767};
  const WeightRange ranges[] = {{0, 1, unit}, {1, 2, unit}, {2, 3, unit}, {3, 4, boost}};
  ScanlineFilter(20, ranges, a.s, b.s);
  EXPECT_EQ(b.Values<uint8_t>(), (std::vector<int>{200, 0, 70, 255}));
}

TEST(ZoomScanline, ShiftRoundsAndClamps) {
  Line a(kScanInt, 6), b(kScanByte, 6);
  const int32_t sums[] = {12800 * 16384, -5, 256 << 20, (1 << 19) - 1, 1 << 19, 0x7fffffff};
  std::memcpy(a.s.data, sums, sizeof sums);
  ScanlineShift(20, a.s, b.s);
  EXPECT_EQ(b.Values<uint8_t>(), (std::vector<int>{200, 0, 255, 0, 1, 255}));  // half rounds up
}

TEST(ZoomScanline, AccumulateAddsWeightedRows) {
  Line bytes(kScanByte, 3), shorts(kScanShort, 3), sums(kScanInt, 3);
  const uint8_t b[] = {1, 2, 255};
  const int16_t s[] = {-7, 0, 16320};
  std::memcpy(bytes.s.data, b, sizeof b);
  std::memcpy(shorts.s.data, s, sizeof s);
  ScanlineZero(sums.s);
  ScanlineAccumulate(3, bytes.s, sums.s);
  ScanlineAccumulate(-2, shorts.s, sums.s);
  ScanlineAccumulate(0, shorts.s, sums.s);  // weight 0 leaves it alone
  EXPECT_EQ(sums.Values<int32_t>(), (std::vector<int>{17, 6, 765 - 32640}));

  Line rgba(kScanRgbaByte, 1), rgbaSums(kScanRgbaInt, 1);
  const uint8_t p[] = {9, 8, 7, 6};
  std::memcpy(rgba.s.data, p, sizeof p);
  ScanlineZero(rgbaSums.s);
  ScanlineAccumulate(16384, rgba.s, rgbaSums.s);
  EXPECT_EQ(rgbaSums.As<int32_t>()[3], 6 * 16384);
  ScanlineZero(rgbaSums.s);
  EXPECT_EQ(rgbaSums.As<int32_t>()[0], 0);
}

TEST(ZoomScanline, ImpossibleTypesAreReported) {
  auto expectReported = [](const std::string& message, auto operation) {
    testing::internal::CaptureStderr();
    EXPECT_THROW(operation(), ZoomError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
  };
  Scanline bad;
  expectReported("scanline_alloc: bad scanline type: 3\n", [&] { ScanlineAlloc(bad, 3, 4); });
  Line bytes(kScanByte, 2), shorts(kScanShort, 2), sums(kScanInt, 2);
  expectReported("scanline_zero: bad scanline type: 0\n", [&] { ScanlineZero(bytes.s); });
  FrameRef mask = NewMask(4, 4);
  const ZoomPicture picture = MaskPicture(*mask);
  expectReported("scanline_read: bad scanline type: 1\n",
                 [&] { ScanlineRead(picture, 0, 0, shorts.s); });
  expectReported("scanline_write: bad scanline type: 2\n",
                 [&] { ScanlineWrite(picture, 0, 0, sums.s); });
  int16_t w[] = {16384};
  const WeightRange ranges[] = {{0, 1, w}, {0, 1, w}};
  expectReported("scanline_filter: bad type combination: 0 & 2\n",
                 [&] { ScanlineFilter(8, ranges, bytes.s, sums.s); });
  expectReported("scanline_accum: bad type combination: 2 & 2\n",
                 [&] { ScanlineAccumulate(1, sums.s, sums.s); });
  expectReported("scanline_shift: bad type combination: 1 & 0\n",
                 [&] { ScanlineShift(20, shorts.s, bytes.s); });
  Scanline freed;
  freed.type = 7;
  expectReported("scanline_free: bad scanline type: 7\n", [&] { ScanlineFree(freed); });
}

TEST(ZoomPicture, MaskDeviceCopiesRowsOfItsBuffer) {
  FrameRef mask = FrameRef(FrameBuffer::CreateMask(20, 6, 24));
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 24; ++x) mask->Row(y)[x] = static_cast<uint8_t>(y * 40 + x);
  }
  const ZoomPicture maskPicture = MaskPicture(*mask);
  EXPECT_EQ(maskPicture.name, nullptr);
  EXPECT_EQ(maskPicture.device->channelCount(maskPicture.data), 1);
  Line row(kScanByte, 10);
  ScanlineRead(maskPicture, 5, 3, row.s);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(row.As<uint8_t>()[i], 3 * 40 + 5 + i);
  ScanlineWrite(maskPicture, 2, 0, row.s);
  EXPECT_EQ(
      (std::vector<int>{mask->Row(0)[1], mask->Row(0)[2], mask->Row(0)[11], mask->Row(0)[12]}),
      (std::vector<int>{1, 125, 134, 12}));  // ten values written, neighbours kept
  // Image pictures' reads and writes are checked by the exact copies in
  // zoom_driver_test.cpp, which leave every pixel around them untouched.
}

TEST(ZoomWindow, SizesOverlapAndIntersection) {
  EXPECT_EQ(ZoomWindow{}.x0, kUnsetWindow);
  ZoomWindow w = MakeWindow(2, 3, 11, 4);
  EXPECT_EQ(w.nx, 10);
  EXPECT_EQ(w.ny, 2);
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
  EXPECT_EQ((std::vector<int>{out.x0, out.y0, out.x1, out.y1, out.nx, out.ny}),
            (std::vector<int>{0, 4, 5, 9, 6, 6}));
  IntersectWindows(a, MakeWindow(12, 0, 20, 9), out);
  EXPECT_LT(out.nx, 1);

  FrameRef image = NewImage(7, 5);
  const ZoomWindow whole = PictureWindow(ImagePicture(*image));
  EXPECT_EQ((std::vector<int>{whole.x0, whole.y0, whole.x1, whole.y1, whole.nx}),
            (std::vector<int>{0, 0, 6, 4, 7}));
}

}  // namespace
