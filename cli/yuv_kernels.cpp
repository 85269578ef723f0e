#include "cli/yuv_kernels.h"

namespace cli {
namespace {

inline uint8_t ClampByte(int value) {
  return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

template <typename Sample>
constexpr int kDepth = sizeof(Sample) == 1 ? 8 : 10;

template <typename Sample>
inline int SampleValue(Sample sample) {
  return sizeof(Sample) == 1 ? sample : (sample & 0x3FF);
}

template <typename Sample>
inline void PutPixel(uint8_t* dest, Sample luma, int blue, int green, int red,
                     const YuvToBgraCoefficients& c) {
  const int light = (SampleValue(luma) << (16 - kDepth<Sample>)) * c.lumaScale >> 16;
  dest[0] = ClampByte((light + blue) >> 5);
  dest[1] = ClampByte((light + green) >> 5);
  dest[2] = ClampByte((light + red) >> 5);
  dest[3] = 255;
}

template <typename Sample>
void BgraFromFull(uint8_t* dest, const Sample* luma, const ChannelRowsView& terms, int count,
                  const YuvToBgraCoefficients& c) {
  for (int x = 0; x < count; ++x) {
    PutPixel(dest + 4 * x, luma[x], terms.blue[x], terms.green[x], terms.red[x], c);
  }
}

template <typename Sample>
void BgraFromHalf(uint8_t* dest, const Sample* luma, const ChannelRowsView& terms, int count,
                  const YuvToBgraCoefficients& c) {
  for (int x = 0; x < count; ++x) {
    const int j = x >> 1;
    if (x & 1) {
      PutPixel(dest + 4 * x, luma[x], (terms.blue[j] + terms.blue[j + 1]) >> 1,
               (terms.green[j] + terms.green[j + 1]) >> 1, (terms.red[j] + terms.red[j + 1]) >> 1,
               c);
    } else {
      PutPixel(dest + 4 * x, luma[x], terms.blue[j], terms.green[j], terms.red[j], c);
    }
  }
}

template <typename Sample>
void ChromaTerms(const ChannelRows& terms, const Sample* u, const Sample* v, int count,
                 const YuvToBgraCoefficients& c) {
  for (int j = 0; j < count; ++j) {
    const int uValue = (SampleValue(u[j]) << (16 - kDepth<Sample>)) - 32768;
    const int vValue = (SampleValue(v[j]) << (16 - kDepth<Sample>)) - 32768;
    terms.blue[j] = static_cast<int16_t>(HighHalf(uValue, c.blueFromU) + c.lumaBias);
    terms.green[j] = static_cast<int16_t>(HighHalf(uValue, c.greenFromU) +
                                          HighHalf(vValue, c.greenFromV) + c.lumaBias);
    terms.red[j] = static_cast<int16_t>(HighHalf(vValue, c.redFromV) + c.lumaBias);
  }
}

template <typename Sample>
void LumaAndSums(Sample* luma, const ChannelRows& sums, const uint8_t* bgra, int count,
                 const BgraToYuvCoefficients& c, int weight, bool accumulate) {
  constexpr int kShift = 13 - kDepth<Sample>;
  constexpr int kMaximum = (1 << kDepth<Sample>)-1;
  for (int x = 0; x < count; ++x) {
    const int blue = bgra[4 * x];
    const int green = bgra[4 * x + 1];
    const int red = bgra[4 * x + 2];
    const int light = HighHalf(blue * 128, c.lumaFromBlue) +
                      HighHalf(green * 128, c.lumaFromGreen) + HighHalf(red * 128, c.lumaFromRed) +
                      c.lumaBias;
    const int value = light >> kShift;
    luma[x] = static_cast<Sample>(value < 0 ? 0 : value > kMaximum ? kMaximum : value);
    sums.blue[x] = static_cast<int16_t>((accumulate ? sums.blue[x] : 0) + weight * blue);
    sums.green[x] = static_cast<int16_t>((accumulate ? sums.green[x] : 0) + weight * green);
    sums.red[x] = static_cast<int16_t>((accumulate ? sums.red[x] : 0) + weight * red);
  }
}

void FilterHalfSums(const ChannelRows& filtered, const ChannelRowsView& sums, int count,
                    int scale) {
  const int16_t* const in[3] = {sums.blue, sums.green, sums.red};
  int16_t* const out[3] = {filtered.blue, filtered.green, filtered.red};
  for (int k = 0; k < 3; ++k) {
    for (int j = 0; j < count; ++j) {
      out[k][j] =
          static_cast<int16_t>((in[k][2 * j - 1] + 2 * in[k][2 * j] + in[k][2 * j + 1]) * scale);
    }
  }
}

template <typename Sample>
void ChromaFromFiltered(Sample* u, Sample* v, const ChannelRowsView& filtered, int count,
                        const BgraToYuvCoefficients& c) {
  constexpr int kShift = 13 - kDepth<Sample>;
  constexpr int kMaximum = (1 << kDepth<Sample>)-1;
  const auto clamped = [](int value) {
    value >>= kShift;
    return static_cast<Sample>(value < 0 ? 0 : value > kMaximum ? kMaximum : value);
  };
  for (int j = 0; j < count; ++j) {
    const int blue = filtered.blue[j];
    const int green = filtered.green[j];
    const int red = filtered.red[j];
    u[j] = clamped(HighHalf(blue, c.uFromBlue) + HighHalf(green, c.uFromGreen) +
                   HighHalf(red, c.uFromRed) + c.chromaBias);
    v[j] = clamped(HighHalf(blue, c.vFromBlue) + HighHalf(green, c.vFromGreen) +
                   HighHalf(red, c.vFromRed) + c.chromaBias);
  }
}

}  // namespace

const YuvKernels& PlainYuvKernels() {
  static const YuvKernels kernels = {
      "plain",
      ChromaTerms<uint8_t>,
      ChromaTerms<uint16_t>,
      BgraFromFull<uint8_t>,
      BgraFromHalf<uint8_t>,
      BgraFromFull<uint16_t>,
      BgraFromHalf<uint16_t>,
      LumaAndSums<uint8_t>,
      LumaAndSums<uint16_t>,
      FilterHalfSums,
      ChromaFromFiltered<uint8_t>,
      ChromaFromFiltered<uint16_t>,
  };
  return kernels;
}

std::vector<const YuvKernels*> SupportedYuvKernels() {
  std::vector<const YuvKernels*> supported = {&PlainYuvKernels()};
  for (const YuvKernels* vector : {Sse2YuvKernels(), Avx2YuvKernels()}) {
    if (vector) supported.push_back(vector);
  }
  return supported;
}

const YuvKernels& FastestYuvKernels() {
  static const YuvKernels* const fastest = SupportedYuvKernels().back();
  return *fastest;
}

}  // namespace cli
