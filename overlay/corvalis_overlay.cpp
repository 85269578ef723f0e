#include "overlay/corvalis_overlay.h"

#include <cstdlib>
#include <cstring>

#include "host/corvalis.h"

namespace {
// Height of a line of the overlay font, and of an order-box band.
constexpr int kTextHeight = 15;
constexpr int kBandHeight = kTextHeight + 2;
constexpr int kDefaultLeftMargin = 23;
constexpr int kDefaultRightMargin = 10;

// A mouse position (a fraction of the buffer) in pixels, truncated toward
// zero. Positions far outside the buffer are held at a bound that is still
// outside it, so that no conversion can overflow.
int ToPixel(double fraction, int size) {
  constexpr double kFarOutside = 1 << 30;
  const double pixels = fraction * size;
  if (!(pixels > -kFarOutside)) return static_cast<int>(-kFarOutside);  // also NaN
  if (pixels > kFarOutside) return static_cast<int>(kFarOutside);
  return static_cast<int>(pixels);
}
}  // namespace

// Configurable product name: the host reports it as the third description
// string; this is the one product known to draw one pixel wider.
const char* const kWideMarginHostProduct = "Media Composer";

CorvalisOverlay::CorvalisOverlay() = default;

CorvalisOverlay::~CorvalisOverlay() { thumbnail.Release(); }

Corvalis* CorvalisOverlay::Effect() const { return dynamic_cast<Corvalis*>(GetInstance()); }

PixelRect CorvalisOverlay::GraphArea(int bufferWidth, int bufferHeight) {
  if (leftMargin < 0 || rightMargin < 0) {
    leftMargin = kDefaultLeftMargin;
    rightMargin = kDefaultRightMargin;
    char name[256], version[40], product[80], build[40];
    avxGlobal::GetHostDescription(name, sizeof name, version, sizeof version, product,
                                  sizeof product, build, sizeof build);
    if (std::strcmp(product, kWideMarginHostProduct) == 0) rightMargin = kDefaultRightMargin + 1;
  }
  return PixelRect{1, leftMargin, bufferHeight - 3, bufferWidth - rightMargin};
}

PixelRect CorvalisOverlay::OrderBox(const PixelRect& graph, int keyX) {
  PixelRect box;
  box.top = graph.bottom - (4 * kBandHeight + 8);
  box.bottom = box.top + 3 * kBandHeight;
  box.left = keyX - 6;
  box.right = keyX + 8;
  return box;
}

int CorvalisOverlay::KeyX(const PixelRect& graph, double keyTime) {
  return graph.left + static_cast<int>(keyTime * std::abs(graph.right - graph.left));
}

bool CorvalisOverlay::OnMousePress(double x, double y, unsigned long) {
  modified = false;
  if (!graphShown) return false;
  Corvalis* effect = Effect();
  if (effect == nullptr) return false;
  speedParam = effect->FindParameter("speed");
  if (currentKey < 0 || speedParam == nullptr) return false;
  avxImage* buffer = GetOverlayBuffer();
  avxParamKey* key = speedParam->GetKey(currentKey);
  std::vector<SpeedKey>& table = effect->keyTable;
  if (buffer == nullptr || key == nullptr || currentKey >= static_cast<int>(table.size())) {
    return false;
  }
  int px = ToPixel(x, buffer->GetWidth());
  int py = ToPixel(y, buffer->GetHeight());
  PixelRect graph = GraphArea(buffer->GetWidth(), buffer->GetHeight());
  PixelRect box = OrderBox(graph, KeyX(graph, key->GetTime()));
  if (px < box.left || px >= box.right || py < box.top || py >= box.bottom) return false;

  int keyOrder = table[currentKey].order;
  int topOrder = effect->MaxOrder();
  if (keyOrder != topOrder && py < box.top + kBandHeight) {
    RaiseKey(*effect, currentKey);
    modified = true;
    return true;
  }
  if (keyOrder != 0 && topOrder != 1 && py > box.bottom - kBandHeight) {
    LowerKey(*effect, currentKey);
    modified = true;
  }
  return modified;
}

void CorvalisOverlay::RaiseKey(Corvalis& effect, int key) {
  std::vector<SpeedKey>& table = effect.keyTable;
  int keyOrder = table[key].order;
  if (keyOrder == 0) {
    table[key].order = effect.MaxOrder() + 1;
    return;
  }
  int next = effect.FindKeyByOrder(keyOrder + 1);
  if (next >= 0) table[next].order = keyOrder;
  table[key].order = keyOrder + 1;
}

void CorvalisOverlay::LowerKey(Corvalis& effect, int key) {
  std::vector<SpeedKey>& table = effect.keyTable;
  int keyOrder = table[key].order;
  if (keyOrder == 1) {
    for (SpeedKey& record : table) {
      if (record.order > 0) --record.order;
    }
    return;
  }
  int previous = effect.FindKeyByOrder(keyOrder - 1);
  if (previous >= 0) table[previous].order = keyOrder;
  table[key].order = keyOrder - 1;
}

bool CorvalisOverlay::OnMouseDrag(double, double, unsigned long) { return false; }

bool CorvalisOverlay::OnMouseRelease(double, double, unsigned long) {
  if (!modified) return false;
  if (avxInstance_v1* instance = GetInstance()) instance->SetHostParametersModified(true);
  modified = false;
  return true;
}

bool CorvalisOverlay::OnMouseMove(double x, double y, unsigned long flags) {
  return OnMouseDrag(x, y, flags);
}

void CorvalisOverlay::OnHostEvent(int32_t) {}

void CorvalisOverlay::OnHostNotify() {}
