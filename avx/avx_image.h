// Host images: 4-byte pixels, rows a fixed byte distance apart.
#pragma once

#include <cstdint>
#include <vector>

#include "avx/avx_types.h"

class AVX_API avxImage {
 public:
  // Makes an empty image; SetSize and SetData give it geometry and pixels.
  static avxImage* New();
  static void Delete(avxImage* image);

  int32_t GetWidth() const { return width_; }
  int32_t GetHeight() const { return height_; }
  // Byte distance from row y to row y + 1 (the same for every row).
  int32_t GetRowDelta(int32_t y) const;
  // Address of pixel (x, y); null when the image has no pixels.
  uint8_t* GetRowPtr(int32_t x, int32_t y) const;
  avxImageFormat GetFormat() const { return format_; }
  void SetFormat(const avxImageFormat& format) { format_ = format; }
  // Sets the geometry; rows are packed (4 bytes a pixel) unless the host sets
  // another row delta with SetRowDelta.
  void SetSize(int32_t width, int32_t height);
  // Points the image at caller-owned pixels; the image never frees them.
  void SetData(void* pixels);

  // Host side: images whose pixels the host owns.
  void SetRowDelta(int32_t rowDelta) { rowDelta_ = rowDelta; }
  // Gives the image pixels of its own (zeroed), replacing caller data.
  void AllocateOwned();

 protected:
  avxImage() = default;
  ~avxImage() = default;

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t rowDelta_ = 0;
  uint8_t* data_ = nullptr;
  std::vector<uint8_t> owned_;
  avxImageFormat format_;
};
