// The source fields, with their weights, that make one output field: one
// rule per combination of source and output field structure.
#pragma once

#include <cstdint>

#include "host/corvalis.h"

enum class BlendingKind {
  kSingle,    // one image
  kStrobe,    // fade from the current strobe sample towards the next one
  kPosition,  // mix the two source fields around the position
};

struct SourceRequest {
  SourceCase sourceCase = SourceCase::InterlacedSource;
  int32_t fieldSelector = 0;  // 0 whole frame, 1 first field, 2 second field
  double position = 0.0;      // located source position, in units
  double nextSample = 0.0;    // position of the next strobe sample
  BlendingKind blending = BlendingKind::kSingle;
  double strobeWeight = 0.0;  // weight of the next sample under strobe blending
  int32_t inputCadence = 0;
  int32_t inputMode = kInputInterlaced;
  int32_t lastField = -1;  // highest source unit an image may name; -1 for no limit
};

// Appends the images of the request's case and returns its main field.
int32_t AppendSourceImages(const SourceRequest& request, SourceImageList& images);

// The images of a frame-based project, whose positions count frames.
int32_t AppendFrameImages(const SourceRequest& request, SourceImageList& images);
