// Entry points and planning of a zoom: which filter, which windows, which
// pass order.
#include "fx/zoom/zoom.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zoom {
namespace {

// Slack that keeps a destination pixel lying exactly on the filter's reach
// out of the reachable region, and tests for whole numbers.
constexpr double kEpsilon = 1e-7;

// Settings fixed for the life of the process: point simplification is on
// and the pass order is always chosen by cost.
constexpr bool kSimplifyToPoint = true;

ZoomWindow RectWindow(const ZoomRect& rect) {
  return MakeWindow(rect.left, rect.top, rect.right - 1, rect.bottom - 1);
}

bool Inside(const ZoomWindow& inner, const ZoomWindow& outer) {
  return inner.x0 >= outer.x0 && inner.x1 <= outer.x1 && inner.y0 >= outer.y0 &&
         inner.y1 <= outer.y1;
}

bool NearWhole(double v) { return std::fabs(v - std::floor(v + 0.5)) <= kEpsilon; }

bool IsPoint(const Filter* filter) { return std::strcmp(filter->name, "point") == 0; }

}  // namespace

ZoomRect ViewRect(const FrameBuffer& buffer) {
  return ZoomRect{buffer.viewTop, buffer.viewLeft, buffer.viewBottom, buffer.viewRight};
}

int32_t ResolveModeBySize(int32_t mode, int32_t sourceWidth, int32_t sourceHeight,
                          int32_t destinationWidth, int32_t destinationHeight) {
  if (mode != kModeBySize) return mode;
  return destinationWidth <= sourceWidth && destinationHeight <= sourceHeight ? 1 : 3;
}

const Filter* FilterForMode(int32_t mode) {
  switch (mode) {
    case 0:
    case 4:
      return FindFilter("point");
    case 1:
    case 3:
    case 5:
      return FindFilter("catrom");
    case 2:
      return FindFilter("triangle");
    default:
      return nullptr;
  }
}

void ZoomImage(const FrameBuffer& source, const ZoomRect& sourceRect, FrameBuffer& destination,
               const ZoomRect& destinationRect, double sx, double sy, double tx, double ty,
               int32_t mode) {
  const ZoomWindow a = RectWindow(sourceRect);
  const ZoomWindow b = RectWindow(destinationRect);
  const Filter* filter = FilterForMode(ResolveModeBySize(mode, a.nx, a.ny, b.nx, b.ny));
  ZoomMapping mapping;
  mapping.sx = sx;
  mapping.sy = sy;
  mapping.tx = tx;
  mapping.ty = ty;
  // The source picture is only ever read through its device.
  const ZoomPicture sourcePicture = ImagePicture(const_cast<FrameBuffer&>(source));
  ZoomWithMapping(sourcePicture, a, ImagePicture(destination), b, mapping, filter, filter);
}

void ZoomMask(const FrameBuffer& source, FrameBuffer& destination, int32_t mode) {
  if (source.width == destination.width && source.height == destination.height) {
    if (&source == &destination || source.data == nullptr || destination.data == nullptr) return;
    if (source.rowBytes == destination.rowBytes && source.rowBytes > 0) {
      std::memmove(destination.data, source.data,
                   static_cast<size_t>(source.rowBytes) * source.height);
    } else {
      for (int32_t y = 0; y < source.height; ++y) {
        std::memmove(destination.Row(y), source.Row(y), static_cast<size_t>(source.width));
      }
    }
    return;
  }
  const ZoomWindow a = MakeWindow(0, 0, source.width - 1, source.height - 1);
  const ZoomWindow b = MakeWindow(0, 0, destination.width - 1, destination.height - 1);
  const Filter* filter = FilterForMode(
      ResolveModeBySize(mode, source.width, source.height, destination.width, destination.height));
  const ZoomPicture sourcePicture = MaskPicture(const_cast<FrameBuffer&>(source));
  ZoomWindows(sourcePicture, a, MaskPicture(destination), b, filter, filter);
}

void ZoomWindows(const ZoomPicture& source, const ZoomWindow& a, const ZoomPicture& destination,
                 const ZoomWindow& b, const Filter* xFilter, const Filter* yFilter) {
  if (b.x0 == kUnsetWindow) return;
  ZoomWindow from = a;
  ZoomWindow to = b;
  SizeWindow(from);
  SizeWindow(to);
  if (from.nx < 1 || from.ny < 1) return;
  ZoomMapping mapping;
  mapping.sx = static_cast<double>(to.nx) / from.nx;
  mapping.sy = static_cast<double>(to.ny) / from.ny;
  mapping.tx = (to.x0 - 0.5) - (from.x0 - 0.5) * mapping.sx;
  mapping.ty = (to.y0 - 0.5) - (from.y0 - 0.5) * mapping.sy;
  ZoomWithMapping(source, from, destination, to, mapping, xFilter, yFilter);
}

void ZoomWithMapping(const ZoomPicture& source, const ZoomWindow& a, const ZoomPicture& destination,
                     const ZoomWindow& b, const ZoomMapping& mapping, const Filter* xFilter,
                     const Filter* yFilter) {
  const ZoomPlan plan = PlanZoom(source, a, destination, b, mapping, xFilter, yFilter);
  if (plan.prepared) PrepareDestination(destination, plan.destination);
  if (plan.run) ExecuteZoom(source, destination, plan);
}

FilterParams MakeFilterParams(const Filter& filter, double s) {
  FilterParams params;
  params.scale = std::max(1.0 / s, 1.0) * filter.blur;
  params.supp = std::max(params.scale * filter.support, 0.5);
  params.wid = static_cast<int32_t>(std::ceil(2.0 * params.supp));
  return params;
}

const Filter* SimplifyFilter(const Filter* filter, FilterParams& params, double s, double tOffset) {
  const bool onPixels = filter->cardinal != 0 && NearWhole(1.0 / params.scale) &&
                        NearWhole(1.0 / (s * params.scale)) &&
                        NearWhole((tOffset / s - 0.5) / params.scale);
  if (params.supp > 0.5 && !onPixels) return filter;
  params = FilterParams{};
  return FindFilter("point");
}

ZoomPlan PlanZoom(const ZoomPicture& source, const ZoomWindow& a, const ZoomPicture& destination,
                  const ZoomWindow& b, const ZoomMapping& mapping, const Filter* xFilter,
                  const Filter* yFilter) {
  ZoomPlan plan;
  if (xFilter == nullptr || yFilter == nullptr) return plan;
  const bool sourceMono = source.device->channelCount(source.data) == 1;
  const bool destinationMono = destination.device->channelCount(destination.data) == 1;
  if (sourceMono != destinationMono) return plan;
  if (!(mapping.sx > 0.0) || !(mapping.sy > 0.0)) return plan;

  plan.mapping = mapping;
  plan.source = a;
  plan.destination = b;
  ZoomWindow& from = plan.source;
  ZoomWindow& to = plan.destination;
  SizeWindow(from);
  SizeWindow(to);
  plan.x = MakeFilterParams(*xFilter, mapping.sx);
  plan.y = MakeFilterParams(*yFilter, mapping.sy);

  IntersectWindows(from, PictureWindow(source), from);
  const ZoomWindow destinationWindow = PictureWindow(destination);
  if (destinationWindow.x0 != kUnsetWindow) IntersectWindows(to, destinationWindow, to);

  // Destination pixels the clipped source can reach through the filter.
  const ZoomWindow reach = MakeWindow(
      static_cast<int32_t>(std::ceil((from.x0 - plan.x.supp) * mapping.sx + mapping.tx + kEpsilon)),
      static_cast<int32_t>(std::ceil((from.y0 - plan.y.supp) * mapping.sy + mapping.ty + kEpsilon)),
      static_cast<int32_t>(
          std::floor((from.x1 + plan.x.supp) * mapping.sx + mapping.tx - kEpsilon)),
      static_cast<int32_t>(
          std::floor((from.y1 + plan.y.supp) * mapping.sy + mapping.ty - kEpsilon)));
  if (!Inside(to, reach)) IntersectWindows(to, reach, to);
  plan.prepared = true;

  plan.mapping.txOffset = to.x0 - (from.x0 - 0.5) * mapping.sx - mapping.tx;
  plan.mapping.tyOffset = to.y0 - (from.y0 - 0.5) * mapping.sy - mapping.ty;
  if (from.nx < 1 || from.ny < 1 || to.nx < 1 || to.ny < 1) return plan;

  plan.xFilter = xFilter;
  plan.yFilter = yFilter;
  if (kSimplifyToPoint) {
    plan.xFilter = SimplifyFilter(xFilter, plan.x, mapping.sx, plan.mapping.txOffset);
    plan.yFilter = SimplifyFilter(yFilter, plan.y, mapping.sy, plan.mapping.tyOffset);
  }
  // Estimated multiply-adds of each order: x first filters every source row
  // horizontally, y first accumulates full source rows.
  const int64_t xFirstCost =
      (static_cast<int64_t>(to.ny) * plan.y.wid + static_cast<int64_t>(from.ny) * plan.x.wid) *
      to.nx;
  const int64_t yFirstCost =
      (static_cast<int64_t>(from.nx) * plan.y.wid + static_cast<int64_t>(to.nx) * plan.x.wid) *
      to.ny;
  plan.xFirst = xFirstCost < yFirstCost;
  plan.point = IsPoint(plan.xFilter) && IsPoint(plan.yFilter);
  plan.run = true;
  return plan;
}

}  // namespace zoom
