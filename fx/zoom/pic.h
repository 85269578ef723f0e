// Picture devices: how the resampler reads and writes whole rows of a
// picture without knowing its pixel store.
//
// A device is a table of row operations over an opaque data pointer; the two
// devices here view FrameBuffers (4-byte images and 1-byte masks) owned by
// the caller. Row operations copy whole blocks and do no bounds checks: the
// driver clips every request to getBounds first.
#pragma once

#include <cstdint>

#include "source/frame_buffer.h"

namespace zoom {

struct PictureDevice {
  // Called on the destination before a resampling writes into it.
  void (*prepareWindow)(void* data, int32_t x0, int32_t y0, int32_t nx, int32_t ny);
  void (*writeRowBytes)(void* data, int32_t row, int32_t column, int32_t count,
                        const uint8_t* source);
  void (*writeRowRgba)(void* data, int32_t row, int32_t column, int32_t count,
                       const uint8_t* source);
  int32_t (*channelCount)(void* data);
  void (*getBounds)(void* data, int32_t* x0, int32_t* y0, int32_t* nx, int32_t* ny);
  void (*readRowBytes)(void* data, int32_t row, int32_t column, int32_t count,
                       uint8_t* destination);
  void (*readRowRgba)(void* data, int32_t row, int32_t column, int32_t count, uint8_t* destination);
};

struct ZoomPicture {
  const char* name;  // always null
  const PictureDevice* device;
  void* data;  // the FrameBuffer
};

// One channel over mask buffers, row operations on bytes.
const PictureDevice& MaskDevice();
// Four channels over image buffers, row operations on 4-byte pixels.
const PictureDevice& ImageDevice();

ZoomPicture MaskPicture(FrameBuffer& mask);
ZoomPicture ImagePicture(FrameBuffer& image);

}  // namespace zoom
