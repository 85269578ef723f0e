#include "fx/zoom/pic.h"

#include <cstring>

namespace zoom {
namespace {

FrameBuffer& Buffer(void* data) { return *static_cast<FrameBuffer*>(data); }

void PrepareNothing(void*, int32_t, int32_t, int32_t, int32_t) {}

void Bounds(void* data, int32_t* x0, int32_t* y0, int32_t* nx, int32_t* ny) {
  *x0 = 0;
  *y0 = 0;
  *nx = Buffer(data).width;
  *ny = Buffer(data).height;
}

int32_t OneChannel(void*) { return 1; }
int32_t FourChannels(void*) { return 4; }

// Byte address of a pixel in a buffer of pixelBytes-wide pixels.
template <int pixelBytes>
uint8_t* PixelAt(void* data, int32_t row, int32_t column) {
  return Buffer(data).Row(row) + static_cast<intptr_t>(pixelBytes) * column;
}

template <int pixelBytes>
void ReadRow(void* data, int32_t row, int32_t column, int32_t count, uint8_t* destination) {
  std::memcpy(destination, PixelAt<pixelBytes>(data, row, column),
              static_cast<size_t>(count) * pixelBytes);
}

template <int pixelBytes>
void WriteRow(void* data, int32_t row, int32_t column, int32_t count, const uint8_t* source) {
  std::memcpy(PixelAt<pixelBytes>(data, row, column), source,
              static_cast<size_t>(count) * pixelBytes);
}

constexpr PictureDevice kMaskDevice = {PrepareNothing, WriteRow<1>, nullptr, OneChannel,
                                       Bounds,         ReadRow<1>,  nullptr};
constexpr PictureDevice kImageDevice = {PrepareNothing, nullptr, WriteRow<4>, FourChannels,
                                        Bounds,         nullptr, ReadRow<4>};

}  // namespace

const PictureDevice& MaskDevice() { return kMaskDevice; }
const PictureDevice& ImageDevice() { return kImageDevice; }

ZoomPicture MaskPicture(FrameBuffer& mask) { return ZoomPicture{nullptr, &kMaskDevice, &mask}; }
ZoomPicture ImagePicture(FrameBuffer& image) { return ZoomPicture{nullptr, &kImageDevice, &image}; }

}  // namespace zoom
