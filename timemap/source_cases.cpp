#include "timemap/source_cases.h"

#include <algorithm>
#include <cmath>

#include "timemap/cadence.h"
#include "timemap/numeric.h"
#include "timemap/timeline_state.h"

namespace {

constexpr int32_t kSecondFieldSelector = 2;
constexpr int32_t kFirstFieldSelector = 1;
// Both fields of one frame, mixed evenly, make a 3:2 output field that sits
// between two source instants.
constexpr double kHalfLevel = 0.5;

enum class Interp { kByParity, kYes, kNo };

class ImageWriter {
 public:
  ImageWriter(const SourceRequest& request, SourceImageList& images)
      : request_(request), images_(images) {}

  // "Loop" over the limits keeps positions between the last unit and one
  // beyond it, so a field number can name one field past the source; such
  // fields show the last source field rather than nothing. The request sets
  // no limit under the other rules.
  int32_t Clamp(int32_t field) const {
    return request_.lastField >= 0 ? std::min(field, request_.lastField) : field;
  }

  void Add(int32_t field, double level, Interp interp) {
    const int32_t shown = Clamp(field);
    const bool odd = shown % 2 != 0;
    bool interpolate = interp == Interp::kYes;
    if (interp == Interp::kByParity) {
      interpolate = request_.fieldSelector == kSecondFieldSelector ? !odd : odd;
    }
    images_.Append(SourceImage{shown / 2, level, odd, interpolate});
  }

  void AddFrame(int32_t frame, double level) {
    images_.Append(SourceImage{Clamp(frame), level, false, false});
  }

 private:
  const SourceRequest& request_;
  SourceImageList& images_;
};

// The cases that mix a main field with a partner: the partner comes from the
// next strobe sample under strobe blending, from the neighbouring field under
// position blending.
struct Pair {
  int32_t main = 0;
  int32_t strobePartner = 0;
  int32_t positionPartner = 0;
  double positionWeight = 0.0;
};

void AppendPair(const SourceRequest& request, const Pair& pair, bool tapeSim, ImageWriter& writer) {
  if (request.blending == BlendingKind::kSingle) {
    writer.Add(pair.main, 1.0, tapeSim ? Interp::kNo : Interp::kByParity);
    return;
  }
  const bool strobe = request.blending == BlendingKind::kStrobe;
  const int32_t partner = strobe ? pair.strobePartner : pair.positionPartner;
  const double weight = strobe ? request.strobeWeight : pair.positionWeight;
  if (tapeSim) {
    // The image with the smaller weight is the one moved onto the other
    // field's lines; at an even mix that is the main field.
    const bool mainSmaller = weight >= 0.5;
    writer.Add(pair.main, 1.0 - weight, mainSmaller ? Interp::kYes : Interp::kNo);
    writer.Add(partner, weight, mainSmaller ? Interp::kNo : Interp::kYes);
    return;
  }
  writer.Add(pair.main, 1.0 - weight, Interp::kByParity);
  writer.Add(partner, weight, Interp::kByParity);
}

// 3:2 outputs blend by showing both fields of the chosen frame at once.
void AppendFrameMix(const SourceRequest& request, int32_t field, Interp single,
                    ImageWriter& writer) {
  if (request.blending == BlendingKind::kSingle) {
    writer.Add(field, 1.0, single);
    return;
  }
  const int32_t first = 2 * (field / 2);
  writer.Add(first, kHalfLevel, Interp::kNo);
  writer.Add(first + 1, kHalfLevel, Interp::kNo);
}

}  // namespace

int32_t AppendSourceImages(const SourceRequest& request, SourceImageList& images) {
  ImageWriter writer(request, images);
  const double pos = request.position;
  const double next = request.nextSample;
  const int32_t f = request.fieldSelector;

  switch (request.sourceCase) {
    case SourceCase::InterlacedSource:
    case SourceCase::InterlacedTapeSim: {
      const int32_t e = Corvalis::FieldAtOrBelow(pos, 0);
      const Pair pair{e, Corvalis::FieldAtOrBelow(next, 0), e + 1, pos - e};
      AppendPair(request, pair, request.sourceCase == SourceCase::InterlacedTapeSim, writer);
      return writer.Clamp(e);
    }
    case SourceCase::DuplicateF1Source: {
      const int32_t e = Corvalis::FieldAtOrBelow(pos, 1);
      const Pair pair{e, Corvalis::FieldAtOrBelow(next, 1), e + 2, (pos - e) * 0.5};
      AppendPair(request, pair, false, writer);
      return writer.Clamp(e);
    }
    case SourceCase::DuplicateF2Source: {
      const int32_t e = Corvalis::FieldAtOrBelow(pos, 2);
      const double weight = std::fabs((pos - Corvalis::FieldAtOrBelow(pos, 1) - 0.5) * 0.5);
      const Pair pair{e, Corvalis::FieldAtOrBelow(next, 2), e + 2, weight};
      AppendPair(request, pair, false, writer);
      return writer.Clamp(e);
    }
    case SourceCase::ProgressiveSource: {
      // Both fields of a progressive frame show the same instant: take the
      // one on the output's lines, so nothing needs interpolating.
      const int32_t parity = f == kSecondFieldSelector ? 1 : 0;
      const int32_t frameStart = Corvalis::FieldAtOrBelow(pos, 1);
      const int32_t e = frameStart + parity;
      // Under strobe blending the partner is the same field of the frame at
      // the next sample, as the other cases take theirs from the next sample.
      const int32_t strobePartner = Corvalis::FieldAtOrBelow(next, 1) + parity;
      const double weight = std::fabs((pos - frameStart) * 0.5);
      if (request.blending == BlendingKind::kSingle) {
        writer.Add(e, 1.0, Interp::kNo);
      } else {
        const bool strobe = request.blending == BlendingKind::kStrobe;
        const double w = strobe ? request.strobeWeight : weight;
        writer.Add(e, 1.0 - w, Interp::kNo);
        writer.Add(strobe ? strobePartner : e + 2, w, Interp::kNo);
      }
      return writer.Clamp(frameStart);
    }
    case SourceCase::InterlacedTo32: {
      const int32_t e = Corvalis::NearestField(pos);
      AppendFrameMix(request, e, Interp::kByParity, writer);
      return writer.Clamp(e);
    }
    case SourceCase::ProgressiveTo32: {
      int32_t e = Corvalis::NearestField(pos);
      const bool odd = e % 2 != 0;
      if (!odd && f == kSecondFieldSelector) ++e;
      if (odd && f == kFirstFieldSelector) --e;
      AppendFrameMix(request, e, Interp::kNo, writer);
      return writer.Clamp(e);
    }
    case SourceCase::DuplicateTo32: {
      // Only the field that carries the picture of a duplicated source is
      // used.
      int32_t e = Corvalis::NearestField(pos);
      const bool odd = e % 2 != 0;
      if (!odd && request.inputMode == kInputDuplicateF2) ++e;
      if (odd && request.inputMode == kInputDuplicateF1) --e;
      AppendFrameMix(request, e, Interp::kNo, writer);
      return writer.Clamp(e);
    }
    case SourceCase::PulldownToProgressive: {
      const int32_t film = TruncToInt32(pos * 0.4 + 0.5);
      int32_t e = InputFilmField(film, request.inputCadence, f);
      if (request.inputCadence == 1 || request.inputCadence == 3) ++e;
      writer.Add(e, 1.0, Interp::kNo);
      return writer.Clamp(e);
    }
    case SourceCase::PulldownToInterlaced: {
      const int32_t e = PulldownFieldAt(pos, request.inputCadence, f);
      writer.Add(e, 1.0, Interp::kNo);
      return writer.Clamp(e);
    }
    case SourceCase::PulldownTo32: {
      const int32_t e = InputFilmField(pos * 0.4, request.inputCadence, f);
      writer.Add(e, 1.0, Interp::kNo);
      return writer.Clamp(e);
    }
  }
  return kNone;
}

int32_t AppendFrameImages(const SourceRequest& request, SourceImageList& images) {
  // A frame-based timeline counts frames, so its positions name frames
  // directly; the mixing follows the interlaced rule on that scale.
  ImageWriter writer(request, images);
  const double pos = request.position;
  const int32_t e = Corvalis::FieldAtOrBelow(pos, 0);
  switch (request.blending) {
    case BlendingKind::kSingle:
      writer.AddFrame(e, 1.0);
      break;
    case BlendingKind::kStrobe:
      writer.AddFrame(e, 1.0 - request.strobeWeight);
      writer.AddFrame(Corvalis::FieldAtOrBelow(request.nextSample, 0), request.strobeWeight);
      break;
    case BlendingKind::kPosition:
      writer.AddFrame(e, 1.0 - (pos - e));
      writer.AddFrame(e + 1, pos - e);
      break;
  }
  return writer.Clamp(e);
}
