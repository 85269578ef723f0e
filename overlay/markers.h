// Waypoint markers of the retime graph: a small triangle pointing at the
// waypoint with a boxed number label beyond it.
//
// Markers normally hang below their point; near the bottom of the target,
// where the label would not fit, they stand above it and point down. Pixels
// of a marker that fall outside the target are skipped one by one, so a
// marker at the edge of a small buffer is cut, not dropped.
#pragma once

#include <cstdint>
#include <string_view>

#include "overlay/draw.h"
#include "source/frame_buffer.h"

// Marker colours, bytes in memory order.
constexpr Colour kMarkerOutline{16, 16, 16, 255};
constexpr Colour kMarkerFill{80, 80, 80, 255};
constexpr Colour kMarkerFillCurrent{230, 16, 230, 255};
constexpr Colour kMarkerLabelFill{230, 230, 230, 255};
constexpr Colour kMarkerLabelInk{16, 16, 16, 255};
constexpr Colour kMarkerLabelInkCurrent{180, 16, 16, 255};

// The marker's shape masks: the triangle's outline and its inside, for a
// marker below its point (pointing up) and above it (pointing down).
enum class MarkerMask { kOutlineBelow, kFillBelow, kOutlineAbove, kFillAbove };
constexpr int kMarkerRows = 7;
constexpr int kMarkerColumns = 14;

// The mask's coverage (0 to 255) at a row and column inside the mask.
uint8_t MarkerMaskAt(MarkerMask mask, int row, int column);

// The marker of the waypoint at (x, y) with its label text; a highlighted
// marker is the one of the current key's order.
void DrawMarker(FrameBuffer& target, int x, int y, std::string_view text, bool highlighted);
