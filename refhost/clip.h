// Source material for the reference host: frames of 4-byte pixels.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace refhost {

class Clip {
 public:
  virtual ~Clip() = default;
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual int32_t FrameCount() const = 0;
  // Copies `rows` rows of `frame` (rows firstRow, firstRow + step, ...; 4
  // bytes a pixel, blue green red fourth), the first `pixels` pixels of each,
  // into dest, rows destRowBytes apart; false when the frame cannot be
  // delivered. Rows beyond the frame are not asked for.
  virtual bool ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows,
                        int32_t pixels, uint8_t* dest, int32_t destRowBytes) = 0;

 protected:
  // ReadRows out of a frame held as rows rowBytes apart.
  static void CopyRows(const uint8_t* frame, int32_t rowBytes, int32_t firstRow, int32_t step,
                       int32_t rows, int32_t pixels, uint8_t* dest, int32_t destRowBytes);
};

// Frames held in memory: test clips and generated material.
class MemoryClip : public Clip {
 public:
  MemoryClip(int32_t width, int32_t height) : width_(width), height_(height) {}
  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t FrameCount() const override { return static_cast<int32_t>(frames_.size()); }
  bool ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows, int32_t pixels,
                uint8_t* dest, int32_t destRowBytes) override;

  // Appends a frame of width × height × 4 bytes (packed rows).
  void AddFrame(std::vector<uint8_t> pixels);
  std::vector<uint8_t>& FramePixels(int32_t frame) { return frames_[frame]; }

 private:
  int32_t width_;
  int32_t height_;
  std::vector<std::vector<uint8_t>> frames_;
};

}  // namespace refhost
