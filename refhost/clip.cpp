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

void MemoryClip::AddFrame(std::vector<uint8_t> pixels) {
  pixels.resize(static_cast<size_t>(width_) * height_ * 4, 0);
  frames_.push_back(std::move(pixels));
}

}  // namespace refhost
