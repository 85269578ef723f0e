// The picture layers of the overlay: the source frame scaled over the whole
// buffer, or the last motion mask in its place.
#include <memory>

#include "fx/zoom/zoom.h"
#include "host/corvalis.h"
#include "overlay/corvalis_overlay.h"
#include "overlay/video_levels.h"

namespace {

// The host addresses frames with 16 bits.
constexpr int32_t kLastAddressableFrame = 0xFFFF;
// Input 1 is the clip being retimed.
constexpr uint16_t kClipInput = 1;

using HostImage = std::unique_ptr<avxImage, decltype(&avxImage::Delete)>;

// Bytes 0 to 2 of every pixel limited to video levels; alpha untouched.
void LimitToVideoLevels(FrameBuffer& target) {
  if (target.data == nullptr) return;
  for (int32_t y = 0; y < target.height; ++y) {
    uint8_t* pixel = target.Row(y);
    for (int32_t x = 0; x < target.width; ++x, pixel += 4) {
      pixel[0] = VideoLevel(pixel[0]);
      pixel[1] = VideoLevel(pixel[1]);
      pixel[2] = VideoLevel(pixel[2]);
    }
  }
}

}  // namespace

void CorvalisOverlay::DrawMotionView(Corvalis& effect, FrameBuffer& target) {
  FrameRef mask = NewMask(target.width, target.height);
  // Whatever the zoom leaves unwritten reads as no motion, never as old memory.
  mask->ClearToZero();
  zoom::ZoomMask(*effect.motionMask, *mask, zoom::kModeBySize);
  if (target.data == nullptr || mask->data == nullptr) return;
  for (int32_t y = 0; y < target.height; ++y) {
    const uint8_t* motion = mask->Row(y);
    uint8_t* pixel = target.Row(y);
    for (int32_t x = 0; x < target.width; ++x, pixel += 4) {
      const uint8_t level = VideoLevel(motion[x]);
      pixel[0] = level;
      pixel[1] = level;
      pixel[2] = level;
    }
  }
}

bool CorvalisOverlay::FetchSourceFrame(Corvalis& effect, int32_t frame, avxField field,
                                       const avxImage& overlay) {
  if (thumbnail && thumbFrame == frame && thumbField == field) return true;
  if (frame < 0 || frame > kLastAddressableFrame) return false;
  int32_t width = 0;
  int32_t height = 0;
  effect.GetAlternateFrameSize(field, &width, &height);
  HostImage image(avxImage::New(), &avxImage::Delete);
  image->SetFormat(overlay.GetFormat());
  image->SetSize(width, height);
  FrameRef frameBuffer(FrameBuffer::CreateImage(width, height, image->GetRowDelta(0)));
  image->SetData(frameBuffer->data);
  const bool read =
      effect.GetAlternateFrame(kClipInput, static_cast<uint16_t>(frame), image.get(), field);
  image.reset();
  thumbnail = frameBuffer;
  // A buffer the host did not fill is never taken for the frame it was
  // meant to hold.
  thumbFrame = read ? frame : -1;
  thumbField = read ? field : -1;
  return read;
}

void CorvalisOverlay::DrawSourceView(FrameBuffer& target) {
  const FrameBuffer& source = *thumbnail;
  if (source.width < 1 || source.height < 1) return;
  const double sx = static_cast<double>(target.width) / source.width;
  const double sy = static_cast<double>(target.height) / source.height;
  zoom::ZoomImage(source, zoom::ViewRect(source), target, zoom::ViewRect(target), sx, sy, -0.5, 1.0,
                  zoom::kModeBySize);
  LimitToVideoLevels(target);
}
