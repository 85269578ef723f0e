// Building the output image from the weighted source fields located for it.
#include <cstring>

#include "host/corvalis.h"
#include "overlay/time_code.h"
#include "render/line_kernels.h"

namespace {
// The clip being retimed.
constexpr uint16_t kClipInput = 1;

void ClearOutput(FrameBuffer& output) {
  if (output.data != nullptr && output.height > 0 && output.rowBytes > 0) {
    std::memset(output.data, 0, static_cast<size_t>(output.rowBytes) * output.height);
  }
}
}  // namespace

bool Corvalis::GenerateOutput(FrameBuffer& output) {
  const int32_t count = static_cast<int32_t>(sourceImages.size());
  if (count == 0) {
    ClearOutput(output);
    return true;
  }
  ConsolePrintf("GenerateOutput(time=%g) srcTime=%g, #images=%d\n", GetTime(),
                sourcePosition * 0.5, count);
  ClearOutput(output);

  const double rate = GetFrameRate();
  const int32_t otherField = fieldDominance == 0 ? 1 : 0;
  for (int32_t i = 0; i < count; ++i) {
    const SourceImage entry = sourceImages.at(i);
    const bool interp = deinterlace == kDeinterlaceNone ? false : entry.interp;

    TimeCode timeCodeValue(rate);
    char text[64];
    if (!timeCodeValue.Format(timeCodeValue.FramesToPacked(entry.frame, rate), text)) text[0] = 0;
    std::strcat(text, entry.second ? ".2" : ".1");
    ConsolePrintf("\t#%d: frame=%d level=%g second=%d interp=%d [%s]\n", i, entry.frame,
                  entry.level, entry.second ? 1 : 0, interp ? 1 : 0, text);
    if (entry.level == 0.0) continue;

    const avxField field = static_cast<avxField>(entry.second ? otherField : fieldDominance);
    int32_t width = 0;
    int32_t height = 0;
    GetAlternateFrameSize(field, &width, &height);
    FrameRef fieldBuffer = NewImage(width, height);

    if (entry.frame < 0 || entry.frame >= GetTotalFrames()) {
      // The source has no such frame: it shows as black.
      fieldBuffer->ClearToZero();
    } else {
      avxImage* image = avxImage::New();
      if (avxImage* target = GetOutput(0)) image->SetFormat(target->GetFormat());
      image->SetSize(width, height);
      image->SetData(fieldBuffer->data);
      const bool delivered = GetAlternateFrame(kClipInput, static_cast<uint16_t>(entry.frame),
                                               image, field);
      avxImage::Delete(image);
      if (!delivered) return false;
    }

    const int32_t outputField = GetField();
    if (outputField == field) {
      if (!frameBased && deinterlace == kDeinterlaceInterpolated && interpAll) {
        SmoothVertical(*fieldBuffer);
      }
    } else if (deinterlace == kDeinterlaceInterpolated || deinterlace == kDeinterlaceAdaptive) {
      FrameRef interpolated = NewImage(width, height);
      // The interpolation kernels leave each pixel's fourth byte alone; start
      // from the field itself so that byte is the field's own and never
      // whatever the allocator left there.
      CopyImage(*interpolated, *fieldBuffer);
      InterpolateField(*fieldBuffer, *interpolated, field == GetFieldTopness(), enhance);
      fieldBuffer = interpolated;
      if (deinterlace == kDeinterlaceAdaptive) {
        fieldBuffer = AdaptiveInterpolate(fieldBuffer, entry.frame, entry.second);
      }
    } else if (deinterlace == kDeinterlaceTapeSim) {
      if (outputField == fieldDominance && field == otherField) ShiftUpOneLine(*fieldBuffer);
    }

    if (entry.level == 1.0) {
      if (fieldBuffer->width == output.width && fieldBuffer->height == output.height) {
        CopyImage(output, *fieldBuffer);
      } else {
        CopyOverlap(output, *fieldBuffer);
      }
    } else {
      AccumulateScaled(output, *fieldBuffer, entry.level);
    }
  }
  return true;
}
