#include "overlay/status.h"

#include <algorithm>
#include <cstdio>

#include "host/corvalis.h"
#include "overlay/corvalis_overlay.h"
#include "overlay/font.h"
#include "overlay/palette.h"
#include "overlay/time_code.h"

namespace {

// Where the label's text starts, in buffer pixels.
constexpr int kStatusX = 40;
constexpr int kStatusY = 2;
// A field carrying more than this share of a two-field mix is the one shown.
constexpr double kDominantLevel = 0.5;

}  // namespace

int32_t ShownSourceField(const SourceImageList& images, int32_t sourceField) {
  if (images.size() != 2) return sourceField;
  for (size_t i = 0; i < 2; ++i) {
    if (images.level[i] > kDominantLevel) return images.frame[i] * 2 + (images.second[i] ? 1 : 0);
  }
  return sourceField;
}

std::string StatusText(const std::string& startTimeCode, double frameRate, int32_t sourceField) {
  if (sourceField < 0) return "--:--:--.-";
  TimeCode timeCode(frameRate);
  const int32_t start = timeCode.Parse(startTimeCode.c_str());
  const int32_t frames = timeCode.PackedToFrames(start, frameRate) + sourceField / 2;
  char text[TimeCode::kTextSize];
  if (!timeCode.Format(timeCode.FramesToPacked(frames, frameRate), text)) return "";
  char status[TimeCode::kTextSize + 8];
  std::snprintf(status, sizeof status, "%s.%d", text, sourceField % 2 == 0 ? 1 : 2);
  return status;
}

void CorvalisOverlay::DrawStatus(Corvalis& effect, FrameBuffer& target) {
  effect.LocateCurrentSource(effect.GetCurrentFrame(), true);
  const int32_t field = ShownSourceField(effect.sourceImages, effect.sourceField);
  // The host keeps the storage terminated; the bound only guards a host that
  // does not.
  const char* end = std::find(effect.timeCode, effect.timeCode + sizeof effect.timeCode, '\0');
  const std::string start(static_cast<const char*>(effect.timeCode), end);
  DrawLabel(target, kStatusX, kStatusY, kSourceCursorColour,
            StatusText(start, effect.GetFrameRate(), field));
}
