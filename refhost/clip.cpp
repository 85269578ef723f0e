#include "refhost/clip.h"

#include <cstring>

namespace refhost {

bool MemoryClip::ReadFrame(int32_t frame, uint8_t* dest, int32_t rowBytes) {
  if (frame < 0 || frame >= FrameCount() || dest == nullptr) return false;
  const std::vector<uint8_t>& pixels = frames_[frame];
  size_t packed = static_cast<size_t>(width_) * 4;
  for (int32_t y = 0; y < height_; ++y) {
    std::memcpy(dest + static_cast<intptr_t>(y) * rowBytes, pixels.data() + y * packed, packed);
  }
  return true;
}

namespace {
void CopyRows(const uint8_t* pixels, int32_t rowBytes, int32_t firstRow, int32_t step,
              int32_t rows, int32_t count, uint8_t* dest, int32_t destRowBytes) {
  for (int32_t y = 0; y < rows; ++y) {
    std::memcpy(dest + static_cast<intptr_t>(y) * destRowBytes,
                pixels + static_cast<intptr_t>(firstRow + y * step) * rowBytes,
                static_cast<size_t>(count) * 4);
  }
}
}  // namespace

bool Clip::ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows, int32_t pixels,
                    uint8_t* dest, int32_t destRowBytes) {
  const int32_t rowBytes = Width() * 4;
  scratch_.resize(static_cast<size_t>(rowBytes) * Height());
  if (!ReadFrame(frame, scratch_.data(), rowBytes)) return false;
  CopyRows(scratch_.data(), rowBytes, firstRow, step, rows, pixels, dest, destRowBytes);
  return true;
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
