// CorvalisOverlay: the on-screen editor of an instance.
//
// It paints the source picture, the retime graph and the status label over
// the viewer, and lets the user change the play order of the key under the
// current time with clicks in the graph's order box. It reads what the last
// render left in the instance and changes only the key table's order numbers;
// the release tells the host, whose update callback writes them into the
// hidden "order" keys.
#pragma once

#include "avx/avx.h"
#include "source/frame_buffer.h"

class Corvalis;

// A rectangle in overlay pixels; bottom and right exclusive.
struct PixelRect {
  int top = 0;
  int left = 0;
  int bottom = 0;
  int right = 0;
};

class CorvalisOverlay : public avxOverlay_v1 {
 public:
  CorvalisOverlay();
  ~CorvalisOverlay() override;

  void Draw(bool show) override;
  bool OnMousePress(double x, double y, unsigned long flags) override;
  bool OnMouseDrag(double x, double y, unsigned long flags) override;
  bool OnMouseRelease(double x, double y, unsigned long flags) override;
  bool OnMouseMove(double x, double y, unsigned long flags) override;
  void OnHostEvent(int32_t event) override;
  void OnHostNotify() override;

  // The graph area for a buffer of that size (margins computed on first use).
  PixelRect GraphArea(int bufferWidth, int bufferHeight);
  // The order box of a key whose x position is keyX.
  static PixelRect OrderBox(const PixelRect& graph, int keyX);
  // The x position of a key time in the graph.
  static int KeyX(const PixelRect& graph, double keyTime);

  avxParameter* speedParam = nullptr;
  int currentKey = -1;
  bool modified = false;
  bool graphShown = true;
  int leftMargin = -1;
  int rightMargin = -1;
  int thumbField = -1;
  int thumbFrame = -1;
  FrameRef thumbnail;

 private:
  Corvalis* Effect() const;
  void RaiseKey(Corvalis& effect, int key);
  void LowerKey(Corvalis& effect, int key);

  // The parts of Draw, in the order it paints them.
  void DrawMotionView(Corvalis& effect, FrameBuffer& target);
  // The source frame in `thumbnail`, read from the host unless it is the
  // cached one; false when the host could not deliver it.
  bool FetchSourceFrame(Corvalis& effect, int32_t frame, avxField field, const avxImage& overlay);
  void DrawSourceView(FrameBuffer& target);
  void DrawGraph(Corvalis& effect, FrameBuffer& target);
  void DrawOrderBox(Corvalis& effect, FrameBuffer& target, const PixelRect& graph,
                    int32_t currentOrder);
  void DrawStatus(Corvalis& effect, FrameBuffer& target);
};

// The host product whose viewer needs one more pixel of right margin.
extern const char* const kWideMarginHostProduct;
