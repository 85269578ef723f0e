#include "refhost/clip.h"

#include <cstring>

namespace refhost {

void Clip::CopyRows(const uint8_t* frame, int32_t rowBytes, int32_t firstRow, int32_t step,
                    int32_t rows, int32_t pixels, uint8_t* dest, int32_t destRowBytes) {
  for (int32_t y = 0; y < rows; ++y) {
    std::memcpy(dest + static_cast<intptr_t>(y) * destRowBytes,
                frame + static_cast<intptr_t>(firstRow + y * step) * rowBytes,
                static_cast<size_t>(pixels) * 4);
  }
}

bool MemoryClip::ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows,
                          int32_t pixels, uint8_t* dest, int32_t destRowBytes) {
  if (frame < 0 || frame >= FrameCount() || dest == nullptr) return false;
  CopyRows(frames_[frame].data(), width_ * 4, firstRow, step, rows, pixels, dest, destRowBytes);
  return true;
}

void MemoryClip::AddFrame(std::vector<uint8_t> pixels) {
  pixels.resize(static_cast<size_t>(width_) * height_ * 4, 0);
  frames_.push_back(std::move(pixels));
}

}  // namespace refhost
