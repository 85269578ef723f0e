// Rectangles of the resampler: inclusive corners and their sizes.
#pragma once

#include <cstdint>

#include "fx/zoom/pic.h"

namespace zoom {

// An x0 with this value marks a window that has not been set.
constexpr int32_t kUnsetWindow = -239;

struct ZoomWindow {
  int32_t x0 = kUnsetWindow;
  int32_t y0 = 0;
  int32_t x1 = 0;
  int32_t y1 = 0;
  int32_t nx = 0;  // x1 - x0 + 1, kept by SizeWindow
  int32_t ny = 0;  // y1 - y0 + 1
};

// A window from its corners, sized.
ZoomWindow MakeWindow(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
// Recomputes nx and ny from the corners.
void SizeWindow(ZoomWindow& w);
// True when the windows share at least one pixel (a corner is enough).
bool WindowsOverlap(const ZoomWindow& a, const ZoomWindow& b);
// The common part of a and b, sized; empty results have nx or ny below 1.
void IntersectWindows(const ZoomWindow& a, const ZoomWindow& b, ZoomWindow& out);
// The extent the picture's device reports.
ZoomWindow PictureWindow(const ZoomPicture& picture);
// Tells the destination device which window is about to be written.
void PrepareDestination(const ZoomPicture& picture, const ZoomWindow& w);

}  // namespace zoom
