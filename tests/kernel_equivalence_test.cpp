// The line kernels and motion mask steps. Their vector and running-window
// versions give the same bytes as the rules written out pixel by pixel, on
// random images of odd sizes (so that every row has a block part and a
// leftover part); the cases random pictures never reach are checked by value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "fx/zoom/scanline.h"
#include "render/line_kernels.h"
#include "source/avx2_support.h"
#include "source/mask_kernels.h"
#include "source/motion_mask.h"

namespace {

struct Size {
  int32_t width, height;
};
std::ostream& operator<<(std::ostream& out, Size size) {
  return out << size.width << "x" << size.height;
}
const Size kSizes[] = {{1, 1}, {3, 1}, {1, 7}, {5, 4}, {37, 13}, {131, 9}, {720, 5}, {64, 3}};

FrameRef RandomImage(Size size, std::mt19937& random, int spread = 256, int32_t padding = 0) {
  FrameRef image(FrameBuffer::CreateImage(size.width, size.height, size.width * 4 + padding));
  for (int32_t i = 0; i < image->rowBytes * size.height; ++i) {
    image->data[i] = static_cast<uint8_t>(random() % spread);
  }
  return image;
}

FrameRef Copy(const FrameBuffer& image, int32_t pixelBytes) {
  FrameRef copy(pixelBytes == 4
                    ? FrameBuffer::CreateImage(image.width, image.height, image.rowBytes)
                    : FrameBuffer::CreateMask(image.width, image.height, image.rowBytes));
  std::memcpy(copy->data, image.data, static_cast<size_t>(image.rowBytes) * image.height);
  return copy;
}

bool SameBytes(const FrameBuffer& a, const FrameBuffer& b) {
  return a.rowBytes == b.rowBytes && a.height == b.height &&
         std::memcmp(a.data, b.data, static_cast<size_t>(a.rowBytes) * a.height) == 0;
}

// --- The rules, one byte at a time --------------------------------------

void ReferenceInterpolateField(const FrameBuffer& source, FrameBuffer& out, bool top, bool sixTap) {
  const int32_t last = source.height - 1;
  auto at = [&](int32_t row, int32_t i) { return source.Row(std::clamp(row, 0, last))[i]; };
  for (int32_t y = 0; y < source.height; ++y) {
    const int32_t base = top ? y - 2 : y - 3;  // row 1 of the six
    for (int32_t i = 0; i < source.width * 4; ++i) {
      if (i % 4 == 3) {
        // Only the equal-rows case of the two-tap kernel writes byte 3.
        const int32_t a = top ? y : std::max(y - 1, 0);
        const int32_t b = top ? std::min(y + 1, last) : y;
        if (!sixTap && a == b) out.Row(y)[i] = at(a, i);
        continue;
      }
      const int32_t sum = 29 * (at(base, i) + at(base + 5, i)) -
                          48 * (at(base + 1, i) + at(base + 4, i)) + 147 * at(base + 2, i) +
                          146 * at(base + 3, i);
      const int32_t value = sixTap ? std::clamp(sum / 255, 0, 255)
                                   : (at(top ? y : y - 1, i) + at(top ? y + 1 : y, i)) / 2;
      out.Row(y)[i] = static_cast<uint8_t>(value);
    }
  }
}

void ReferenceSmooth(FrameBuffer& image) {
  const int32_t last = image.height - 1;
  for (int32_t y = 0; y <= last; ++y) {
    for (int32_t i = 0; i < image.width * 4; ++i) {
      if (i % 4 == 3) continue;
      const int32_t c = image.Row(y)[i];
      const int32_t up = y > 0 ? image.Row(y - 1)[i] : c;
      const int32_t down = y < last ? image.Row(y + 1)[i] : c;
      image.Row(y)[i] = static_cast<uint8_t>((3 * c + up + down) * 51 / 255);
    }
  }
}

void ReferenceAccumulate(FrameBuffer& out, const FrameBuffer& in, double level) {
  if (static_cast<int32_t>(level * 255.0) == 0) return;
  for (int32_t y = 0; y < std::min(out.height, in.height); ++y) {
    for (int32_t i = 0; i < 4 * std::min(out.width, in.width); ++i) {
      const int32_t t = static_cast<int32_t>(in.Row(y)[i] * level);
      if (i % 4 != 3) out.Row(y)[i] = static_cast<uint8_t>(out.Row(y)[i] + (t & 0xFF));
    }
  }
}

bool ReferenceMotionMask(FrameBuffer& mask, const FrameBuffer& a, const FrameBuffer& b,
                         int32_t threshold) {
  const int32_t divisor = threshold == 0 ? 1 : threshold;
  int64_t moving = 0;
  for (int32_t y = 0; y < mask.height; ++y) {
    for (int32_t x = 0; x < mask.width; ++x) {
      int32_t largest = 0;
      for (int32_t c = 0; c < 3; ++c) {
        largest = std::max(largest, std::abs(a.Row(y)[4 * x + c] - b.Row(y)[4 * x + c]));
      }
      const int32_t value = std::min(255, 255 * largest / divisor);
      mask.Row(y)[x] = static_cast<uint8_t>(value);
      if (value > 127) ++moving;
    }
  }
  return moving <= 30LL * mask.width * mask.height / 100;
}

// The largest value (dilation) or the moving average (blur) along each row,
// then along each column; the average repeats the edge values.
void ReferenceWindow(FrameBuffer& mask, int32_t across, int32_t down, bool average) {
  for (bool rows : {true, false}) {
    FrameRef before = Copy(mask, 1);
    const int32_t reach = rows ? across : down, last = (rows ? mask.width : mask.height) - 1;
    for (int32_t y = 0; y < mask.height; ++y) {
      for (int32_t x = 0; x < mask.width; ++x) {
        int32_t sum = 0, largest = 0;
        for (int32_t k = -reach; k <= reach; ++k) {
          const int32_t at = std::clamp((rows ? x : y) + k, 0, last);
          const int32_t value = rows ? before->Row(y)[at] : before->Row(at)[x];
          sum += value;
          largest = std::max(largest, value);
        }
        mask.Row(y)[x] = static_cast<uint8_t>(average ? sum / (2 * reach + 1) : largest);
      }
    }
  }
}

void ReferenceBlend(const FrameBuffer& current, const FrameBuffer& neighbour,
                    const FrameBuffer& mask, FrameBuffer& out) {
  for (int32_t y = 0; y < current.height; ++y) {
    for (int32_t i = 0; i < 4 * current.width; ++i) {
      const int32_t m = mask.Row(y)[i / 4], c = current.Row(y)[i], n = neighbour.Row(y)[i];
      out.Row(y)[i] = static_cast<uint8_t>(
          m == 0 ? n : (m == 255 || i % 4 == 3 ? c : (c * m + n * (255 - m)) / 255));
    }
  }
}

// A mask of runs of still, moving and mixed pixels of random lengths, so that
// whole blocks of one kind start at every offset, next to mixed ones. With
// stillOdds above 1 most runs are still, as motion between real fields
// leaves it: rows wholly still, partly moving or moving to their ends.
FrameRef RunMask(Size size, std::mt19937& random, uint32_t stillOdds = 1) {
  FrameRef mask = NewMask(size.width, size.height);
  for (int32_t i = 0, total = size.width * size.height; i < total;) {
    const auto length = static_cast<int32_t>(1 + random() % 40);
    const uint32_t kind = random() % (2 + stillOdds);
    for (int32_t k = 0; k < length && i < total; ++k, ++i) {
      mask->data[i] = static_cast<uint8_t>(kind == 0 ? 255 : (kind == 1 ? random() : 0));
    }
  }
  return mask;
}

// --- The comparisons -----------------------------------------------------

// Runs check with the 32-byte loops where the processor has them, then with
// the 16-byte loops alone, so that both are compared with the rules.
void AtEveryVectorWidth(const std::function<void()>& check) {
  const bool avx2 = UsesAvx2();
  for (bool allowed : {true, false}) {
    AllowAvx2(allowed);
    check();
    if (::testing::Test::HasFatalFailure()) break;
  }
  AllowAvx2(avx2);
}

TEST(KernelEquivalence, LineInterpolationAndSmoothing) {
  AtEveryVectorWidth([] {
    std::mt19937 random(41);
    for (Size size : kSizes) {
      // Random rows; rows of only 0 and 255, so that the six-tap sums clamp
      // at both ends; rows with padding past their pixels, which the one-pass
      // copy copies as well.
      for (int32_t kind = 0; kind < 3; ++kind) {
        const int32_t padding = kind == 2 ? 12 : 0;
        FrameRef source = RandomImage(size, random, kind == 1 ? 2 : 256, padding);
        if (kind == 1) {
          for (int32_t i = 0; i < source->rowBytes * size.height; ++i) source->data[i] *= 255;
        }
        for (int32_t variant = 0; variant < 4; ++variant) {
          const bool top = variant & 1, sixTap = variant & 2;
          SCOPED_TRACE(testing::Message()
                       << size << " kind " << kind << " top " << top << " six " << sixTap);
          FrameRef fast = RandomImage(size, random, 256, padding);
          FrameRef plain = Copy(*fast, 4);  // the bytes the kernels must leave alone
          InterpolateField(*source, *fast, top, sixTap);
          ReferenceInterpolateField(*source, *plain, top, sixTap);
          ASSERT_TRUE(SameBytes(*fast, *plain));
          // The one-pass copy and interpolation gives the bytes of the two passes.
          FrameRef fused = RandomImage(size, random, 256, padding);
          FrameRef twoPasses = Copy(*source, 4);
          ReferenceInterpolateField(*source, *twoPasses, top, sixTap);
          CopyAndInterpolateField(*source, *fused, top, sixTap);
          ASSERT_TRUE(SameBytes(*fused, *twoPasses));
        }
        FrameRef smoothed = Copy(*source, 4), reference = Copy(*source, 4);
        SmoothVertical(*smoothed);
        ReferenceSmooth(*reference);
        ASSERT_TRUE(SameBytes(*smoothed, *reference));
      }
    }
  });
}

TEST(KernelEquivalence, AccumulationAtEveryKindOfLevel) {
  std::mt19937 random(42);
  // Halves and thirds, levels whose products land just below whole numbers,
  // the smallest level that adds, and levels of 1 and above (table only).
  for (Size size : kSizes) {
    FrameRef source = RandomImage(size, random);
    for (double level : {0.5, 1.0 / 3.0, 2.0 / 3.0, 0.37, 0.999, 1.0 / 255.0, 0.0039, 1.0, 1.5}) {
      FrameRef fast = RandomImage(size, random);
      FrameRef plain = Copy(*fast, 4);
      AccumulateScaled(*fast, *source, level);
      ReferenceAccumulate(*plain, *source, level);
      ASSERT_TRUE(SameBytes(*fast, *plain)) << size << " " << level;
    }
  }
}

TEST(KernelEquivalence, MotionMaskAtEveryThreshold) {
  AtEveryVectorWidth([] {
    std::mt19937 random(43);
    for (Size size : kSizes) {
      FrameRef a = RandomImage(size, random, 80);
      for (int32_t threshold : {0, 1, 2, 3, 17, 32, 45, 63}) {
        // Small differences, so that every threshold sees still and moving
        // pixels; on every third row only in one run, or none.
        FrameRef b = Copy(*a, 4);
        for (int32_t y = 0; y < size.height; ++y) {
          int32_t from = 0, to = size.width;
          if (y % 3 == 0) {
            from = static_cast<int32_t>(random() % (size.width + 1));
            to = from + static_cast<int32_t>(random() % (size.width - from + 1));
          }
          for (int32_t i = 4 * from; i < 4 * to; ++i) b->Row(y)[i] ^= random() % 64;
        }
        FrameRef fast = NewMask(size.width, size.height), plain = NewMask(size.width, size.height);
        std::vector<maskrows::Extent> extents;
        const bool fastResult = ComputeMotionMask(*fast, *a, *b, threshold, &extents);
        ASSERT_EQ(fastResult, ReferenceMotionMask(*plain, *a, *b, threshold)) << threshold;
        ASSERT_TRUE(SameBytes(*fast, *plain)) << size << " " << threshold << " avx2 " << UsesAvx2();
        // Each row's extent: from its first value other than 0 to its last.
        ASSERT_EQ(extents.size(), static_cast<size_t>(size.height));
        for (int32_t y = 0; y < size.height; ++y) {
          const uint8_t* row = plain->Row(y);
          int32_t begin = 0, end = size.width;
          while (begin < end && row[begin] == 0) ++begin;
          while (end > begin && row[end - 1] == 0) --end;
          const maskrows::Extent got = extents[y];
          ASSERT_EQ(got.Empty() ? std::pair(0, 0) : std::pair(got.begin, got.end),
                    begin == end ? std::pair(0, 0) : std::pair(begin, end))
              << size << " row " << y;
        }
      }
    }
  });
}

TEST(KernelEquivalence, DilationAndBlurAtEverySmooth) {
  std::mt19937 random(44);
  for (Size size : kSizes) {
    // Every smooth setting: each window width has its own divider.
    for (int32_t smooth = 1; smooth <= 32; ++smooth) {
      FrameRef mask = RunMask(size, random);
      FrameRef plain = Copy(*mask, 1);
      DilateMask(*mask, smooth, smooth / 2);
      ReferenceWindow(*plain, smooth, smooth / 2, false);
      ASSERT_TRUE(SameBytes(*mask, *plain)) << size << " " << smooth;
      BoxBlurMask(*mask, smooth, smooth / 2);
      ReferenceWindow(*plain, smooth, smooth / 2, true);
      ASSERT_TRUE(SameBytes(*mask, *plain)) << size << " " << smooth;
    }
  }
}

TEST(KernelEquivalence, BlendByMask) {
  AtEveryVectorWidth([] {
    std::mt19937 random(45);
    for (Size size : kSizes) {
      SCOPED_TRACE(testing::Message() << size);
      for (int32_t round = 0; round < 2; ++round) {
        FrameRef current = RandomImage(size, random);
        FrameRef neighbour = RandomImage(size, random);
        FrameRef mask = RunMask(size, random);
        FrameRef fast = NewImage(size.width, size.height),
                 plain = NewImage(size.width, size.height);
        BlendByMask(*current, *neighbour, *mask, *fast);
        ReferenceBlend(*current, *neighbour, *mask, *plain);
        ASSERT_TRUE(SameBytes(*fast, *plain));
        // In place, over either input.
        FrameRef overCurrent = Copy(*current, 4), overNeighbour = Copy(*neighbour, 4);
        BlendByMask(*overCurrent, *neighbour, *mask, *overCurrent);
        BlendByMask(*current, *overNeighbour, *mask, *overNeighbour);
        ASSERT_TRUE(SameBytes(*overCurrent, *plain) && SameBytes(*overNeighbour, *plain));
      }
    }
  });
}

TEST(KernelEquivalence, FourChannelScanlineFilter) {
  std::mt19937 random(46);
  constexpr int32_t kSourcePixels = 61, kOutputPixels = 47;
  // Weight ranges of every width from one tap to many, with negative lobes.
  std::vector<std::vector<int16_t>> weightStore(kOutputPixels);
  std::vector<zoom::WeightRange> ranges(kOutputPixels);
  for (int32_t k = 0; k < kOutputPixels; ++k) {
    const auto taps = static_cast<int32_t>(1 + k % 17);
    const auto first = static_cast<int16_t>(random() % (kSourcePixels - taps + 1));
    for (int32_t j = 0; j < taps; ++j) weightStore[k].push_back(int16_t(random() % 6000 - 1500));
    ranges[k] = {first, static_cast<int16_t>(first + taps), weightStore[k].data()};
  }
  for (bool fromBytes : {true, false}) {
    const int32_t shift = fromBytes ? 8 : 20;
    zoom::Scanline a, b;
    zoom::ScanlineAlloc(a, fromBytes ? zoom::kScanRgbaByte : zoom::kScanRgbaInt, kSourcePixels);
    zoom::ScanlineAlloc(b, fromBytes ? zoom::kScanRgbaShort : zoom::kScanRgbaByte, kOutputPixels);
    std::vector<int32_t> samples(kSourcePixels * 4);
    for (int32_t i = 0; i < kSourcePixels * 4; ++i) {
      // Accumulated rows: pixel × 64 × 16384 and beyond, either sign.
      const auto element = static_cast<int32_t>(random() % 6000000) - 1000000;
      if (fromBytes) static_cast<uint8_t*>(a.data)[i] = uint8_t(samples[i] = uint8_t(element));
      if (!fromBytes)
        static_cast<int32_t*>(a.data)[i] = element, samples[i] = int16_t(element >> 8);
    }
    zoom::ScanlineFilter(shift, ranges.data(), a, b);
    for (int32_t i = 0; i < kOutputPixels * 4; ++i) {
      const zoom::WeightRange& range = ranges[i / 4];
      int32_t sum = 1 << (shift - 1);
      for (int32_t j = range.first; j < range.end; ++j) {
        sum += samples[j * 4 + i % 4] * range.weights[j - range.first];
      }
      ASSERT_EQ(fromBytes ? static_cast<int16_t*>(b.data)[i] : static_cast<uint8_t*>(b.data)[i],
                fromBytes ? int16_t(sum >> shift) : std::clamp(sum >> shift, 0, 255))
          << i;
    }
    zoom::ScanlineFree(a);
    zoom::ScanlineFree(b);
  }
}

TEST(KernelEquivalence, OnePassMaskAndBlendGiveTheStepsBytes) {
  AtEveryVectorWidth([] {
    std::mt19937 random(47);
    const Size sizes[] = {{1, 1}, {2, 3}, {3, 1}, {1, 7}, {5, 4}, {37, 13}, {131, 9}, {97, 40}};
    for (Size size : sizes) {
      for (int32_t smooth = 0; smooth <= 33; ++smooth) {
        // Runs of every kind, a mostly still mask, and an all-still one.
        for (uint32_t stillOdds : {1, 12, 1000000}) {
          SCOPED_TRACE(testing::Message() << size << " smooth " << smooth << " odds " << stillOdds);
          FrameRef raw = RunMask(size, random, stillOdds);
          if (stillOdds > 12) std::fill(raw->data, raw->data + size.width * size.height, 0);
          FrameRef current = RandomImage(size, random);
          // The neighbour of an odd-height frame's taller field is a row short.
          const bool shortNeighbour = size.height > 1 && smooth % 3 == 0;
          FrameRef neighbour =
              RandomImage({size.width, size.height - (shortNeighbour ? 1 : 0)}, random);

          FrameRef expectedMask = MedianFilter3x3(*raw);
          if (smooth != 0) {
            DilateMask(*expectedMask, smooth, smooth / 2);
            BoxBlurMask(*expectedMask, smooth, smooth / 2);
          }
          FrameRef expected = NewImage(size.width, size.height);
          BlendByMask(*current, *neighbour, *expectedMask, *expected);

          FrameRef filtered = NewMask(size.width, size.height);
          FrameRef out = NewImage(size.width, size.height);
          FilterMaskAndBlend(*raw, smooth, filtered.get(), *current, *neighbour, *out);
          ASSERT_TRUE(SameBytes(*filtered, *expectedMask) && SameBytes(*out, *expected));

          // Current's pixels made only when asked for, into the row given;
          // current's own buffer holds noise, which must not show. Into
          // current itself, and into the neighbour (which then holds the
          // result where the mask is 0).
          for (bool intoNeighbour : {false, !shortNeighbour}) {
            FrameRef noise = RandomImage(size, random);
            FrameRef target = intoNeighbour ? Copy(*neighbour, 4) : noise;
            int32_t lastRow = -1;
            // Into the neighbour without keeping the filtered mask.
            FilterMaskAndBlend(*raw, smooth, intoNeighbour ? nullptr : filtered.get(), *noise,
                               intoNeighbour ? *target : *neighbour, *target,
                               [&](int32_t y, int32_t first, int32_t end, uint8_t* row) {
                                 ASSERT_GT(y, lastRow);  // rows in rising order, each once
                                 lastRow = y;
                                 std::memcpy(row + 4 * first, current->Row(y) + 4 * first,
                                             4 * static_cast<size_t>(end - first));
                               });
            ASSERT_TRUE(SameBytes(*target, *expected)) << "into neighbour " << intoNeighbour;
          }
        }
      }
    }
  });
}

// --- Cases random pictures never reach ---------------------------------

FrameRef Uniform(Size size, uint8_t value) {
  FrameRef image = NewImage(size.width, size.height);
  std::fill(image->data, image->data + image->rowBytes * size.height, value);
  return image;
}

TEST(LineKernels, RowEntryPointsKeepTheFourthByteAndCopies) {
  uint8_t a[4] = {10, 10, 10, 1}, b[4] = {13, 14, 255, 2}, out[4] = {0, 0, 0, 77};
  AverageRows(a, b, out, 1);
  EXPECT_EQ(std::vector<int>(out, out + 4), (std::vector<int>{11, 12, 132, 77}));
  uint8_t zero[4] = {0, 0, 0, 0}, full[4] = {255, 255, 255, 255}, o[4] = {0, 0, 0, 5};
  InterpolateLine6(full, zero, full, full, zero, full, o, 1);
  EXPECT_EQ(std::vector<int>(o, o + 4), (std::vector<int>{255, 255, 255, 5}));
  // Shifting a field up one line is shown on whole renders (tape simulation).

  // An odd-height frame's taller field copied into a shorter output.
  std::mt19937 random(48);
  FrameRef field = RandomImage({720, 243}, random), output = Uniform({720, 240}, 0);
  CopyOverlap(*output, *field);
  EXPECT_EQ(std::memcmp(output->data, field->data, 720 * 4 * 240), 0);
  // A row copy leaves the padding past the pixels alone.
  FrameRef wide(FrameBuffer::CreateImage(2, 2, 12)), small = RandomImage({2, 2}, random);
  wide->ClearToZero();
  CopyImage(*wide, *small);
  EXPECT_TRUE(!std::memcmp(wide->Row(1), small->Row(1), 8) && wide->Row(0)[8] == 0);
}

// The rule-by-rule comparisons use random pictures, which never land on the
// give-up boundary itself.
TEST(MotionMask, GiveUpStartsAboveThirtyPercentMoving) {
  // 720x243: giving up starts above 52488 moving pixels, exactly 30 %.
  FrameRef still = Uniform({720, 243}, 0), moved = Uniform({720, 243}, 0), mask = NewMask(720, 243);
  for (int i = 0; i < 52488; ++i) moved->data[i * 4] = 200;
  EXPECT_TRUE(ComputeMotionMask(*mask, *still, *moved, 32));
  moved->data[52488 * 4] = 200;
  EXPECT_FALSE(ComputeMotionMask(*mask, *still, *moved, 32));
}

TEST(MotionMask, MedianMatchesAFullSortAndKeepsEdgeColumns) {
  std::mt19937 random(5);
  FrameRef mask = RunMask({37, 11}, random), filtered = MedianFilter3x3(*mask);
  for (int y = 0; y < 11; ++y) {
    for (int x = 0; x < 37; ++x) {
      std::vector<int> window;
      for (int i = 0; i < 9; ++i) {
        window.push_back(
            mask->Row(std::clamp(y + i / 3 - 1, 0, 10))[std::clamp(x + i % 3 - 1, 0, 36)]);
      }
      std::nth_element(window.begin(), window.begin() + 4, window.end());
      ASSERT_EQ(filtered->Row(y)[x], x > 0 && x < 36 ? window[4] : mask->Row(y)[x])
          << x << "," << y;
    }
  }
  FrameRef thin = RunMask({1, 9}, random), thinFiltered = MedianFilter3x3(*thin);
  EXPECT_TRUE(SameBytes(*thin, *thinFiltered));
}

TEST(MotionMask, RowsTheNeighboursLackAreStillAndKeepTheCurrentPixel) {
  // An odd-height frame: the interpolated field has one row more than the
  // fields it is compared with and blended from.
  FrameRef current = Uniform({20, 3}, 200), before = Uniform({20, 2}, 0);
  FrameRef after = Uniform({20, 2}, 90), mask = NewMask(20, 3), out = NewImage(20, 3);
  std::fill(mask->data, mask->data + 60, 77);
  EXPECT_FALSE(ComputeMotionMask(*mask, *before, *after, 32));  // 40 of 60 moving
  EXPECT_EQ(std::count(mask->data, mask->data + 40, 255) +
                std::count(mask->data + 40, mask->data + 60, 0),
            60);
  std::fill(mask->data, mask->data + 60, 0);
  BlendByMask(*current, *after, *mask, *out);
  EXPECT_EQ(std::count(out->data, out->Row(2), 90) + std::count(out->Row(2), out->Row(2) + 80, 200),
            240);
}

}  // namespace
