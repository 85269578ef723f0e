// The retime graph: source position (upwards) against output time
// (rightwards) over the graph area, with the current source position and
// time, the waypoints of the play sequence and the order box of the key
// under the current time.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/corvalis.h"
#include "overlay/corvalis_overlay.h"
#include "overlay/draw.h"
#include "overlay/font.h"
#include "overlay/markers.h"
#include "overlay/palette.h"

namespace {

// Coordinates are kept this far inside the int range, so that a position far
// outside the graph still leaves room for the ±1 of the two-pixel strokes;
// such a point is clipped away anyway.
constexpr double kFarOutside = 1 << 30;

// v + 0.5 truncated toward zero, held within ±kFarOutside.
int RoundToPixel(double value) {
  const double shifted = value + 0.5;
  if (!(shifted > -kFarOutside)) return static_cast<int>(-kFarOutside);  // also NaN
  if (shifted > kFarOutside) return static_cast<int>(kFarOutside);
  return static_cast<int>(shifted);
}

struct Point {
  int x;
  int y;
};

// The graph's scales: output units across, source units up.
struct GraphScale {
  PixelRect area;
  int width;
  int height;
  // Units − 1: the last unit lies at the right edge and a position of that
  // many units at the top. A one-unit effect has no span; it is drawn with a
  // span of one, so its only unit stands at the left edge.
  double span;

  int X(double unit) const { return area.left + RoundToPixel(unit / span * width); }
  int Y(double position) const { return area.bottom - RoundToPixel(position / span * height); }
};

// Blends the colour into whole rows first to last (inclusive) across the
// buffer.
void FillRows(FrameBuffer& target, int first, int last, Colour colour) {
  FillRect(Pen{target, colour}, PixelRect{first, 0, last + 1, target.width});
}

// The curve as a polyline two pixels wide, one sample per pixel column or
// per unit, whichever is fewer.
void DrawCurve(Corvalis& effect, FrameBuffer& target, const GraphScale& scale, int32_t units) {
  const Pen pen{target, kCurveColour};
  const int samples = std::min(scale.width, units);
  Point previous{scale.area.left, scale.Y(effect.SourcePositionAt(0))};
  for (int i = 1; i < samples; ++i) {
    const double t = static_cast<double>(i) / (samples - 1);
    const int32_t unit = RoundToPixel(t * (units - 1));
    const Point point{scale.area.left + RoundToPixel(t * scale.width),
                      scale.Y(effect.SourcePositionAt(unit))};
    DrawLine(pen, previous.x, previous.y, point.x, point.y);
    DrawLine(pen, previous.x + 1, previous.y, point.x + 1, point.y);
    previous = point;
  }
}

// The index of the last speed key within half a frame of the time, or −1,
// and the play order it names (0 when no matching key is ordered; a match
// without an order keeps the order of an earlier one).
struct CurrentKey {
  int index = -1;
  int32_t order = 0;
};

CurrentKey FindCurrentKey(avxParameter* speed, const std::vector<SpeedKey>& table, double time,
                          int32_t frames) {
  CurrentKey current;
  if (speed == nullptr) return current;
  const double halfFrame = 0.5 / frames;
  for (int32_t i = 0; i < speed->GetNumKeys(); ++i) {
    const avxParamKey* key = speed->GetKey(i);
    if (key == nullptr || !(std::fabs(key->GetTime() - time) < halfFrame)) continue;
    current.index = i;
    if (static_cast<size_t>(i) < table.size() && table[i].order > 0) current.order = table[i].order;
  }
  return current;
}

// The label of a waypoint: its number when it is one digit, else "0".
std::string MarkerLabel(int32_t number) {
  return std::string(1, number >= 1 && number <= 9 ? static_cast<char>('0' + number) : '0');
}

}  // namespace

void CorvalisOverlay::DrawGraph(Corvalis& effect, FrameBuffer& target) {
  const PixelRect area = GraphArea(target.width, target.height);
  const int32_t units = effect.UnitCount();
  const GraphScale scale{area, std::abs(area.right - area.left), std::abs(area.bottom - area.top),
                         units > 1 ? units - 1.0 : 1.0};
  const double time = effect.GetTime();
  const int32_t currentUnit = effect.CurrentUnit();

  // Both bands are two rows high, as the cursors are.
  FillRows(target, area.top, area.top + 1, kBandColour);
  FillRows(target, area.bottom - 1, area.bottom, kBandColour);

  const int cursorY = scale.Y(effect.SourcePositionAt(currentUnit));
  FillRows(target, cursorY - 1, cursorY, kSourceCursorColour);

  DrawCurve(effect, target, scale, units);

  const int timeX = area.left + RoundToPixel(time * scale.width);
  FillRect(Pen{target, kTimeCursorColour}, PixelRect{0, timeX, target.height, timeX + 1});

  const std::vector<SpeedKey>& table = effect.keyTable;
  const CurrentKey current = FindCurrentKey(speedParam, table, time, effect.GetTotalFrames());
  currentKey = current.index;

  const std::vector<int32_t>& keyMarks = effect.GetTimeline().keyMarks;
  const int32_t markedUnits = std::min<int32_t>(units, static_cast<int32_t>(keyMarks.size()));
  for (int32_t unit = 0; unit < markedUnits; ++unit) {
    const int32_t mark = keyMarks[unit];
    if (mark < 0) continue;
    const int32_t number = mark + 1;
    // The marker points at the source unit the waypoint starts from.
    const double position = std::floor(effect.SourcePositionAt(unit));
    DrawMarker(target, scale.X(unit), scale.Y(position), MarkerLabel(number),
               number == current.order);
  }

  if (currentKey >= 0) DrawOrderBox(effect, target, area, current.order);
}

void CorvalisOverlay::DrawOrderBox(Corvalis& effect, FrameBuffer& target, const PixelRect& graph,
                                   int32_t currentOrder) {
  const avxParamKey* key = speedParam != nullptr ? speedParam->GetKey(currentKey) : nullptr;
  if (key == nullptr) return;
  const PixelRect box = OrderBox(graph, KeyX(graph, key->GetTime()));
  FillRect(Pen{target, kBoxShade}, box);

  const std::vector<SpeedKey>& table = effect.keyTable;
  const int32_t keyOrder =
      static_cast<size_t>(currentKey) < table.size() ? table[currentKey].order : 0;
  const int32_t topOrder = effect.MaxOrder();
  const bool canRaise = keyOrder != topOrder;
  const bool canLower = keyOrder != 0 && topOrder != 1;
  const int x = box.left + kLabelMargin;
  DrawText("+", target, x, box.top + kLabelMargin,
           canRaise ? kEnabledSignColour : kDisabledSignColour);
  // The digit is the character that many places after "0", so orders from
  // 10 on show the signs that follow the digits in the font.
  const char digit = static_cast<char>('0' + currentOrder);
  DrawText(std::string(1, digit), target, x, box.top + kLineHeight + kLabelMargin,
           kEnabledSignColour);
  DrawText("-", target, x, box.top + 2 * kLineHeight + kLabelMargin,
           canLower ? kEnabledSignColour : kDisabledSignColour);
}
