// Byte results of the line and pixel kernels.
#include <gtest/gtest.h>

#include <cstring>

#include "render/line_kernels.h"

namespace {

// A one-column image whose rows hold the given values in bytes 0..2 and 9 in
// byte 3.
FrameRef Column(std::initializer_list<int> values) {
  FrameRef image = NewImage(1, static_cast<int32_t>(values.size()));
  int y = 0;
  for (int v : values) {
    uint8_t* p = image->Row(y++);
    p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
    p[3] = 9;
  }
  return image;
}

std::vector<int> Values(const FrameRef& image) {
  std::vector<int> values;
  for (int y = 0; y < image->height; ++y) values.push_back(image->Row(y)[1]);
  return values;
}

TEST(LineKernels, TwoAndSixTapInterpolation) {
  uint8_t a[4] = {10, 10, 10, 1}, b[4] = {13, 14, 255, 2}, out[4] = {0, 0, 0, 77};
  AverageRows(a, b, out, 1);
  EXPECT_EQ(out[0], 11);
  EXPECT_EQ(out[1], 12);
  EXPECT_EQ(out[2], 132);
  EXPECT_EQ(out[3], 77);  // byte 3 not written
  AverageRows(a, a, out, 1);
  EXPECT_EQ(out[3], 1);  // equal rows are copied whole

  for (int v = 0; v < 256; ++v) {
    uint8_t r[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v), static_cast<uint8_t>(v), 0};
    uint8_t o[4] = {0, 0, 0, 5};
    InterpolateLine6(r, r, r, r, r, r, o, 1);
    ASSERT_EQ(o[0], v);
    ASSERT_EQ(o[3], 5);
  }
  uint8_t zero[4] = {0, 0, 0, 0}, full[4] = {255, 255, 255, 255}, o[4];
  InterpolateLine6(zero, full, zero, zero, full, zero, o, 1);
  EXPECT_EQ(o[0], 0);  // negative sum clamps to 0
  InterpolateLine6(full, zero, full, full, zero, full, o, 1);
  EXPECT_EQ(o[0], 255);
  // Truncation toward zero of a small negative sum: 29·(0+0) − 48·(10+0) + 147·0 + 146·3 = −42.
  uint8_t ten[4] = {10, 10, 10, 0}, three[4] = {3, 3, 3, 0};
  InterpolateLine6(zero, ten, zero, three, zero, zero, o, 1);
  EXPECT_EQ(o[0], 0);
}

TEST(LineKernels, InterpolateFieldPicksTheLinesAroundEachGap) {
  FrameRef field = Column({0, 100, 200});
  FrameRef out = NewImage(1, 3);
  InterpolateField(*field, *out, true, false);
  EXPECT_EQ(Values(out), (std::vector<int>{50, 150, 200}));  // last line copies the nearest
  InterpolateField(*field, *out, false, false);
  EXPECT_EQ(Values(out), (std::vector<int>{0, 50, 150}));  // first line copies the nearest
  FrameRef flat = Column({80, 80, 80, 80});
  FrameRef out4 = NewImage(1, 4);
  InterpolateField(*flat, *out4, true, true);
  EXPECT_EQ(Values(out4), (std::vector<int>{80, 80, 80, 80}));
}

TEST(LineKernels, ShiftAndSmoothInPlace) {
  FrameRef two = Column({5, 6});
  ShiftUpOneLine(*two);
  EXPECT_EQ(Values(two), (std::vector<int>{6, 6}));
  FrameRef column = Column({0, 255, 0});
  SmoothVertical(*column);
  EXPECT_EQ(Values(column), (std::vector<int>{51, 163, 32}));
  EXPECT_EQ(column->Row(1)[3], 9);
  FrameRef single = Column({77});
  SmoothVertical(*single);
  EXPECT_EQ(Values(single), (std::vector<int>{77}));
}

TEST(LineKernels, CopiesAndAccumulation) {
  FrameRef source = Column({255, 255});
  FrameRef sum = Column({0, 0});
  AccumulateScaled(*sum, *source, 0.5);
  EXPECT_EQ(Values(sum), (std::vector<int>{127, 127}));
  AccumulateScaled(*sum, *source, 0.5);
  EXPECT_EQ(Values(sum), (std::vector<int>{254, 254}));
  AccumulateScaled(*sum, *source, 0.003);
  EXPECT_EQ(Values(sum), (std::vector<int>{254, 254}));
  AccumulateScaled(*sum, *source, 0.5);
  EXPECT_EQ(Values(sum)[0], (254 + 127) % 256);  // wraps, no saturation

  FrameRef field = NewImage(720, 243);
  FrameRef output = NewImage(720, 240);
  for (int i = 0; i < field->rowBytes * field->height; ++i) field->data[i] = static_cast<uint8_t>(i);
  output->ClearToZero();
  CopyOverlap(*output, *field);
  EXPECT_EQ(std::memcmp(output->data, field->data, 720 * 4 * 240), 0);

  FrameRef wide(FrameBuffer::CreateImage(2, 2, 12));
  wide->ClearToZero();
  FrameRef small = NewImage(2, 2);
  for (int i = 0; i < 16; ++i) small->data[i] = static_cast<uint8_t>(i + 1);
  CopyImage(*wide, *small);
  EXPECT_EQ(wide->Row(1)[0], 9);
  EXPECT_EQ(wide->Row(0)[8], 0);  // padding is not written by a row copy
}

}  // namespace
