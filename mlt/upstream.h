// The producer before the link, as the effect's clip sees it.
//
// A link sits in a chain behind the chain's source and, possibly, other
// links. The source is told to run without end (it repeats a late frame past
// its last one), so its real length is asked of a fresh producer of the same
// media; its size, rate and field order come from the media's own
// description. Frames are fetched at the source's own size (unless the
// profile's is another) and at its own field order: the normalisers before
// the link would otherwise shift top-first material by one line to the
// consumer's field order.
#pragma once

#include <framework/mlt.h>

#include <cstdint>
#include <string>

#include "refhost/cached_clip.h"

namespace mltlink {

struct SourceFacts {
  int32_t width = 0;
  int32_t height = 0;
  int32_t frameCount = 0;
  int rateNum = 0;
  int rateDen = 1;
  bool progressive = true;
  bool topFieldFirst = true;
  double sampleAspect = 1.0;
};

// The profile the link's chain renders with (the link's own when it has no chain).
mlt_profile ChainProfile(mlt_link link);

// What the link's source says about itself; throws std::runtime_error when it
// has no picture size.
SourceFacts ReadSourceFacts(mlt_link link);

// Null when the profile's rate is the source's, otherwise the problem in a
// user's words: MLT would resample the source in time before the link, and
// the effect would no longer see the source's fields.
std::string RateMismatch(mlt_link link, const SourceFacts& source);

// Frame `number` of the producer before the link as packed BGRA rows; null
// when it cannot be had. Not thread-safe: the clip's lock serialises it.
refhost::CachedClip::Frame FetchUpstream(mlt_link link, const SourceFacts& source, int32_t number);

}  // namespace mltlink
