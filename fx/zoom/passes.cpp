// The pixel passes of a zoom: point sampling, and the two orders of the
// filtered zoom over a ring of source rows.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fx/zoom/zoom.h"

namespace zoom {
namespace {

// The scanlines of one zoom, freed together however the zoom ends.
class ScanlinePool {
 public:
  explicit ScanlinePool(size_t capacity) { lines_.reserve(capacity); }
  ScanlinePool(const ScanlinePool&) = delete;
  ScanlinePool& operator=(const ScanlinePool&) = delete;
  ~ScanlinePool() {
    for (Scanline& line : lines_) ScanlineFree(line);
  }
  // References stay valid: the pool never grows past its capacity.
  Scanline& Add(int32_t type, int32_t length) {
    lines_.emplace_back();
    ScanlineAlloc(lines_.back(), type, length);
    return lines_.back();
  }

 private:
  std::vector<Scanline> lines_;
};

int32_t ScanlineByteType(const ZoomPicture& picture) {
  return picture.device->channelCount(picture.data) == 1 ? kScanByte : kScanRgbaByte;
}

// Source index (relative to the window) that point sampling takes for
// output index d, clamped to the window for the reason given in MakeWeights.
int32_t PointIndex(int32_t d, double offset, double s, int32_t length) {
  return std::clamp(static_cast<int32_t>((d + offset) / s), 0, length - 1);
}

void PointZoom(const ZoomPicture& source, const ZoomPicture& destination, const ZoomPlan& plan) {
  const ZoomWindow& a = plan.source;
  const ZoomWindow& b = plan.destination;
  const ZoomMapping& m = plan.mapping;
  const int32_t type = ScanlineByteType(source);
  const size_t pixelBytes = type == kScanByte ? 1 : 4;

  std::vector<int32_t> columns(static_cast<size_t>(b.nx));
  for (int32_t d = 0; d < b.nx; ++d) columns[d] = PointIndex(d, m.txOffset, m.sx, a.nx);

  ScanlinePool pool(2);
  Scanline& in = pool.Add(type, a.nx);
  Scanline& out = pool.Add(type, b.nx);
  const auto* inBytes = static_cast<const uint8_t*>(in.data);
  auto* outBytes = static_cast<uint8_t*>(out.data);
  int32_t lastRow = -1;
  for (int32_t y = 0; y < b.ny; ++y) {
    const int32_t row = PointIndex(y, m.tyOffset, m.sy, a.ny);
    if (row != lastRow) {
      ScanlineRead(source, a.x0, a.y0 + row, in);
      lastRow = row;
      for (int32_t d = 0; d < b.nx; ++d) {
        std::memcpy(outBytes + d * pixelBytes, inBytes + columns[d] * pixelBytes, pixelBytes);
      }
    }
    ScanlineWrite(destination, b.x0, b.y0 + y, out);
  }
}

void FilteredZoom(const ZoomPicture& source, const ZoomPicture& destination, const ZoomPlan& plan) {
  const ZoomWindow& a = plan.source;
  const ZoomWindow& b = plan.destination;
  const ZoomMapping& m = plan.mapping;
  const int32_t byteType = ScanlineByteType(source);
  const int32_t shortType = byteType | kScanShort;
  const int32_t intType = byteType | kScanInt;

  // The column table serves every output row.
  const size_t columnCapacity = static_cast<size_t>(plan.x.wid) + 1;
  std::vector<int16_t> columnWeights(columnCapacity * b.nx);
  std::vector<WeightRange> columns(static_cast<size_t>(b.nx));
  for (int32_t d = 0; d < b.nx; ++d) {
    columns[d].weights = columnWeights.data() + columnCapacity * d;
    MakeWeights((d + m.txOffset) / m.sx, *plan.xFilter, plan.x, a.nx, true, columns[d]);
  }
  std::vector<int16_t> rowWeights(static_cast<size_t>(plan.y.wid) + 1);
  WeightRange rows;
  rows.weights = rowWeights.data();

  // Source row r lives in slot r mod wid_y for as long as output rows need it.
  const int32_t ringSize = plan.y.wid;
  std::vector<int32_t> tags(static_cast<size_t>(ringSize), -1);
  ScanlinePool pool(static_cast<size_t>(ringSize) + 3);
  std::vector<Scanline*> ring;
  ring.reserve(static_cast<size_t>(ringSize));
  for (int32_t i = 0; i < ringSize; ++i) {
    ring.push_back(&pool.Add(plan.xFirst ? shortType : byteType, plan.xFirst ? b.nx : a.nx));
  }
  Scanline& in = pool.Add(byteType, a.nx);
  Scanline& sums = pool.Add(intType, plan.xFirst ? b.nx : a.nx);
  Scanline& out = pool.Add(byteType, b.nx);

  for (int32_t y = 0; y < b.ny; ++y) {
    MakeWeights((y + m.tyOffset) / m.sy, *plan.yFilter, plan.y, a.ny, false, rows);
    ScanlineZero(sums);
    for (int32_t r = rows.first; r < rows.end; ++r) {
      const int32_t slot = r % ringSize;
      Scanline& cached = *ring[slot];
      if (tags[slot] != r) {
        if (plan.xFirst) {
          ScanlineRead(source, a.x0, a.y0 + r, in);
          ScanlineFilter(kFirstPassShift, columns.data(), in, cached);
        } else {
          ScanlineRead(source, a.x0, a.y0 + r, cached);
        }
        tags[slot] = r;
      }
      ScanlineAccumulate(rows.weights[r - rows.first], cached, sums);
    }
    if (plan.xFirst) {
      ScanlineShift(kFinalShift, sums, out);
    } else {
      ScanlineFilter(kFinalShift, columns.data(), sums, out);
    }
    ScanlineWrite(destination, b.x0, b.y0 + y, out);
  }
}

}  // namespace

void ExecuteZoom(const ZoomPicture& source, const ZoomPicture& destination, const ZoomPlan& plan) {
  if (!plan.run) return;
  if (plan.point) {
    PointZoom(source, destination, plan);
  } else {
    FilteredZoom(source, destination, plan);
  }
}

}  // namespace zoom
