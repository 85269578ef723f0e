// The overlay's order editing: the graph area and order box, the up and down
// bands of a press, and the release that hands the new order to the host.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "overlay_rig.h"

namespace {

using overlaytest::OverlayRig;
using Orders = std::vector<int32_t>;

constexpr int32_t kFrames = 10;  // 20 units
constexpr int32_t kOverlayWidth = 200;
constexpr int32_t kOverlayHeight = 100;
// The four keys of the tests stand at these units.
constexpr int32_t kKeyUnits[] = {0, 6, 12, 19};
constexpr int kBand = 17;  // font height + 2

// An effect with four keys of the given orders, rendered once so that the key
// table holds them, and its overlay open.
struct OrderRig {
  explicit OrderRig(const Orders& orders) : rig(kFrames) {
    for (size_t i = 0; i < orders.size(); ++i) rig.Key(kKeyUnits[i], 100.0, orders[i]);
    rig.Render(0);
    rig.Open(kOverlayWidth, kOverlayHeight);
  }

  // The order box of key k, as the last draw of the graph would have left it.
  PixelRect BoxOf(int key) {
    CorvalisOverlay& overlay = rig.overlay();
    overlay.currentKey = key;
    overlay.graphShown = true;
    const PixelRect graph = overlay.GraphArea(kOverlayWidth, kOverlayHeight);
    return CorvalisOverlay::OrderBox(graph,
                                     CorvalisOverlay::KeyX(graph, rig.UnitTime(kKeyUnits[key])));
  }

  OverlayRig rig;
};

// Presses at the box of a key: its top line raises the key's order, its
// bottom line lowers it, by the order rules; the middle line and the pixels
// around the box do nothing.
TEST(OverlayOrderBox, PressesInTheBandsRaiseOrLowerByTheOrderRules) {
  struct Case {
    const char* what;
    Orders before;
    int key;
    int dx, dy;  // from the box's left, and from its top or else its bottom
    bool fromBottom;
    Orders after;
  };
  const Orders plain{1, 2, 3, 4}, raised{1, 3, 2, 4}, lowered{2, 1, 3, 4};
  // clang-format off
  const Case cases[] = {
      {"top-left pixel", plain, 1, 0, 0, false, raised},
      {"last row of the up band", plain, 1, 0, kBand - 1, false, raised},
      {"first row of the middle line", plain, 1, 0, kBand, false, plain},
      {"last row of the middle line", plain, 1, 0, -kBand, true, plain},
      {"first row of the down band", plain, 1, 0, -kBand + 1, true, lowered},
      {"bottom row", plain, 1, 13, -1, true, lowered},
      {"right column, up band", plain, 1, 13, 5, false, raised},
      {"just right of the box", plain, 1, 14, 5, false, plain},
      {"just left of the box", plain, 1, -1, 5, false, plain},
      {"just above the box", plain, 1, 3, -1, false, plain},
      {"just below the box", plain, 1, 3, 0, true, plain},
      {"the top order cannot rise", plain, 3, 7, 2, false, plain},
      {"the top order can be lowered", plain, 3, 7, -2, true, {1, 2, 4, 3}},
      {"lower swaps with the previous", plain, 2, 7, -2, true, {1, 3, 2, 4}},
      {"order 0 joins as the last", {1, 0, 2, 3}, 1, 7, 2, false, {1, 4, 2, 3}},
      {"order 0 has no down action", {1, 0, 2, 3}, 1, 7, -2, true, {1, 0, 2, 3}},
      {"order 1 leaves, the others move up", {3, 1, 2, 4}, 1, 7, -2, true, {2, 0, 1, 3}},
      {"a single ordered key cannot leave", {0, 1, 0, 0}, 1, 7, -2, true, {0, 1, 0, 0}},
      {"a single ordered key is the top", {0, 1, 0, 0}, 1, 7, 2, false, {0, 1, 0, 0}},
      {"an unordered key joins a single one", {0, 1, 0, 0}, 3, 7, 2, false, {0, 1, 0, 2}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    OrderRig order(c.before);
    const PixelRect box = order.BoxOf(c.key);
    const int y = (c.fromBottom ? box.bottom : box.top) + c.dy;
    EXPECT_EQ(order.rig.host().Click(box.left + c.dx, y), c.after != c.before);
    EXPECT_EQ(order.rig.Orders(), c.after);
  }
}

TEST(OverlayOrderBox, PressesNeedTheGraphAndACurrentKey) {
  OrderRig order({1, 2, 3, 4});
  const PixelRect box = order.BoxOf(1);
  CorvalisOverlay& overlay = order.rig.overlay();

  // Positions far outside the buffer miss the box like any other.
  for (double far : {1e300, -1e300, std::nan("")}) {
    EXPECT_FALSE(order.rig.host().MousePress(far, (box.top + 2.5) / kOverlayHeight));
    EXPECT_FALSE(order.rig.host().MousePress((box.left + 7.5) / kOverlayWidth, far));
  }
  overlay.currentKey = -1;
  EXPECT_FALSE(order.rig.host().Click(box.left + 7, box.top + 2));

  // A draw without the graph leaves the mouse nothing to act on.
  order.rig.SetBool("showGraph", false);
  overlay.currentKey = 1;
  order.rig.Draw();
  EXPECT_FALSE(overlay.graphShown);
  EXPECT_FALSE(order.rig.host().Click(box.left + 7, box.top + 2));
  EXPECT_EQ(order.rig.Orders(), (Orders{1, 2, 3, 4}));
}

TEST(OverlayOrderBox, DrawMakesTheLastKeyNearTheCurrentTimeCurrent) {
  // Half a frame of a 10-frame effect is 0.05; the current time is unit 9.
  OverlayRig rig(kFrames);
  const double now = 9.0 / 19.0;
  rig.KeyAt(0.0, 100.0, 1);
  rig.KeyAt(now - 0.07, 100.0, 2);  // too far
  rig.KeyAt(now - 0.04, 100.0, 3);
  rig.KeyAt(now + 0.03, 100.0, 4);
  rig.KeyAt(now + 0.06, 100.0, 5);  // too far
  rig.Render(4, 2);
  rig.Open(kOverlayWidth, kOverlayHeight);
  rig.Draw();
  EXPECT_EQ(rig.overlay().currentKey, 3);
  EXPECT_TRUE(rig.overlay().graphShown);

  rig.host().SetPosition(0, kAvxFieldEven, 1);  // unit 1: no key within half a frame
  rig.Draw();
  EXPECT_EQ(rig.overlay().currentKey, -1);
}

TEST(OverlayOrderRelease, NotifiesOnlyAfterAChangeAndTheOrderReachesTheKeys) {
  OrderRig order({1, 2, 3, 4});
  refhost::EffectHost& host = order.rig.host();
  const PixelRect box = order.BoxOf(1);
  const double x = (box.left + 7.5) / kOverlayWidth;
  const double middle = (box.top + kBand + 8.5) / kOverlayHeight;
  const double up = (box.top + 2.5) / kOverlayHeight;

  // A press that changes nothing, then its release: the host hears nothing.
  EXPECT_FALSE(host.MousePress(x, middle));
  EXPECT_FALSE(host.MouseRelease(x, middle));

  // A press in the up band changes the key table at once; the keys of the
  // order parameter learn of it through the release and the update callback.
  EXPECT_TRUE(host.MousePress(x, up));
  EXPECT_EQ(order.rig.Orders(), (Orders{1, 3, 2, 4}));
  EXPECT_EQ(order.rig.OrderKeys(), (Orders{1, 2, 3, 4}));
  EXPECT_TRUE(host.MouseRelease(x, up));
  EXPECT_EQ(host.ParametersModifiedCount(), 1);
  EXPECT_EQ(order.rig.OrderKeys(), (Orders{1, 3, 2, 4}));
  EXPECT_FALSE(order.rig.overlay().modified);

  EXPECT_FALSE(host.MouseRelease(x, up)) << "a second release has nothing left to commit";
  EXPECT_EQ(host.ParametersModifiedCount(), 1);

  // The next render plays the waypoints in the new order: the second
  // waypoint is now key 2 at source unit 12, no longer key 1 at unit 6.
  order.rig.Render(0);
  EXPECT_EQ(order.rig.Orders(), (Orders{1, 3, 2, 4}));
  const Corvalis& effect = order.rig.effect();
  double secondWaypoint = -1.0;
  for (size_t unit = 0; unit < effect.timelineKeyMarks.size(); ++unit) {
    if (effect.timelineKeyMarks[unit] == 1) secondWaypoint = effect.timelinePositions[unit];
  }
  EXPECT_EQ(secondWaypoint, 12.0);
}

}  // namespace
