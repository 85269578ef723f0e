// Colours of the overlay's graph, order box and status label, bytes in
// memory order (byte 0, byte 1, byte 2, alpha). The waypoint markers keep
// theirs beside their shapes (markers.h).
#pragma once

#include "overlay/draw.h"

// The two translucent bands that mark the top and the bottom of the graph.
constexpr Colour kBandColour{200, 16, 200, 180};
// The current source position; also the status label's text.
constexpr Colour kSourceCursorColour{16, 255, 16, 255};
// The plotted timeline.
constexpr Colour kCurveColour{16, 230, 230, 255};
// The current time.
constexpr Colour kTimeCursorColour{230, 16, 16, 255};
// The order box's background.
constexpr Colour kBoxShade{16, 16, 16, 119};
// A "+" or "-" whose action is possible, and the order digit.
constexpr Colour kEnabledSignColour{230, 230, 230, 255};
// A "+" or "-" whose action is not possible.
constexpr Colour kDisabledSignColour{128, 128, 128, 255};
