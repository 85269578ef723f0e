// Frame buffers: every image and mask the effect computes with.
//
// Rules common to everything here:
// - A buffer that owns its pixels lives on the MemHandler and is held only
//   through FrameRef handles; the last release frees pixels and object.
// - Image buffers have 4-byte pixels (blue, green, red, fourth); mask buffers
//   1-byte pixels. The layout is fixed by the creator, not recorded.
// - A width or height below 1 gives data == nullptr; pixel loops then do
//   nothing. Pixels are not initialised on creation.
// - Allocation failure throws "bad allocation" and leaks nothing.
// - A view of a host image (WrapHostImage) is a local object with refCount 1
//   that no FrameRef ever holds; HostImageView discards it safely.
#pragma once

#include <cstdint>

class avxImage;

struct FrameSize {
  int32_t width = 0;
  int32_t height = 0;
};

struct FrameBuffer {
  uint8_t* data = nullptr;
  int32_t refCount = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t rowBytes = 0;
  uint8_t ownsData = 1;
  int32_t viewTop = 0;
  int32_t viewLeft = 0;
  int32_t viewBottom = 0;
  int32_t viewRight = 0;

  FrameBuffer() = default;
  FrameBuffer(const FrameBuffer&) = delete;
  FrameBuffer& operator=(const FrameBuffer&) = delete;
  // Returns data with Free when not null.
  ~FrameBuffer();

  // A new image buffer (rowBytes 0 means 4 × width) with refCount 0.
  static FrameBuffer* CreateImage(int32_t width, int32_t height, int32_t rowBytes = 0);
  static FrameBuffer* CreateImage(FrameSize size) { return CreateImage(size.width, size.height); }
  // A new mask buffer (rowBytes 0 means width) with refCount 0.
  static FrameBuffer* CreateMask(int32_t width, int32_t height, int32_t rowBytes = 0);
  // Destroys a buffer made on the MemHandler: pixels, then the object.
  static void Destroy(FrameBuffer* buffer);

  // Sets geometry and view; rowBytes 0 means packed at pixelBytes a pixel.
  void SetGeometry(int32_t width, int32_t height, int32_t rowBytes, int32_t pixelBytes = 4);
  FrameSize GetSize() const { return FrameSize{width, height}; }
  // Forgets the pixels without freeing them and drops one reference.
  void Detach();
  // Sets rowBytes × height bytes from data to zero.
  void ClearToZero();
  // Views the pixels of a host image (ownsData 0).
  void WrapHostImage(avxImage* image);

  uint8_t* Row(int32_t y) { return data + static_cast<intptr_t>(y) * rowBytes; }
  const uint8_t* Row(int32_t y) const { return data + static_cast<intptr_t>(y) * rowBytes; }
};

// A counted handle to a FrameBuffer made on the MemHandler.
class FrameRef {
 public:
  FrameRef() = default;
  // Takes a reference to a raw buffer (refCount + 1).
  explicit FrameRef(FrameBuffer* buffer);
  FrameRef(const FrameRef& other);
  FrameRef(FrameRef&& other) noexcept : buffer_(other.buffer_) { other.buffer_ = nullptr; }
  FrameRef& operator=(const FrameRef& other);
  FrameRef& operator=(FrameRef&& other) noexcept;
  ~FrameRef() { Release(); }

  // Drops the reference; the last one frees the buffer.
  void Release();
  FrameBuffer* get() const { return buffer_; }
  FrameBuffer* operator->() const { return buffer_; }
  FrameBuffer& operator*() const { return *buffer_; }
  explicit operator bool() const { return buffer_ != nullptr; }
  bool operator==(const FrameRef& other) const { return buffer_ == other.buffer_; }
  bool operator!=(const FrameRef& other) const { return buffer_ != other.buffer_; }

 private:
  FrameBuffer* buffer_ = nullptr;
};

// New handles to new buffers (the common way to create them).
FrameRef NewImage(int32_t width, int32_t height);
FrameRef NewMask(int32_t width, int32_t height);

// A request-local view of a host image; its pixels are never freed.
class HostImageView {
 public:
  explicit HostImageView(avxImage* image);
  HostImageView(const HostImageView&) = delete;
  HostImageView& operator=(const HostImageView&) = delete;
  ~HostImageView() { buffer_.data = nullptr; }
  FrameBuffer& buffer() { return buffer_; }

 private:
  FrameBuffer buffer_;
};
