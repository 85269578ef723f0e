#include "source/frame_buffer.h"

#include <cstring>
#include <new>

#include "avx/avx_image.h"
#include "fx/memory_handler.h"

FrameBuffer::~FrameBuffer() {
  if (data != nullptr) GetMemHandler()->Free(data);
}

namespace {

FrameBuffer* CreateBuffer(int32_t width, int32_t height, int32_t rowBytes, int32_t pixelBytes) {
  fx::MemoryHandler* memory = GetMemHandler();
  void* place = memory->Allocate(sizeof(FrameBuffer));
  auto* buffer = new (place) FrameBuffer();
  buffer->SetGeometry(width, height, rowBytes, pixelBytes);
  if (width >= 1 && height >= 1) {
    try {
      buffer->data = static_cast<uint8_t*>(memory->Allocate(
          static_cast<uint32_t>(buffer->rowBytes) * static_cast<uint32_t>(height)));
    } catch (...) {
      buffer->~FrameBuffer();
      memory->Free(place);
      throw;
    }
  }
  return buffer;
}

}  // namespace

FrameBuffer* FrameBuffer::CreateImage(int32_t width, int32_t height, int32_t rowBytes) {
  return CreateBuffer(width, height, rowBytes, 4);
}

FrameBuffer* FrameBuffer::CreateMask(int32_t width, int32_t height, int32_t rowBytes) {
  return CreateBuffer(width, height, rowBytes, 1);
}

void FrameBuffer::Destroy(FrameBuffer* buffer) {
  if (buffer == nullptr) return;
  buffer->~FrameBuffer();
  GetMemHandler()->Free(buffer);
}

void FrameBuffer::SetGeometry(int32_t newWidth, int32_t newHeight, int32_t newRowBytes,
                              int32_t pixelBytes) {
  width = newWidth;
  height = newHeight;
  rowBytes = newRowBytes != 0 ? newRowBytes : newWidth * pixelBytes;
  viewTop = 0;
  viewLeft = 0;
  viewBottom = newHeight;
  viewRight = newWidth;
}

void FrameBuffer::Detach() {
  data = nullptr;
  --refCount;
}

void FrameBuffer::ClearToZero() {
  if (data != nullptr && height > 0 && rowBytes > 0) {
    std::memset(data, 0, static_cast<size_t>(rowBytes) * static_cast<size_t>(height));
  }
}

void FrameBuffer::WrapHostImage(avxImage* image) {
  data = image->GetRowPtr(0, 0);
  width = image->GetWidth();
  height = image->GetHeight();
  rowBytes = image->GetRowDelta(0);
  ownsData = 0;
  viewTop = 0;
  viewLeft = 0;
  viewBottom = height;
  viewRight = width;
}

FrameRef::FrameRef(FrameBuffer* buffer) : buffer_(buffer) {
  if (buffer_ != nullptr) ++buffer_->refCount;
}

FrameRef::FrameRef(const FrameRef& other) : buffer_(other.buffer_) {
  if (buffer_ != nullptr) ++buffer_->refCount;
}

FrameRef& FrameRef::operator=(const FrameRef& other) {
  if (buffer_ == other.buffer_) return *this;
  FrameBuffer* taken = other.buffer_;
  if (taken != nullptr) ++taken->refCount;
  Release();
  buffer_ = taken;
  return *this;
}

FrameRef& FrameRef::operator=(FrameRef&& other) noexcept {
  if (buffer_ == other.buffer_) {
    // Same buffer: drop the extra reference the source held.
    if (&other != this) other.Release();
    return *this;
  }
  Release();
  buffer_ = other.buffer_;
  other.buffer_ = nullptr;
  return *this;
}

void FrameRef::Release() {
  FrameBuffer* buffer = buffer_;
  buffer_ = nullptr;
  if (buffer != nullptr && --buffer->refCount == 0) FrameBuffer::Destroy(buffer);
}

FrameRef NewImage(int32_t width, int32_t height) {
  return FrameRef(FrameBuffer::CreateImage(width, height));
}

FrameRef NewMask(int32_t width, int32_t height) {
  return FrameRef(FrameBuffer::CreateMask(width, height));
}

HostImageView::HostImageView(avxImage* image) {
  buffer_.SetGeometry(0, 0, 0);
  buffer_.refCount = 1;
  if (image != nullptr) buffer_.WrapHostImage(image);
}
