#include "avx/avx_overlay.h"

#include "avx/avx_host.h"

avxOverlay_v1::avxOverlay_v1() = default;
avxOverlay_v1::~avxOverlay_v1() = default;

void avxOverlay_v1::Draw(bool) {}
bool avxOverlay_v1::OnMousePress(double, double, unsigned long) { return false; }
bool avxOverlay_v1::OnMouseDrag(double, double, unsigned long) { return false; }
bool avxOverlay_v1::OnMouseRelease(double, double, unsigned long) { return false; }
bool avxOverlay_v1::OnMouseMove(double, double, unsigned long) { return false; }
bool avxOverlay_v1::OnMouseIdle(double, double, unsigned long) { return false; }
bool avxOverlay_v1::OnKeyDown(int32_t, unsigned long) { return false; }
bool avxOverlay_v1::OnKeyUp(int32_t, unsigned long) { return false; }
void avxOverlay_v1::OnNewNativeWindow(void*) {}
void avxOverlay_v1::OnHostEvent(int32_t) {}
void avxOverlay_v1::OnHostNotify() {}

avxImage* avxOverlay_v1::GetOverlayBuffer() {
  avxHostBackend* host = host_ != nullptr ? host_ : avxGetProcessHost();
  return host ? host->OverlayBuffer(*this) : nullptr;
}
