#include "source/motion_mask.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr int32_t kMovingAbove = 127;
constexpr int32_t kGiveUpPercent = 30;

inline void Order(uint8_t& a, uint8_t& b) {
  if (a > b) std::swap(a, b);
}

// The median of nine values with a fixed exchange network (19 exchanges).
uint8_t Median9(uint8_t p[9]) {
  Order(p[1], p[2]); Order(p[4], p[5]); Order(p[7], p[8]);
  Order(p[0], p[1]); Order(p[3], p[4]); Order(p[6], p[7]);
  Order(p[1], p[2]); Order(p[4], p[5]); Order(p[7], p[8]);
  Order(p[0], p[3]); Order(p[5], p[8]); Order(p[4], p[7]);
  Order(p[3], p[6]); Order(p[1], p[4]); Order(p[2], p[5]);
  Order(p[4], p[7]); Order(p[4], p[2]); Order(p[6], p[4]);
  Order(p[4], p[2]);
  return p[4];
}

}  // namespace

bool ComputeMotionMask(FrameBuffer& mask, const FrameBuffer& a, const FrameBuffer& b,
                       int32_t threshold) {
  const int32_t divisor = threshold == 0 ? 1 : threshold;
  uint8_t table[256];
  for (int32_t d = 0; d < 256; ++d) table[d] = static_cast<uint8_t>(std::min(255, 255 * d / divisor));
  int64_t moving = 0;
  if (mask.data != nullptr && a.data != nullptr && b.data != nullptr) {
    for (int32_t y = 0; y < mask.height; ++y) {
      uint8_t* out = mask.Row(y);
      const uint8_t* pa = a.Row(y);
      const uint8_t* pb = b.Row(y);
      for (int32_t x = 0; x < mask.width; ++x, pa += 4, pb += 4) {
        int32_t largest = std::abs(pa[0] - pb[0]);
        largest = std::max(largest, std::abs(pa[1] - pb[1]));
        largest = std::max(largest, std::abs(pa[2] - pb[2]));
        out[x] = table[largest];
        if (out[x] > kMovingAbove) ++moving;
      }
    }
  }
  const int64_t limit =
      kGiveUpPercent * static_cast<int64_t>(mask.width) * static_cast<int64_t>(mask.height) / 100;
  return moving <= limit;
}

FrameRef MedianFilter3x3(const FrameBuffer& mask) {
  FrameRef filtered = NewMask(mask.width, mask.height);
  if (mask.data == nullptr || filtered->data == nullptr) return filtered;
  const int32_t width = mask.width;
  const int32_t last = mask.height - 1;
  for (int32_t y = 0; y <= last; ++y) {
    const uint8_t* above = mask.Row(y > 0 ? y - 1 : 0);
    const uint8_t* row = mask.Row(y);
    const uint8_t* below = mask.Row(y < last ? y + 1 : last);
    uint8_t* out = filtered->Row(y);
    out[0] = row[0];
    out[width - 1] = row[width - 1];
    for (int32_t x = 1; x < width - 1; ++x) {
      uint8_t window[9] = {above[x - 1], above[x], above[x + 1], row[x - 1], row[x],
                           row[x + 1],   below[x - 1], below[x], below[x + 1]};
      out[x] = Median9(window);
    }
  }
  return filtered;
}

void DilateMask(FrameBuffer& mask, int32_t across, int32_t down) {
  if (mask.data == nullptr) return;
  const int32_t width = mask.width;
  const int32_t height = mask.height;
  FrameRef column = NewMask(width, height);
  for (int32_t y = 0; y < height; ++y) {
    const int32_t from = std::max(0, y - down);
    const int32_t to = std::min(height - 1, y + down);
    uint8_t* out = column->Row(y);
    std::memcpy(out, mask.Row(from), static_cast<size_t>(width));
    for (int32_t k = from + 1; k <= to; ++k) {
      const uint8_t* in = mask.Row(k);
      for (int32_t x = 0; x < width; ++x) out[x] = std::max(out[x], in[x]);
    }
  }
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* in = column->Row(y);
    uint8_t* out = mask.Row(y);
    for (int32_t x = 0; x < width; ++x) {
      const int32_t from = std::max(0, x - across);
      const int32_t to = std::min(width - 1, x + across);
      uint8_t largest = in[from];
      for (int32_t k = from + 1; k <= to; ++k) largest = std::max(largest, in[k]);
      out[x] = largest;
    }
  }
}

void BoxFilterLine(uint8_t* line, int32_t length, int32_t step, int32_t radius,
                   std::vector<uint8_t>& lineBuffer) {
  if (length <= 0 || radius < 1) return;
  const int32_t pad = radius - 1;
  const int32_t window = 2 * radius - 1;
  uint8_t* buffer = lineBuffer.data();
  for (int32_t j = 0; j < length; ++j) buffer[pad + j] = line[static_cast<intptr_t>(j) * step];
  for (int32_t j = 0; j < pad; ++j) {
    buffer[j] = buffer[pad];
    buffer[pad + length + j] = buffer[pad + length - 1];
  }
  // A running sum over the window: the same quotients as summing afresh.
  int32_t sum = 0;
  for (int32_t k = 0; k < window; ++k) sum += buffer[k];
  for (int32_t j = 0; j < length; ++j) {
    line[static_cast<intptr_t>(j) * step] = static_cast<uint8_t>(sum / window);
    if (j + 1 < length) sum += buffer[j + window] - buffer[j];
  }
}

void BoxBlurMask(FrameBuffer& mask, int32_t across, int32_t down) {
  if (mask.data == nullptr) return;
  const int32_t width = mask.width;
  const int32_t height = mask.height;
  std::vector<uint8_t> lineBuffer(
      static_cast<size_t>(std::max(width, height) + 2 * std::max(across + 1, down + 1) - 2), 0);
  for (int32_t y = 0; y < height; ++y) BoxFilterLine(mask.Row(y), width, 1, across + 1, lineBuffer);
  for (int32_t x = 0; x < width; ++x) {
    BoxFilterLine(mask.data + x, height, mask.rowBytes, down + 1, lineBuffer);
  }
}

void BlendByMask(const FrameBuffer& current, const FrameBuffer& neighbour,
                 const FrameBuffer& mask, FrameBuffer& out) {
  if (current.data == nullptr || neighbour.data == nullptr || mask.data == nullptr ||
      out.data == nullptr) {
    return;
  }
  for (int32_t y = 0; y < current.height; ++y) {
    const uint8_t* c = current.Row(y);
    const uint8_t* n = neighbour.Row(y);
    const uint8_t* m = mask.Row(y);
    uint8_t* o = out.Row(y);
    for (int32_t x = 0; x < current.width; ++x, c += 4, n += 4, o += 4) {
      const int32_t weight = m[x];
      if (weight == 0) {
        std::memcpy(o, n, 4);
      } else if (weight == 255) {
        std::memcpy(o, c, 4);
      } else {
        o[0] = static_cast<uint8_t>((c[0] * weight + n[0] * (255 - weight)) / 255);
        o[1] = static_cast<uint8_t>((c[1] * weight + n[1] * (255 - weight)) / 255);
        o[2] = static_cast<uint8_t>((c[2] * weight + n[2] * (255 - weight)) / 255);
        // The fourth byte of a mixed pixel is the current field's, so that
        // no byte of the new buffer is left unwritten.
        o[3] = c[3];
      }
    }
  }
}
