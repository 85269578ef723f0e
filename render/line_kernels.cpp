#include "render/line_kernels.h"

#include <algorithm>
#include <cstring>

namespace {

bool HasPixels(const FrameBuffer& image) {
  return image.data != nullptr && image.width > 0 && image.height > 0;
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) {
  return value < low ? low : (value > high ? high : value);
}

}  // namespace

void CopyImage(FrameBuffer& destination, const FrameBuffer& source) {
  if (&destination == &source || !HasPixels(source) || !HasPixels(destination)) return;
  if (destination.rowBytes == source.rowBytes) {
    std::memcpy(destination.data, source.data,
                static_cast<size_t>(source.rowBytes) * static_cast<size_t>(source.height));
    return;
  }
  const size_t rowLength = static_cast<size_t>(source.width) * 4;
  for (int32_t y = 0; y < source.height; ++y) {
    std::memcpy(destination.Row(y), source.Row(y), rowLength);
  }
}

void CopyOverlap(FrameBuffer& destination, const FrameBuffer& source) {
  if (destination.width == source.width && destination.height == source.height) {
    CopyImage(destination, source);
    return;
  }
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int32_t rows = std::min(destination.height, source.height);
  const size_t rowLength = static_cast<size_t>(std::min(destination.width, source.width)) * 4;
  for (int32_t y = 0; y < rows; ++y) std::memcpy(destination.Row(y), source.Row(y), rowLength);
}

void AccumulateScaled(FrameBuffer& destination, const FrameBuffer& source, double level) {
  if (static_cast<int32_t>(level * 255.0) == 0) return;
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int32_t rows = std::min(destination.height, source.height);
  const int32_t columns = std::min(destination.width, source.width);
  // A table of the 256 scaled values gives the same bytes as scaling each
  // byte: the product depends on the byte alone.
  uint8_t scaled[256];
  for (int32_t v = 0; v < 256; ++v) {
    scaled[v] = static_cast<uint8_t>(static_cast<int32_t>(v * level) & 0xFF);
  }
  for (int32_t y = 0; y < rows; ++y) {
    uint8_t* out = destination.Row(y);
    const uint8_t* in = source.Row(y);
    for (int32_t x = 0; x < columns; ++x, out += 4, in += 4) {
      out[2] = static_cast<uint8_t>(out[2] + scaled[in[2]]);
      out[1] = static_cast<uint8_t>(out[1] + scaled[in[1]]);
      out[0] = static_cast<uint8_t>(out[0] + scaled[in[0]]);
    }
  }
}

void AverageRows(const uint8_t* a, const uint8_t* b, uint8_t* destination, int32_t count) {
  if (count <= 0) return;
  if (a == b) {
    if (destination != a) std::memmove(destination, a, static_cast<size_t>(count) * 4);
    return;
  }
  for (int32_t x = 0; x < count; ++x, a += 4, b += 4, destination += 4) {
    destination[2] = static_cast<uint8_t>((a[2] + b[2]) >> 1);
    destination[1] = static_cast<uint8_t>((a[1] + b[1]) >> 1);
    destination[0] = static_cast<uint8_t>((a[0] + b[0]) >> 1);
  }
}

void InterpolateLine6(const uint8_t* row1, const uint8_t* row2, const uint8_t* row3,
                      const uint8_t* row4, const uint8_t* row5, const uint8_t* row6,
                      uint8_t* destination, int32_t count) {
  for (int32_t x = 0; x < count; ++x) {
    const int32_t offset = x * 4;
    for (int32_t c = 2; c >= 0; --c) {
      const int32_t i = offset + c;
      const int32_t sum = 29 * (row1[i] + row6[i]) - 48 * (row2[i] + row5[i]) + 147 * row3[i] +
                          146 * row4[i];
      destination[i] = static_cast<uint8_t>(Clamp(sum / 255, 0, 255));
    }
  }
}

void InterpolateField(const FrameBuffer& source, FrameBuffer& destination, bool top,
                      bool sixTap) {
  if (!HasPixels(source) || !HasPixels(destination)) return;
  const int32_t height = source.height;
  const int32_t last = height - 1;
  const int32_t count = std::min(source.width, destination.width);
  auto row = [&](int32_t k) { return source.Row(Clamp(k, 0, last)); };
  for (int32_t y = 0; y < height && y < destination.height; ++y) {
    uint8_t* out = destination.Row(y);
    if (sixTap) {
      if (top) {
        InterpolateLine6(row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), row(y + 3), out,
                         count);
      } else {
        InterpolateLine6(row(y - 3), row(y - 2), row(y - 1), row(y), row(y + 1), row(y + 2), out,
                         count);
      }
    } else if (top) {
      AverageRows(row(y), row(y + 1), out, count);
    } else {
      AverageRows(row(y - 1), row(y), out, count);
    }
  }
}

void ShiftUpOneLine(FrameBuffer& image) {
  if (!HasPixels(image)) return;
  for (int32_t y = 0; y + 1 < image.height; ++y) {
    std::memcpy(image.Row(y), image.Row(y + 1), static_cast<size_t>(image.rowBytes));
  }
}

void SmoothVertical(FrameBuffer& image) {
  if (!HasPixels(image)) return;
  const int32_t last = image.height - 1;
  for (int32_t y = 0; y <= last; ++y) {
    uint8_t* row = image.Row(y);
    const uint8_t* above = y > 0 ? image.Row(y - 1) : nullptr;
    const uint8_t* below = y < last ? image.Row(y + 1) : nullptr;
    for (int32_t x = 0; x < image.width; ++x) {
      for (int32_t c = 2; c >= 0; --c) {
        const int32_t i = x * 4 + c;
        const int32_t center = row[i];
        const int32_t up = above ? above[i] : center;
        const int32_t down = below ? below[i] : center;
        row[i] = static_cast<uint8_t>((3 * center + up + down) * 51 / 255);
      }
    }
  }
}
