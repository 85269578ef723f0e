// The median, dilation, blur and blend of one adaptive step in one pass down
// the rows. Each step, run on its own, walks the whole mask (and the blend
// the whole field) once more; here each filtered mask row is made from the
// few rows before it that are still in cache, and the field row it drives is
// blended right after. Rows are made in rising order; every vertical filter
// keeps the rows it still needs in a ring.
#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "source/mask_kernels.h"
#include "source/motion_mask.h"

namespace {

// A ring of the last rowCount rows made of a sequence, row k at k mod rowCount.
class RowRing {
 public:
  RowRing(uint8_t* storage, int32_t rowCount, int32_t width)
      : storage_(storage), rowCount_(rowCount), width_(width) {}
  uint8_t* Row(int32_t k) const {
    return storage_ + static_cast<size_t>(k % rowCount_) * static_cast<size_t>(width_);
  }

 private:
  uint8_t* storage_;
  int32_t rowCount_;
  int32_t width_;
};

// Makes the rows of MedianFilter3x3, then DilateMask and BoxBlurMask over
// across and down, of a raw mask, one row at a time in rising order.
class FilteredRows {
 public:
  FilteredRows(const FrameBuffer& raw, int32_t across, int32_t down, bool widens)
      : raw_(raw),
        width_(raw.width),
        height_(raw.height),
        across_(across),
        down_(down),
        widens_(widens),
        divideAcross_(2 * across + 1),
        divideDown_(2 * down + 1) {
    if (!widens_) return;
    const size_t width = static_cast<size_t>(width_);
    const size_t padded = width + 2 * static_cast<size_t>(across_);
    const size_t medianRows = 2 * static_cast<size_t>(down_) + 1;
    const size_t blurredRows = medianRows + 1;
    // One block from the allocator, in 16-byte-aligned parts.
    auto part = [](size_t bytes) { return (bytes + 15) / 16 * 16; };
    const size_t total = part(medianRows * width) + part(blurredRows * width) + 2 * part(padded) +
                         part(width) + part(2 * padded) + 2 * part(2 * width);
    scratch_ = NewMask(static_cast<int32_t>(total), 1);
    uint8_t* next = scratch_->data;
    auto take = [&](size_t bytes) {
      uint8_t* start = next;
      next += part(bytes);
      return start;
    };
    median_ = RowRing(take(medianRows * width), static_cast<int32_t>(medianRows), width_);
    blurred_ = RowRing(take(blurredRows * width), static_cast<int32_t>(blurredRows), width_);
    padded_ = take(padded);
    dilated_ = take(padded);
    zeros_ = take(width);
    std::memset(zeros_, 0, width);
    work_ = reinterpret_cast<uint16_t*>(take(2 * padded));
    sums_ = reinterpret_cast<uint16_t*>(take(2 * width));
    columnSums_ = reinterpret_cast<uint16_t*>(take(2 * width));
    window_.resize(medianRows);
  }

  // Writes filtered row y into out; y is 0 on the first call and one more on
  // every next.
  void Make(int32_t y, uint8_t* out) {
    if (!widens_) {
      MedianOf(y, out);
      return;
    }
    if (y == 0) {
      std::fill(columnSums_, columnSums_ + width_, 0);
      for (int32_t k = -down_; k <= down_; ++k) {
        maskrows::SlideSums(columnSums_, Blurred(Clamped(k)), zeros_, width_);
      }
    }
    divideDown_.Divide(columnSums_, out, width_);
    if (y + 1 < height_) {
      const uint8_t* entering = Blurred(Clamped(y + down_ + 1));
      maskrows::SlideSums(columnSums_, entering, Blurred(Clamped(y - down_)), width_);
    }
  }

 private:
  int32_t Clamped(int32_t k) const { return std::clamp(k, 0, height_ - 1); }

  void MedianOf(int32_t j, uint8_t* out) const {
    maskrows::MedianRow(raw_.Row(Clamped(j - 1)), raw_.Row(j), raw_.Row(Clamped(j + 1)), out,
                        width_);
  }

  // The horizontally blurred dilated row k, made when first asked for.
  const uint8_t* Blurred(int32_t k) {
    for (; blurredMade_ <= k; ++blurredMade_) MakeBlurred(blurredMade_);
    return blurred_.Row(k);
  }

  void MakeBlurred(int32_t k) {
    const int32_t first = std::max(0, k - down_);
    const int32_t last = std::min(height_ - 1, k + down_);
    for (; medianMade_ <= last; ++medianMade_) MedianOf(medianMade_, median_.Row(medianMade_));
    for (int32_t j = first; j <= last; ++j) window_[j - first] = median_.Row(j);
    // Dilation: the column maximum, then the row maximum with the row's end
    // values repeated (the same maximum as the window clipped at the ends).
    maskrows::MaxOfRows(window_.data(), last - first + 1, padded_ + across_, width_);
    Pad(padded_);
    maskrows::MaxAlongRow(padded_, width_, across_, dilated_ + across_);
    // Blur across: the window's sum over the row with its end values
    // repeated, divided with truncation.
    Pad(dilated_);
    maskrows::SumAlongRow(dilated_, width_, 2 * across_ + 1, work_, sums_);
    divideAcross_.Divide(sums_, blurred_.Row(k), width_);
  }

  // Repeats a row's first and last values into the across_ places on
  // either side of it.
  void Pad(uint8_t* padded) const {
    std::memset(padded, padded[across_], static_cast<size_t>(across_));
    std::memset(padded + across_ + width_, padded[across_ + width_ - 1],
                static_cast<size_t>(across_));
  }

  const FrameBuffer& raw_;
  int32_t width_;
  int32_t height_;
  int32_t across_;
  int32_t down_;
  bool widens_;
  maskrows::WindowDivider divideAcross_;
  maskrows::WindowDivider divideDown_;
  FrameRef scratch_;
  RowRing median_{nullptr, 1, 0};
  RowRing blurred_{nullptr, 1, 0};
  uint8_t* padded_ = nullptr;
  uint8_t* dilated_ = nullptr;
  uint8_t* zeros_ = nullptr;
  uint16_t* work_ = nullptr;
  uint16_t* sums_ = nullptr;
  uint16_t* columnSums_ = nullptr;
  std::vector<const uint8_t*> window_;
  int32_t medianMade_ = 0;
  int32_t blurredMade_ = 0;
};

}  // namespace

void FilterMaskAndBlend(const FrameBuffer& raw, int32_t smooth, FrameBuffer& filtered,
                        const FrameBuffer& current, const FrameBuffer& neighbour, FrameBuffer& out,
                        const std::function<void(int32_t)>& makeCurrentRow) {
  const bool filters = raw.data != nullptr && filtered.data != nullptr &&
                       filtered.width == raw.width && filtered.height == raw.height;
  const bool blends = current.data != nullptr && out.data != nullptr;
  // A mask the rows cannot be made into drives no blend, as a mask without
  // pixels drives none.
  const FrameBuffer noMask;
  const FrameBuffer& mask = filters ? filtered : noMask;
  const int32_t maskRows = filters ? raw.height : 0;
  const int32_t blendRows = blends ? current.height : 0;
  std::optional<FilteredRows> rows;
  if (filters) rows.emplace(raw, smooth, smooth / 2, smooth != 0);
  for (int32_t y = 0; y < std::max(maskRows, blendRows); ++y) {
    if (y < maskRows) rows->Make(y, filtered.Row(y));
    if (y < blendRows) {
      if (makeCurrentRow) makeCurrentRow(y);
      maskrows::BlendMaskRow(current, neighbour, mask, out, y);
    }
  }
}
