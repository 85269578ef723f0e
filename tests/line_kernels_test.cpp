// Byte results of the line kernels that the rule-by-rule comparisons in
// kernel_equivalence_test.cpp do not reach: the single-row entry points and
// the plain copies the render uses around them.
#include "render/line_kernels.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(LineKernels, RowEntryPointsKeepTheFourthByte) {
  uint8_t a[4] = {10, 10, 10, 1}, b[4] = {13, 14, 255, 2}, out[4] = {0, 0, 0, 77};
  AverageRows(a, b, out, 1);
  EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{11, 12, 132, 77}));
  uint8_t zero[4] = {0, 0, 0, 0}, full[4] = {255, 255, 255, 255}, o[4] = {0, 0, 0, 5};
  InterpolateLine6(full, zero, full, full, zero, full, o, 1);
  EXPECT_EQ(std::vector<int>(o, o + 4), (std::vector<int>{255, 255, 255, 5}));
}

TEST(LineKernels, ShiftAndCopies) {
  FrameRef two = NewImage(1, 2);
  const uint8_t rows[8] = {5, 5, 5, 9, 6, 6, 6, 9};
  std::memcpy(two->data, rows, 8);
  ShiftUpOneLine(*two);
  EXPECT_EQ(std::memcmp(two->Row(0), rows + 4, 4), 0);
  EXPECT_EQ(std::memcmp(two->Row(1), rows + 4, 4), 0);  // the last line stays

  // An odd-height frame's taller field copied into a shorter output.
  FrameRef field = NewImage(720, 243);
  FrameRef output = NewImage(720, 240);
  for (int i = 0; i < field->rowBytes * field->height; ++i)
    field->data[i] = static_cast<uint8_t>(i);
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
