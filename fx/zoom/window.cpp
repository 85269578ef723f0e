#include "fx/zoom/window.h"

#include <algorithm>

namespace zoom {

ZoomWindow MakeWindow(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  ZoomWindow w;
  w.x0 = x0;
  w.y0 = y0;
  w.x1 = x1;
  w.y1 = y1;
  SizeWindow(w);
  return w;
}

void SizeWindow(ZoomWindow& w) {
  w.nx = w.x1 - w.x0 + 1;
  w.ny = w.y1 - w.y0 + 1;
}

bool WindowsOverlap(const ZoomWindow& a, const ZoomWindow& b) {
  return a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1;
}

void IntersectWindows(const ZoomWindow& a, const ZoomWindow& b, ZoomWindow& out) {
  out.x0 = std::max(a.x0, b.x0);
  out.y0 = std::max(a.y0, b.y0);
  out.x1 = std::min(a.x1, b.x1);
  out.y1 = std::min(a.y1, b.y1);
  SizeWindow(out);
}

ZoomWindow PictureWindow(const ZoomPicture& picture) {
  int32_t x0 = 0, y0 = 0, nx = 0, ny = 0;
  picture.device->getBounds(picture.data, &x0, &y0, &nx, &ny);
  return MakeWindow(x0, y0, x0 + nx - 1, y0 + ny - 1);
}

void PrepareDestination(const ZoomPicture& picture, const ZoomWindow& w) {
  picture.device->prepareWindow(picture.data, w.x0, w.y0, w.nx, w.ny);
}

}  // namespace zoom
