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

// Rings hold a power of two of rows, so that finding row k's place takes
// no division (a few of them for every row made add up).
size_t RingSize(size_t rows) {
  size_t size = 1;
  while (size < rows) size *= 2;
  return size;
}
size_t Slot(int32_t k, size_t ringSize) { return static_cast<size_t>(k) & (ringSize - 1); }

// A ring of the last rowCount rows made of a sequence, row k at k mod
// rowCount (a power of two).
class RowRing {
 public:
  RowRing(uint8_t* storage, int32_t rowCount, int32_t width)
      : storage_(storage), rowCount_(rowCount), width_(width) {}
  uint8_t* Row(int32_t k) const {
    return storage_ + Slot(k, static_cast<size_t>(rowCount_)) * static_cast<size_t>(width_);
  }

 private:
  uint8_t* storage_;
  int32_t rowCount_;
  int32_t width_;
};

using maskrows::Extent;

// Makes the rows of MedianFilter3x3, then DilateMask and BoxBlurMask over
// across and down, of a raw mask, one row at a time in rising order. Each
// row made is known to be 0 outside an extent, and every stage computes
// only where its inputs' extents say a value can be other than 0: a still
// picture's mask is mostly 0, and costs little.
class FilteredRows {
 public:
  // rawExtents holds every raw row's extent.
  FilteredRows(const FrameBuffer& raw, int32_t across, int32_t down, bool widens,
               const std::vector<Extent>& rawExtents)
      : raw_(raw),
        rawExtents_(rawExtents),
        width_(raw.width),
        height_(raw.height),
        across_(across),
        down_(down),
        widens_(widens),
        divideAcross_(widens ? 2 * across + 1 : 1),
        divideDown_(widens ? 2 * down + 1 : 1) {
    if (!widens_) return;
    const size_t width = static_cast<size_t>(width_);
    const size_t padded = width + 2 * static_cast<size_t>(across_);
    const size_t medianRows = RingSize(2 * static_cast<size_t>(down_) + 1);
    const size_t blurredRows = RingSize(2 * static_cast<size_t>(down_) + 2);
    // One block from the allocator, in 16-byte-aligned parts.
    auto part = [](size_t bytes) { return (bytes + 15) / 16 * 16; };
    const size_t total = part(medianRows * width) + part(blurredRows * width) + 2 * part(padded) +
                         part(width) + part(2 * padded) + 2 * part(2 * width);
    scratch_ = NewMask(static_cast<int32_t>(total), 1);
    // All 0 to begin with: from then on each row keeps account of where it
    // may hold values other than 0, and only that is cleared again.
    std::memset(scratch_->data, 0, total);
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
    work_ = reinterpret_cast<uint16_t*>(take(2 * padded));
    sums_ = reinterpret_cast<uint16_t*>(take(2 * width));
    columnSums_ = reinterpret_cast<uint16_t*>(take(2 * width));
    std::fill(columnSums_, columnSums_ + width_, 0);
    medianExtents_.resize(medianRows);
    blurredExtents_.resize(blurredRows);
    window_.resize(medianRows);
  }

  // Writes filtered row y into out and returns where it may be other than 0;
  // y is 0 on the first call and one more on every next.
  Extent Make(int32_t y, uint8_t* out) {
    if (!widens_) return MedianOf(y, out, Extent{0, width_});
    if (y == 0) {
      for (int32_t k = -down_; k <= down_; ++k) Slide(Clamped(k), -1);
    }
    Extent extent;
    for (int32_t k = y - down_; k <= y + down_; ++k) {
      extent = Union(extent, BlurredExtent(Clamped(k)));
    }
    ClearOutside(out, Extent{0, width_}, extent);
    if (!extent.Empty()) {
      divideDown_.Divide(columnSums_ + extent.begin, out + extent.begin, extent.end - extent.begin);
    }
    if (y + 1 < height_) Slide(Clamped(y + down_ + 1), Clamped(y - down_));
    return extent;
  }

 private:
  int32_t Clamped(int32_t k) const { return std::clamp(k, 0, height_ - 1); }

  // Zeros what of held lies outside kept: a row that may hold values other
  // than 0 in held is then 0 outside kept.
  static void ClearOutside(uint8_t* row, Extent held, Extent kept) {
    if (held.Empty()) return;
    if (kept.Empty()) {
      std::memset(row + held.begin, 0, static_cast<size_t>(held.end - held.begin));
      return;
    }
    if (held.begin < kept.begin) {
      std::memset(row + held.begin, 0,
                  static_cast<size_t>(std::min(held.end, kept.begin) - held.begin));
    }
    if (held.end > kept.end) {
      const int32_t from = std::max(held.begin, kept.end);
      std::memset(row + from, 0, static_cast<size_t>(held.end - from));
    }
  }

  // The median row j into out, which may hold values other than 0 in held
  // (all of it for a row of the result); it is 0 wherever its whole window
  // is.
  Extent MedianOf(int32_t j, uint8_t* out, Extent held) {
    Extent reach =
        Union(Union(rawExtents_[Clamped(j - 1)], rawExtents_[j]), rawExtents_[Clamped(j + 1)]);
    if (!reach.Empty())
      reach = Extent{std::max(0, reach.begin - 1), std::min(width_, reach.end + 1)};
    ClearOutside(out, held, reach);
    if (reach.Empty()) return reach;
    maskrows::MedianRow(raw_.Row(Clamped(j - 1)), raw_.Row(j), raw_.Row(Clamped(j + 1)), out,
                        width_, reach.begin, reach.end);
    return maskrows::NonZeroExtent(out, reach.begin, reach.end);
  }

  // Column sums gain blurred row entering and lose row leaving (−1: none).
  void Slide(int32_t entering, int32_t leaving) {
    const uint8_t* in = Blurred(entering);
    Extent changed = BlurredExtent(entering);
    const uint8_t* out = zeros_;
    if (leaving >= 0) {
      out = blurred_.Row(leaving);
      changed = Union(changed, BlurredExtent(leaving));
    }
    if (changed.Empty()) return;
    maskrows::SlideSums(columnSums_ + changed.begin, in + changed.begin, out + changed.begin,
                        changed.end - changed.begin);
  }

  // The horizontally blurred dilated row k, made when first asked for.
  const uint8_t* Blurred(int32_t k) {
    for (; blurredMade_ <= k; ++blurredMade_) MakeBlurred(blurredMade_);
    return blurred_.Row(k);
  }
  Extent BlurredExtent(int32_t k) {
    Blurred(k);
    return blurredExtents_[Slot(k, blurredExtents_.size())];
  }

  void MakeBlurred(int32_t k) {
    const int32_t first = std::max(0, k - down_);
    const int32_t last = std::min(height_ - 1, k + down_);
    for (; medianMade_ <= last; ++medianMade_) {
      // The ring row still holds the row made before in its slot, which is
      // 0 outside that row's extent.
      Extent& slotExtent = medianExtents_[Slot(medianMade_, medianExtents_.size())];
      slotExtent = MedianOf(medianMade_, median_.Row(medianMade_), slotExtent);
    }
    Extent extent;
    for (int32_t j = first; j <= last; ++j) {
      window_[j - first] = median_.Row(j);
      extent = Union(extent, medianExtents_[Slot(j, medianExtents_.size())]);
    }
    uint8_t* blurred = blurred_.Row(k);
    Extent& blurredExtent = blurredExtents_[Slot(k, blurredExtents_.size())];
    // What the row made before in this slot left, 0 outside it.
    const Extent held = blurredExtent;
    blurredExtent = extent;
    if (extent.Empty()) {
      ClearOutside(blurred, held, extent);
      return;
    }
    // Dilation: the column maximum, then the row maximum with the row's end
    // values repeated (the same maximum as the window clipped at the ends).
    // Each of these rows is read only within twice the reach of what is
    // written into it, so only that margin is cleared.
    uint8_t* columnMax = padded_ + across_;
    ClearMargins(columnMax, extent);
    maskrows::MaxOfRows(window_.data(), last - first + 1, extent.begin, extent.end, columnMax);
    Pad(padded_);
    const Extent dilated = Widened(extent);
    uint8_t* dilatedRow = dilated_ + across_;
    ClearMargins(dilatedRow, dilated);
    maskrows::MaxAlongRow(padded_ + dilated.begin, dilated.end - dilated.begin, across_,
                          dilatedRow + dilated.begin);
    // Blur across: the window's sum over the row with its end values
    // repeated, divided with truncation.
    Pad(dilated_);
    blurredExtent = Widened(dilated);
    ClearOutside(blurred, held, blurredExtent);
    const int32_t count = blurredExtent.end - blurredExtent.begin;
    divideAcross_.AverageAlongRow(dilated_ + blurredExtent.begin, count, work_, sums_,
                                  blurred + blurredExtent.begin);
  }

  // Zeros the 2 across_ columns on either side of extent (within the row),
  // all that a filter across ±across_ of the row widened by across_ reads
  // outside extent. The padding beyond the row's ends is read only where
  // that margin reaches an end, whose value it then repeats as 0.
  void ClearMargins(uint8_t* row, Extent extent) const {
    const int32_t left = std::max(0, extent.begin - 2 * across_);
    std::memset(row + left, 0, static_cast<size_t>(extent.begin - left));
    const int32_t right = std::min(width_, extent.end + 2 * across_);
    std::memset(row + extent.end, 0, static_cast<size_t>(right - extent.end));
  }

  // Where a row filtered across ±across_ can be other than 0.
  Extent Widened(Extent extent) const {
    return Extent{std::max(0, extent.begin - across_), std::min(width_, extent.end + across_)};
  }

  // Repeats a row's first and last values into the across_ places on
  // either side of it.
  void Pad(uint8_t* padded) const {
    std::memset(padded, padded[across_], static_cast<size_t>(across_));
    std::memset(padded + across_ + width_, padded[across_ + width_ - 1],
                static_cast<size_t>(across_));
  }

  const FrameBuffer& raw_;
  const std::vector<Extent>& rawExtents_;
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
  std::vector<Extent> medianExtents_;
  std::vector<Extent> blurredExtents_;
  std::vector<const uint8_t*> window_;
  int32_t medianMade_ = 0;
  int32_t blurredMade_ = 0;
};

}  // namespace

void FilterMaskAndBlend(const FrameBuffer& raw, int32_t smooth, FrameBuffer* filtered,
                        const FrameBuffer& current, const FrameBuffer& neighbour, FrameBuffer& out,
                        const RowMaker& makeCurrentRow, const std::vector<Extent>* rawExtents) {
  const bool filters =
      raw.data != nullptr &&
      (filtered == nullptr || (filtered->data != nullptr && filtered->width == raw.width &&
                               filtered->height == raw.height));
  const bool blends = current.data != nullptr && out.data != nullptr;
  // Without a whole mask to keep, each filtered row is wanted only by the
  // blend of its own row: one row, made again for every row, spares writing
  // a whole mask (and reading it in for the writes) on every render.
  FrameRef ownRow;
  if (filters && filtered == nullptr) ownRow = NewMask(raw.width, 1);
  auto maskRow = [&](int32_t y) { return ownRow ? ownRow->data : filtered->Row(y); };
  const int32_t maskRows = filters ? raw.height : 0;
  const int32_t blendRows = blends ? current.height : 0;
  // Each raw row's extent, measured here when the motion test did not give it.
  std::vector<Extent> measured;
  if (filters && (rawExtents == nullptr || rawExtents->size() != static_cast<size_t>(raw.height))) {
    measured.resize(static_cast<size_t>(raw.height));
    for (int32_t y = 0; y < raw.height; ++y)
      measured[y] = maskrows::NonZeroExtent(raw.Row(y), 0, raw.width);
    rawExtents = &measured;
  }
  std::optional<FilteredRows> rows;
  if (filters) rows.emplace(raw, smooth, smooth / 2, smooth != 0, *rawExtents);
  // Current's pixels are made where the blend writes, unless that holds the
  // neighbour's, which the blend still reads.
  FrameRef madeRow;
  if (makeCurrentRow && blends && out.data == neighbour.data) madeRow = NewImage(current.width, 1);
  // The filtered mask has raw's size, whether kept whole or not; a mask the
  // rows cannot be made into drives no blend, as a mask without pixels
  // drives none.
  const FrameBuffer noMask;
  const FrameBuffer& maskSize = filters ? raw : noMask;
  const int32_t width = current.width;
  for (int32_t y = 0; y < std::max(maskRows, blendRows); ++y) {
    Extent moving{0, width};
    uint8_t* m = y < maskRows ? maskRow(y) : nullptr;
    if (m != nullptr) moving = rows->Make(y, m);
    if (y >= blendRows) continue;
    // Where the mask is 0 the neighbour's pixel is taken whole, and
    // current's is not needed; pixels the neighbour or the mask lacks keep
    // current's.
    const int32_t blended = maskrows::BlendedColumns(current, neighbour, maskSize, y);
    const Extent needed = blended < width ? Extent{0, width} : moving;
    uint8_t* o = out.Row(y);
    const uint8_t* c = current.Row(y);
    if (makeCurrentRow && !needed.Empty()) {
      uint8_t* made = madeRow ? madeRow->data : o;
      makeCurrentRow(y, needed.begin, needed.end, made);
      c = made;
    }
    if (blended < width) {
      if (o != c) {
        std::memcpy(o + 4 * static_cast<size_t>(blended), c + 4 * static_cast<size_t>(blended),
                    4 * static_cast<size_t>(width - blended));
      }
      if (blended > 0) maskrows::BlendPixels(c, neighbour.Row(y), m, o, blended);
      continue;
    }
    const uint8_t* n = neighbour.Row(y);
    if (moving.Empty()) {
      if (o != n) std::memcpy(o, n, 4 * static_cast<size_t>(width));
      continue;
    }
    if (o != n) {
      std::memcpy(o, n, 4 * static_cast<size_t>(moving.begin));
      std::memcpy(o + 4 * moving.end, n + 4 * moving.end,
                  4 * static_cast<size_t>(width - moving.end));
    }
    maskrows::BlendPixels(c + 4 * moving.begin, n + 4 * moving.begin, m + moving.begin,
                          o + 4 * moving.begin, moving.end - moving.begin);
  }
}
