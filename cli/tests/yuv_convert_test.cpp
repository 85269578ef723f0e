// Planar YUV to and from 4-byte pixels: every kernel version gives the plain
// one's bytes, colours land where the standards put them, and interlaced
// chroma stays with its field.
#include "cli/yuv_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "cli/yuv_frames.h"

namespace cli {
namespace {

// A planar picture with its own storage; rows padded as decoders pad them.
struct OwnedPicture {
  std::vector<uint8_t> storage[3];
  YuvPicture picture;

  OwnedPicture(int width, int height, int shiftX, int shiftY, int depth) {
    picture.width = width;
    picture.height = height;
    picture.chromaShiftX = shiftX;
    picture.chromaShiftY = shiftY;
    picture.depth = depth;
    const int bytes = depth == 8 ? 1 : 2;
    for (int plane = 0; plane < 3; ++plane) {
      const int columns = plane == 0 ? width : (width + (1 << shiftX) - 1) >> shiftX;
      const int rows = plane == 0 ? height : (height + (1 << shiftY) - 1) >> shiftY;
      picture.strides[plane] = (columns + 7) * bytes;
      storage[plane].assign(static_cast<size_t>(picture.strides[plane]) * rows, 0);
      picture.planes[plane] = storage[plane].data();
    }
  }
  // Random samples; `mask` 0x3ff keeps 10-bit ones in range.
  void Fill(std::mt19937& random, int mask = 0xffff) {
    for (auto& plane : storage) {
      for (size_t i = 0; i < plane.size(); ++i) plane[i] = random() & (mask >> (i % 2 * 8)) & 0xff;
    }
  }
  int Get(int plane, int x, int y) const {
    const uint8_t* row = picture.planes[plane] + static_cast<ptrdiff_t>(y) * picture.strides[plane];
    return picture.depth == 8 ? row[x] : reinterpret_cast<const uint16_t*>(row)[x];
  }
};

std::vector<uint8_t> ToBgra(const YuvPicture& picture, const YuvColour& colour, bool fieldChroma,
                            const YuvKernels& kernels) {
  std::vector<uint8_t> bgra(static_cast<size_t>(picture.width) * picture.height * 4, 7);
  YuvRowsToBgra(picture, colour, fieldChroma, 0, 1, picture.height, picture.width, bgra.data(),
                picture.width * 4, kernels);
  return bgra;
}

const YuvMatrix kMatrices[] = {YuvMatrix::kBt601, YuvMatrix::kBt709, YuvMatrix::kBt2020,
                               YuvMatrix::kSmpte240m, YuvMatrix::kFcc};

TEST(YuvConvert, EveryKernelVersionGivesThePlainBytes) {
  const std::vector<const YuvKernels*> versions = SupportedYuvKernels();
  ASSERT_EQ(versions.front(), &PlainYuvKernels());
  const int layouts[][2] = {{1, 1}, {1, 0}, {2, 0}, {0, 0}, {0, 1}};  // chroma shifts x, y
  const int sizes[][2] = {{1, 1}, {2, 2}, {3, 5}, {17, 9}, {33, 6}, {70, 13}, {129, 4}};
  std::mt19937 random(17);
  for (const auto& [shiftX, shiftY] : layouts) {
    for (int depth : {8, 10}) {
      for (const auto& size : sizes) {
        const int width = size[0], height = size[1];
        SCOPED_TRACE(testing::Message() << "4:" << shiftX << ":" << shiftY << " " << depth
                                        << " bits " << width << "x" << height);
        // Random samples, 10-bit ones with stray high bits, which are ignored.
        OwnedPicture source(width, height, shiftX, shiftY, depth);
        source.Fill(random);
        const YuvColour colour{kMatrices[random() % 5], random() % 2 == 0};
        const bool fieldChroma = random() % 2 == 0;
        std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
        for (uint8_t& byte : bgra) byte = static_cast<uint8_t>(random());

        const std::vector<uint8_t> plainIn =
            ToBgra(source.picture, colour, fieldChroma, PlainYuvKernels());
        OwnedPicture plainOut(width, height, shiftX, shiftY, depth);
        BgraToYuv(bgra.data(), width * 4, plainOut.picture, colour, fieldChroma, PlainYuvKernels());
        for (const YuvKernels* kernels : versions) {
          SCOPED_TRACE(kernels->name);
          EXPECT_EQ(ToBgra(source.picture, colour, fieldChroma, *kernels), plainIn);
          OwnedPicture out(width, height, shiftX, shiftY, depth);
          BgraToYuv(bgra.data(), width * 4, out.picture, colour, fieldChroma, *kernels);
          for (int plane = 0; plane < 3; ++plane) {
            EXPECT_EQ(out.storage[plane], plainOut.storage[plane]) << "plane " << plane;
          }
          // A field's rows, and the first pixels of rows, as renders ask for
          // them: the same bytes as in the whole picture.
          const int pixels = (width + 1) / 2;
          const int rows = (height + 1) / 2;
          std::vector<uint8_t> field(static_cast<size_t>(pixels) * 4 * rows);
          YuvRowsToBgra(source.picture, colour, fieldChroma, 0, 2, rows, pixels, field.data(),
                        pixels * 4, *kernels);
          for (int i = 0; i < rows; ++i) {
            ASSERT_TRUE(std::equal(field.begin() + i * pixels * 4,
                                   field.begin() + (i + 1) * pixels * 4,
                                   plainIn.begin() + 2 * i * width * 4))
                << "row " << 2 * i;
          }
        }
      }
    }
  }
}

// The standards' formulas in floating point, for 4:4:4 samples of `depth`
// bits, as a check of the integer coefficients.
struct Reference {
  // Red and blue weights, in the order of YuvMatrix: BT.601, BT.709,
  // BT.2020, SMPTE 240M, FCC.
  static constexpr double kWeights[][2] = {
      {0.299, 0.114}, {0.2126, 0.0722}, {0.2627, 0.0593}, {0.212, 0.087}, {0.30, 0.11}};
  double red, blue, green, unit, lumaRange, chromaRange, black, centre;

  Reference(YuvMatrix matrix, bool full, int depth)
      : red(kWeights[static_cast<int>(matrix)][0]),
        blue(kWeights[static_cast<int>(matrix)][1]),
        green(1 - red - blue),
        unit(depth == 8 ? 1.0 : 4.0),
        lumaRange((full ? 255.0 : 219.0) * unit),
        chromaRange((full ? 255.0 : 224.0) * unit),
        black((full ? 0.0 : 16.0) * unit),
        centre(128.0 * unit) {}

  void ToBgr(int y, int u, int v, double out[3]) const {
    const double luma = (y - black) / lumaRange;
    const double pb = (u - centre) / chromaRange;
    const double pr = (v - centre) / chromaRange;
    const double r = luma + 2 * (1 - red) * pr;
    const double b = luma + 2 * (1 - blue) * pb;
    const double g = (luma - red * r - blue * b) / green;
    out[0] = 255 * b, out[1] = 255 * g, out[2] = 255 * r;
  }
  void ToYuv(int b, int g, int r, double out[3]) const {
    const double luma = (red * r + green * g + blue * b) / 255;
    out[0] = black + lumaRange * luma;
    out[1] = centre + chromaRange * (b / 255.0 - luma) / (2 * (1 - blue));
    out[2] = centre + chromaRange * (r / 255.0 - luma) / (2 * (1 - red));
  }
};

double Clamped(double value, double maximum) { return std::min(std::max(value, 0.0), maximum); }

TEST(YuvConvert, ColoursFollowTheStandardMatrices) {
  std::mt19937 random(5);
  constexpr int kSide = 16;
  for (YuvMatrix matrix : kMatrices) {
    for (bool fullRange : {false, true}) {
      for (int depth : {8, 10}) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(matrix) << " full " << fullRange << " "
                                        << depth << " bits");
        const Reference reference(matrix, fullRange, depth);
        const YuvColour colour{matrix, fullRange};
        const int maximum = (1 << depth) - 1;
        OwnedPicture yuv(kSide, kSide, 0, 0, depth);
        yuv.Fill(random, depth == 8 ? 0xffff : 0x3ff);
        const std::vector<uint8_t> bgra = ToBgra(yuv.picture, colour, false, FastestYuvKernels());
        OwnedPicture back(kSide, kSide, 0, 0, depth);
        BgraToYuv(bgra.data(), kSide * 4, back.picture, colour, false);
        for (int y = 0; y < kSide; ++y) {
          for (int x = 0; x < kSide; ++x) {
            double expected[3];
            reference.ToBgr(yuv.Get(0, x, y), yuv.Get(1, x, y), yuv.Get(2, x, y), expected);
            const uint8_t* pixel = &bgra[(y * kSide + x) * 4];
            for (int k = 0; k < 3; ++k) {
              ASSERT_NEAR(pixel[k], Clamped(expected[k], 255), 1.0) << x << "," << y << " " << k;
            }
            EXPECT_EQ(pixel[3], 255);
            reference.ToYuv(pixel[0], pixel[1], pixel[2], expected);
            for (int k = 0; k < 3; ++k) {
              ASSERT_NEAR(back.Get(k, x, y), Clamped(expected[k], maximum), 1.0)
                  << x << "," << y << " plane " << k;
            }
          }
        }
        // Black and white are exact.
        const std::vector<uint8_t> extremes = {0, 0, 0, 255, 255, 255, 255, 255};
        OwnedPicture levels(2, 1, 0, 0, depth);
        BgraToYuv(extremes.data(), 8, levels.picture, colour, false);
        EXPECT_EQ(levels.Get(0, 0, 0), reference.black);
        EXPECT_EQ(levels.Get(0, 1, 0), reference.black + reference.lumaRange);
        for (int plane : {1, 2}) {
          EXPECT_EQ(levels.Get(plane, 0, 0), reference.centre);
          EXPECT_EQ(levels.Get(plane, 1, 0), reference.centre);
        }
        EXPECT_EQ(ToBgra(levels.picture, colour, false, FastestYuvKernels()), extremes);
      }
    }
  }
}

// Fields of different colours through 4:2:0 and back, each row compared
// with its field's colour.
int WorstDeparture(const std::vector<uint8_t>& bgra, int width, int height,
                   const uint8_t colours[2][3]) {
  int worst = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int k = 0; k < 3; ++k) {
        worst = std::max(worst, std::abs(bgra[(y * width + x) * 4 + k] - colours[y % 2][k]));
      }
    }
  }
  return worst;
}

TEST(YuvConvert, InterlacedChromaStaysWithItsField) {
  const uint8_t redAndBlue[2][3] = {{0, 0, 255}, {255, 0, 0}};  // blue, green, red bytes
  for (int height : {22, 7}) {
    SCOPED_TRACE(height);
    constexpr int kWidth = 21;
    std::vector<uint8_t> bgra(static_cast<size_t>(kWidth) * height * 4, 255);
    for (size_t i = 0; i < bgra.size() / 4; ++i)
      std::copy_n(redAndBlue[i / kWidth % 2], 3, &bgra[i * 4]);
    for (int depth : {8, 10}) {
      OwnedPicture yuv(kWidth, height, 1, 1, depth);
      const YuvColour colour{YuvMatrix::kBt601, false};
      BgraToYuv(bgra.data(), kWidth * 4, yuv.picture, colour, true);
      EXPECT_LE(WorstDeparture(ToBgra(yuv.picture, colour, true, FastestYuvKernels()), kWidth,
                               height, redAndBlue),
                3);
      // Read as one picture, the two fields' chroma mixes: what the fields
      // keep above comes from reading them apart.
      EXPECT_GT(WorstDeparture(ToBgra(yuv.picture, colour, false, FastestYuvKernels()), kWidth,
                               height, redAndBlue),
                60);
    }
  }
}

TEST(YuvFrames, FormatsAndTagsDecideLayoutMatrixAndRange) {
  struct Covered {
    AVPixelFormat format;
    int shiftX, shiftY, depth;
  };
  // clang-format off
  for (const Covered& c : {Covered{AV_PIX_FMT_YUV420P, 1, 1, 8}, {AV_PIX_FMT_YUVJ422P, 1, 0, 8},
                           {AV_PIX_FMT_YUV411P, 2, 0, 8}, {AV_PIX_FMT_YUV422P10LE, 1, 0, 10},
                           {AV_PIX_FMT_YUVA444P10LE, 0, 0, 10}}) {
    // clang-format on
    YuvPicture layout;
    ASSERT_TRUE(YuvLayoutOf(c.format, layout)) << c.format;
    EXPECT_EQ(std::tuple(layout.chromaShiftX, layout.chromaShiftY, layout.depth),
              std::tuple(c.shiftX, c.shiftY, c.depth));
  }
  for (AVPixelFormat format :
       {AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P10BE, AV_PIX_FMT_P010LE, AV_PIX_FMT_GBRP,
        AV_PIX_FMT_BGRA, AV_PIX_FMT_YUV410P, AV_PIX_FMT_YUV420P12LE, AV_PIX_FMT_GRAY8}) {
    YuvPicture layout;
    EXPECT_FALSE(YuvLayoutOf(format, layout)) << format;
  }

  // Alpha planes the writer fills are opaque.
  for (AVPixelFormat format : {AV_PIX_FMT_YUVA420P, AV_PIX_FMT_YUVA444P10LE}) {
    AVFrame* withAlpha = av_frame_alloc();
    withAlpha->format = format;
    withAlpha->width = 5;
    withAlpha->height = 3;
    ASSERT_GE(av_frame_get_buffer(withAlpha, 0), 0);
    std::fill_n(withAlpha->data[3], withAlpha->linesize[3] * 3, 7);
    MakeAlphaOpaque(*withAlpha);
    for (int y = 0; y < 3; ++y) {
      const uint8_t* row = withAlpha->data[3] + y * withAlpha->linesize[3];
      for (int x = 0; x < 5; ++x) {
        const int alpha =
            format == AV_PIX_FMT_YUVA420P ? row[x] : reinterpret_cast<const uint16_t*>(row)[x];
        EXPECT_EQ(alpha, format == AV_PIX_FMT_YUVA420P ? 255 : 1023) << x << "," << y;
      }
    }
    av_frame_free(&withAlpha);
  }

  AVFrame frame{};
  frame.format = AV_PIX_FMT_YUV420P;
  for (const auto& [height, tag, matrix] :
       {std::tuple{480, AVCOL_SPC_UNSPECIFIED, YuvMatrix::kBt601},
        {1080, AVCOL_SPC_UNSPECIFIED, YuvMatrix::kBt709},
        {1080, AVCOL_SPC_BT470BG, YuvMatrix::kBt601},
        {480, AVCOL_SPC_BT709, YuvMatrix::kBt709},
        {480, AVCOL_SPC_BT2020_CL, YuvMatrix::kBt2020},
        {720, AVCOL_SPC_YCGCO, YuvMatrix::kBt709}}) {
    frame.height = height;
    frame.colorspace = tag;
    EXPECT_EQ(SourceColourOf(frame).matrix, matrix) << height << " " << tag;
  }
  EXPECT_FALSE(SourceColourOf(frame).fullRange);
  frame.color_range = AVCOL_RANGE_JPEG;
  EXPECT_TRUE(SourceColourOf(frame).fullRange);
  frame.color_range = AVCOL_RANGE_UNSPECIFIED;
  frame.format = AV_PIX_FMT_YUVJ420P;
  EXPECT_TRUE(SourceColourOf(frame).fullRange);

  // The writer fills in what nothing set, keeps what was set, and replaces a
  // matrix it cannot make by the one it uses.
  struct Case {
    AVPixelFormat format;
    int height;
    AVColorSpace set;
    AVColorRange setRange;
    AVColorSpace tagged;
    AVColorRange taggedRange;
    YuvMatrix matrix;
    bool fullRange;
  };
  // clang-format off
  const Case cases[] = {
      {AV_PIX_FMT_YUV420P, 1080, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG, YuvMatrix::kBt709, false},
      {AV_PIX_FMT_YUV422P10LE, 486, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG, YuvMatrix::kBt601, false},
      {AV_PIX_FMT_YUV420P, 1080, AVCOL_SPC_BT470BG, AVCOL_RANGE_JPEG, AVCOL_SPC_BT470BG, AVCOL_RANGE_JPEG, YuvMatrix::kBt601, true},
      {AV_PIX_FMT_YUV420P, 576, AVCOL_SPC_YCGCO, AVCOL_RANGE_MPEG, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_MPEG, YuvMatrix::kBt601, false},
      {AV_PIX_FMT_YUVJ420P, 576, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AVCOL_SPC_SMPTE170M, AVCOL_RANGE_JPEG, YuvMatrix::kBt601, true},
      {AV_PIX_FMT_BGRA, 1080, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED, AVCOL_SPC_RGB, AVCOL_RANGE_JPEG, YuvMatrix::kBt709, true},
  };
  // clang-format on
  for (const Case& c : cases) {
    AVCodecContext encoder{};
    encoder.pix_fmt = c.format;
    encoder.height = c.height;
    encoder.colorspace = c.set;
    encoder.color_range = c.setRange;
    const YuvColour colour = SettleEncoderColour(encoder);
    const bool rgb = c.format == AV_PIX_FMT_BGRA;  // no matrix to speak of
    EXPECT_EQ(std::tuple(encoder.colorspace, encoder.color_range, rgb ? c.matrix : colour.matrix,
                         colour.fullRange),
              std::tuple(c.tagged, c.taggedRange, c.matrix, c.fullRange))
        << c.format << " " << c.set;
  }
}

}  // namespace
}  // namespace cli
