// Draw: paints the overlay buffer from what the last render left in the
// instance: the motion mask alone, or the source frame, the graph and the
// status label, each as the display settings ask.
#include "host/corvalis.h"
#include "overlay/corvalis_overlay.h"

void CorvalisOverlay::Draw(bool show) {
  if (!show) return;
  // The mouse acts on the graph only while the last draw showed it.
  graphShown = false;
  Corvalis* effect = Effect();
  if (effect == nullptr) return;
  if (effect->GetKeyTable().empty()) return;

  speedParam = effect->FindParameter("speed");
  avxImage* buffer = GetOverlayBuffer();
  if (buffer == nullptr) return;
  // A view of the host's pixels, detached however Draw leaves.
  HostImageView view(buffer);
  FrameBuffer& target = view.buffer();
  effect->ConsolePrintf("Overlay size: %dx%d\n", target.width, target.height);

  if (effect->showMotion && effect->deinterlace == kDeinterlaceAdaptive && effect->motionMask) {
    DrawMotionView(*effect, target);
    return;
  }

  if (effect->UnitCount() == 0) return;
  double sourcePosition = -1.0;
  if (!effect->GetTimeline().positions.empty()) {
    sourcePosition = effect->SourcePositionAt(effect->CurrentUnit());
  }

  if (effect->showSource &&
      FetchSourceFrame(*effect, effect->GetCurrentFrame(), effect->GetField(), *buffer)) {
    DrawSourceView(target);
  }
  if (effect->showGraph) {
    DrawGraph(*effect, target);
    graphShown = true;
  }
  if (effect->showTimeCode && sourcePosition >= 0.0) DrawStatus(*effect, target);
}
