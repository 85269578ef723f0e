// Building the output image from the weighted source fields located for it.
#include <cstring>

#include "host/corvalis.h"
#include "overlay/time_code.h"
#include "render/line_kernels.h"
#include "source/source_fetch.h"

namespace {
// The clip being retimed.
constexpr uint16_t kClipInput = 1;

void ClearOutput(FrameBuffer& output) {
  if (output.data != nullptr && output.height > 0 && output.rowBytes > 0) {
    std::memset(output.data, 0, static_cast<size_t>(output.rowBytes) * output.height);
  }
}

// The output starts as zero bytes. The clear is put off until something reads
// or partly writes the output, so that an entry copied over all of it (the
// common case of one entry of weight 1) costs no clear; a render that ends
// before that clears then.
class PendingClear {
 public:
  explicit PendingClear(FrameBuffer& output) : output_(output) {}
  void Now() {
    if (pending_) ClearOutput(output_);
    pending_ = false;
  }
  // The output was wholly written: nothing of the clear can show any more.
  void Overwritten() { pending_ = false; }
  bool IsPending() const { return pending_; }

 private:
  FrameBuffer& output_;
  bool pending_ = true;
};

// A field of weight 1 and the output's size whose bytes would be copied
// block by block can be made in the output itself: CopyImage would give the
// same rowBytes × height bytes.
bool CanWorkInOutput(const FrameBuffer& output, int32_t width, int32_t height) {
  return output.data != nullptr && width == output.width && height == output.height && width > 0 &&
         height > 0 && output.rowBytes == width * 4;
}

// A view of the output's pixels shaped as a field buffer; it never owns them
// and no handle ever holds it.
class OutputAsField {
 public:
  explicit OutputAsField(FrameBuffer& output) {
    view_.SetGeometry(output.width, output.height, output.rowBytes);
    view_.refCount = 1;
    view_.ownsData = 0;
    view_.data = output.data;
  }
  OutputAsField(const OutputAsField&) = delete;
  OutputAsField& operator=(const OutputAsField&) = delete;
  ~OutputAsField() { view_.data = nullptr; }
  FrameBuffer& buffer() { return view_; }

 private:
  FrameBuffer view_;
};
}  // namespace

bool Corvalis::GenerateOutput(FrameBuffer& output) {
  const int32_t count = static_cast<int32_t>(sourceImages.size());
  if (count == 0) {
    ClearOutput(output);
    return true;
  }
  ConsolePrintf("GenerateOutput(time=%g) srcTime=%g, #images=%d\n", GetTime(), sourcePosition * 0.5,
                count);
  PendingClear clear(output);

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

    const int32_t outputField = GetField();
    const bool sameLines = outputField == field;
    const bool interpolates = !sameLines && (deinterlace == kDeinterlaceInterpolated ||
                                             deinterlace == kDeinterlaceAdaptive);
    // A field that only stays as it is, is smoothed or shifted in place can be
    // fetched straight into the output, as long as nothing earlier is there
    // to keep (a failed fetch then leaves the output cleared, as it would be).
    const bool inOutput = entry.level == 1.0 && !interpolates && clear.IsPending() &&
                          CanWorkInOutput(output, width, height);
    const bool interpolatesInOutput =
        interpolates && entry.level == 1.0 && CanWorkInOutput(output, width, height);
    // The adaptive blend made in the output fetches the field itself, once
    // it has compared the neighbours, and offers a buffer of its own that it
    // no longer needs to take the field (see AdaptiveInterpolate).
    const bool adaptiveInOutput = interpolatesInOutput && deinterlace == kDeinterlaceAdaptive;
    OutputAsField outputView(output);
    FrameRef fieldBuffer = inOutput || adaptiveInOutput ? FrameRef() : NewImage(width, height);
    auto fetched = [&]() -> FrameBuffer& { return inOutput ? outputView.buffer() : *fieldBuffer; };

    auto fetch = [&](const FrameRef& spare) -> bool {
      if (adaptiveInOutput) fieldBuffer = BufferFor(spare, width, height);
      if (entry.frame < 0 || entry.frame >= GetTotalFrames()) {
        // The source has no such frame: it shows as black.
        fetched().ClearToZero();
        return true;
      }
      avxImage* image = avxImage::New();
      if (avxImage* target = GetOutput(0)) image->SetFormat(target->GetFormat());
      image->SetSize(width, height);
      image->SetData(fetched().data);
      const bool delivered =
          GetAlternateFrame(kClipInput, static_cast<uint16_t>(entry.frame), image, field);
      avxImage::Delete(image);
      return delivered;
    };
    if (!adaptiveInOutput && !fetch(FrameRef())) {
      // Still pending when the fetch went to the output, so this also
      // clears whatever part of the field the host wrote there.
      clear.Now();
      return false;
    }

    if (sameLines) {
      if (!frameBased && deinterlace == kDeinterlaceInterpolated && interpAll) {
        SmoothVertical(fetched());
      }
    } else if (interpolates) {
      if (interpolatesInOutput) {
        // Interpolate straight into the output, each pixel's fourth byte
        // (and anything the kernels leave) from the field, as the separate
        // buffer would have it; the adaptive blend then works there in place,
        // having the pixels it needs interpolated just before it blends them.
        const bool top = field == GetFieldTopness();
        clear.Overwritten();
        if (deinterlace == kDeinterlaceAdaptive) {
          auto interpolateRow = [&](int32_t y, int32_t firstColumn, int32_t endColumn,
                                    uint8_t* row) {
            CopyAndInterpolatePixels(*fieldBuffer, top, enhance, y, firstColumn, endColumn,
                                     row);
          };
          // The view's own count of 1 keeps any handle from freeing it.
          if (!AdaptiveInterpolate(FrameRef(&outputView.buffer()), entry.frame, entry.second,
                                   true, interpolateRow, fetch)) {
            // The neighbour may already be in the output: a failed render
            // leaves it cleared all the same.
            ClearOutput(output);
            return false;
          }
        } else {
          CopyAndInterpolateField(*fieldBuffer, output, top, enhance);
        }
        continue;
      }
      FrameRef interpolated = NewImage(width, height);
      // The interpolation kernels leave each pixel's fourth byte alone; it
      // comes from the field itself, never from whatever the allocator left.
      CopyAndInterpolateField(*fieldBuffer, *interpolated, field == GetFieldTopness(), enhance);
      fieldBuffer = interpolated;
      if (deinterlace == kDeinterlaceAdaptive) {
        fieldBuffer = AdaptiveInterpolate(fieldBuffer, entry.frame, entry.second);
      }
    } else if (deinterlace == kDeinterlaceTapeSim) {
      if (outputField == fieldDominance && field == otherField) ShiftUpOneLine(fetched());
    }

    if (inOutput) {
      clear.Overwritten();
    } else if (entry.level == 1.0) {
      if (fieldBuffer->width == output.width && fieldBuffer->height == output.height) {
        if (fieldBuffer->rowBytes == output.rowBytes) {
          clear.Overwritten();
        } else {
          clear.Now();  // a row-by-row copy leaves each row's padding as it was
        }
        CopyImage(output, *fieldBuffer);
      } else {
        clear.Now();
        CopyOverlap(output, *fieldBuffer);
      }
    } else {
      clear.Now();
      AccumulateScaled(output, *fieldBuffer, entry.level);
    }
  }
  clear.Now();
  return true;
}
