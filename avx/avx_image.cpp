#include "avx/avx_image.h"

#include <cstddef>

avxImage* avxImage::New() { return new avxImage(); }

void avxImage::Delete(avxImage* image) { delete image; }

int32_t avxImage::GetRowDelta(int32_t) const { return rowDelta_; }

uint8_t* avxImage::GetRowPtr(int32_t x, int32_t y) const {
  if (data_ == nullptr) return nullptr;
  return data_ + static_cast<intptr_t>(y) * rowDelta_ + static_cast<intptr_t>(x) * 4;
}

void avxImage::SetSize(int32_t width, int32_t height) {
  width_ = width < 0 ? 0 : width;
  height_ = height < 0 ? 0 : height;
  rowDelta_ = width_ * 4;
}

void avxImage::SetData(void* pixels) {
  owned_.clear();
  data_ = static_cast<uint8_t*>(pixels);
}

void avxImage::AllocateOwned() {
  owned_.assign(static_cast<size_t>(rowDelta_ < 0 ? -rowDelta_ : rowDelta_) * height_, 0);
  data_ = owned_.empty() ? nullptr : owned_.data();
}
