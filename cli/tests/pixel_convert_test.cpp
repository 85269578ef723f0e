// The hand-written planar RGB path gives the bytes swscale gives, with the
// flags the reader uses, for any width (vector bodies and their tails) and
// padded planes.
#include "cli/pixel_convert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

namespace cli {
namespace {

TEST(PixelConvert, PlanarRgbMatchesTheGeneralConverter) {
  uint32_t state = 99;
  for (int width : {1, 3, 15, 16, 17, 33, 64, 1920}) {
    const int height = 5;
    const int stride = width + 13;  // planes padded as decoders pad them
    std::vector<uint8_t> plane[3];
    for (auto& bytes : plane) {
      bytes.resize(static_cast<size_t>(stride) * height);
      for (uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
      }
    }
    const uint8_t* const planes[3] = {plane[0].data(), plane[1].data(), plane[2].data()};
    const int strides[3] = {stride, stride, stride};
    const int destStride = width * 4 + 8;

    std::vector<uint8_t> fast(static_cast<size_t>(destStride) * height, 7);
    PlanarRgbToBgra(planes, strides, width, height, fast.data(), destStride);

    SwsContext* context = sws_getContext(
        width, height, AV_PIX_FMT_GBRP, width, height, AV_PIX_FMT_BGRA,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT, nullptr, nullptr,
        nullptr);
    ASSERT_NE(context, nullptr);
    std::vector<uint8_t> general(static_cast<size_t>(destStride) * height, 7);
    const uint8_t* source[4] = {planes[0], planes[1], planes[2], nullptr};
    const int sourceStrides[4] = {stride, stride, stride, 0};
    uint8_t* dest[4] = {general.data(), nullptr, nullptr, nullptr};
    const int destStrides[4] = {destStride, 0, 0, 0};
    sws_scale(context, source, sourceStrides, 0, height, dest, destStrides);
    sws_freeContext(context);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) general[y * destStride + 4 * x + 3] = 255;
    }

    EXPECT_EQ(fast, general) << "width " << width;
  }
}

}  // namespace
}  // namespace cli
