// Motion-adaptive interpolation: where the picture is still, take the
// following opposite-parity field (its lines already lie where the output's
// do); where it moves, keep the line-interpolated field; blend in between.
#include "host/corvalis.h"
#include "source/field_names.h"
#include "source/motion_mask.h"
#include "source/source_fetch.h"

namespace {
// The clip being retimed.
constexpr int32_t kClipInput = 1;
}  // namespace

FrameRef Corvalis::AdaptiveInterpolate(const FrameRef& current, int32_t frame, bool secondField,
                                       bool inPlace, const RowMaker& makeCurrentRow,
                                       const std::function<bool(const FrameRef&)>& fetchRowSource) {
  motionMask.Release();

  const int32_t dominant = fieldDominance;
  const int32_t other = dominant == 0 ? 1 : 0;
  const avxField compared = static_cast<avxField>(secondField ? dominant : other);
  const int32_t firstFrame = secondField ? frame : frame - 1;
  const int32_t secondFrame = secondField ? frame + 1 : frame;

  ConsolePrintf("\tAdaptive: comparing frame %d.%s with %d.%s (%s is dominant)\n", firstFrame,
                FieldName(compared), secondFrame, FieldName(compared),
                FieldName(GetFieldDominance()));

  SourceCache cache;
  // Pixels of current still to be made are made as the blend needs them,
  // unless something reads current before (the first neighbour standing in,
  // or the steps run one by one) or the step keeps current as it is.
  bool rowsPending = static_cast<bool>(makeCurrentRow) && current->data != nullptr;
  // What those pixels are made from is fetched only when the first of them
  // is made: after the comparison where there is one, which then reads the
  // two compared fields while the host's delivery has left them in cache.
  bool sourcePending = static_cast<bool>(fetchRowSource);
  auto fetchSource = [&](const FrameRef& spare = FrameRef()) {
    if (!sourcePending) return true;
    sourcePending = false;
    return fetchRowSource(spare);
  };
  auto makeAllRows = [&](const FrameRef& spare = FrameRef()) {
    if (!fetchSource(spare)) return false;
    if (!rowsPending) return true;
    for (int32_t y = 0; y < current->height; ++y) {
      makeCurrentRow(y, 0, current->width, current->Row(y));
    }
    rowsPending = false;
    return true;
  };
  const bool onePass = medianMask && smooth >= 0 && smooth <= kLargestOnePassSmooth;

  // Outside the clip the current field stands in for the missing neighbour.
  FrameRef before =
      firstFrame >= 0 ? FetchSourceField(*this, cache, kClipInput, firstFrame, compared) : current;
  if (before == current && !makeAllRows()) return FrameRef();
  // While current's pixels are still to be made, the following field can be
  // fetched straight into current's buffer when the blend is made there:
  // where the picture is still, the blend's result is then in place already.
  const bool afterIntoCurrent = rowsPending && inPlace && onePass && secondFrame < GetTotalFrames();
  FrameRef after = secondFrame < GetTotalFrames()
                       ? FetchSourceField(*this, cache, kClipInput, secondFrame, compared,
                                          afterIntoCurrent ? current : FrameRef())
                       : current;
  if (after == current && !afterIntoCurrent && !makeAllRows()) return FrameRef();
  if (!before || !after) return makeAllRows() ? current : FrameRef();
  // Once compared, the preceding field is read no more: its buffer, in
  // cache from the comparison, can take the field current is made from.
  auto spentBefore = [&] { return before != current && before != after ? before : FrameRef(); };

  motionMask = NewMask(current->width, current->height);
  std::vector<maskrows::Extent> rawExtents;
  if (!ComputeMotionMask(*motionMask, *before, *after, threshold, onePass ? &rawExtents : nullptr)) {
    return makeAllRows(spentBefore()) ? current : FrameRef();
  }

  if (onePass) {
    // The overlay shows the filtered mask only with "Show Motion" on. The
    // blend alone wants each filtered row only while it blends that row;
    // writing a whole mask on every render took a tenth of the pass's time.
    FrameRef filtered = showMotion ? NewMask(current->width, current->height) : FrameRef();
    FrameRef out = inPlace ? current : NewImage(current->width, current->height);
    if (!fetchSource(spentBefore())) return FrameRef();
    FilterMaskAndBlend(*motionMask, smooth, filtered.get(), *current, *after, *out,
                       rowsPending ? makeCurrentRow : nullptr, &rawExtents);
    rowsPending = false;
    motionMask = filtered;
    return out;
  }

  if (!makeAllRows(spentBefore())) return FrameRef();
  if (medianMask) motionMask = MedianFilter3x3(*motionMask);
  if (smooth != 0) {
    DilateMask(*motionMask, smooth, smooth / 2);
    BoxBlurMask(*motionMask, smooth, smooth / 2);
  }

  // Each pixel of the blend reads only the same pixel of its inputs, so it
  // can overwrite the current field as it goes.
  FrameRef out = inPlace ? current : NewImage(current->width, current->height);
  BlendByMask(*current, *after, *motionMask, *out);
  return out;
}
