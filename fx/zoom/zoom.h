// The zoom driver: scales a rectangle of one picture into a rectangle of
// another with a separable filter, in two one-dimensional passes on integer
// fixed-point weights.
//
// Rules common to everything here:
// - Pictures are owned by the caller; the driver only reads the source and
//   writes the clipped destination window. Every buffer it needs (weight
//   tables, scanlines, the row ring) lives for one zoom.
// - A zoom that cannot do anything (channel counts that differ, scales not
//   above 0, windows that clip to nothing, an unknown mode) leaves the
//   destination untouched; nothing is reported.
// - Weights of one output pixel sum to kWeightUnit; rows between the passes
//   hold pixel values times 64; the final shift is kFinalShift bits.
#pragma once

#include <cstdint>

#include "fx/zoom/filt.h"
#include "fx/zoom/pic.h"
#include "fx/zoom/scanline.h"
#include "fx/zoom/window.h"
#include "source/frame_buffer.h"

namespace zoom {

// One weight: every weight table entry sums to this (2^14).
constexpr int32_t kWeightUnit = 16384;
// Bytes times 2^14 shifted by this give the 16-bit rows (pixel x 64).
constexpr int32_t kFirstPassShift = 8;
// Pixel x 2^20 after both passes; shifting by this gives bytes again.
constexpr int32_t kFinalShift = 20;
// The mode that picks its filter from the sizes of the two pictures.
constexpr int32_t kModeBySize = 5;

// Top, left, bottom, right; bottom and right exclusive.
struct ZoomRect {
  int32_t top = 0;
  int32_t left = 0;
  int32_t bottom = 0;
  int32_t right = 0;
};

// Destination position = s x source position + t, per dimension, with pixel j
// at position j. txOffset and tyOffset are derived by the driver: the centre
// of output pixel d (relative to the clipped destination window) lies at
// (d + txOffset) / sx in source pixels relative to the clipped source window.
struct ZoomMapping {
  double sx = 1.0;
  double sy = 1.0;
  double tx = 0.0;
  double ty = 0.0;
  double txOffset = 0.0;
  double tyOffset = 0.0;
};

// A filter's reach in one dimension, in source pixels.
struct FilterParams {
  double scale = 1.0;  // source pixels per filter unit
  double supp = 0.5;   // half-width
  int32_t wid = 1;     // most source pixels one output can use
};

// What one zoom will do, after clipping and simplification.
struct ZoomPlan {
  bool prepared = false;  // the destination window was settled
  bool run = false;       // there is something to draw
  ZoomWindow source;
  ZoomWindow destination;
  ZoomMapping mapping;
  const Filter* xFilter = nullptr;
  const Filter* yFilter = nullptr;
  FilterParams x;
  FilterParams y;
  bool xFirst = true;  // horizontal pass first
  bool point = false;  // both dimensions sample without filtering
};

// The buffer's view rectangle.
ZoomRect ViewRect(const FrameBuffer& buffer);

// Scales sourceRect of a 4-byte image into destinationRect of another by the
// given mapping.
void ZoomImage(const FrameBuffer& source, const ZoomRect& sourceRect, FrameBuffer& destination,
               const ZoomRect& destinationRect, double sx, double sy, double tx, double ty,
               int32_t mode);
// Scales a whole 1-byte mask onto a whole mask; equal sizes are copied.
void ZoomMask(const FrameBuffer& source, FrameBuffer& destination, int32_t mode);

// Mode 5 becomes 1 when the destination is no larger than the source in both
// dimensions, otherwise 3; other modes are returned unchanged.
int32_t ResolveModeBySize(int32_t mode, int32_t sourceWidth, int32_t sourceHeight,
                          int32_t destinationWidth, int32_t destinationHeight);
// 0 and 4 "point", 1, 3 and 5 "catrom", 2 "triangle"; null for other modes.
const Filter* FilterForMode(int32_t mode);

// Maps window a onto window b exactly (b must be set).
void ZoomWindows(const ZoomPicture& source, const ZoomWindow& a, const ZoomPicture& destination,
                 const ZoomWindow& b, const Filter* xFilter, const Filter* yFilter);
// The driver: plans, prepares the destination and runs the zoom.
void ZoomWithMapping(const ZoomPicture& source, const ZoomWindow& a, const ZoomPicture& destination,
                     const ZoomWindow& b, const ZoomMapping& mapping, const Filter* xFilter,
                     const Filter* yFilter);

// Clipping, offsets, simplification and pass order of one zoom; draws nothing.
ZoomPlan PlanZoom(const ZoomPicture& source, const ZoomWindow& a, const ZoomPicture& destination,
                  const ZoomWindow& b, const ZoomMapping& mapping, const Filter* xFilter,
                  const Filter* yFilter);
// Draws a plan that has run set, in the pass order it names.
void ExecuteZoom(const ZoomPicture& source, const ZoomPicture& destination, const ZoomPlan& plan);

// The filter's reach when s destination pixels cover one source pixel.
FilterParams MakeFilterParams(const Filter& filter, double s);
// "point" (and its params) when filtering cannot change the samples, else the
// filter with params unchanged. tOffset is the dimension's derived offset.
const Filter* SimplifyFilter(const Filter* filter, FilterParams& params, double s, double tOffset);
// The weights of the output pixel centred at centre (source pixels relative
// to a window of length pixels). range.weights must hold params.wid + 1
// entries; trimZeros drops leading and trailing zero weights.
void MakeWeights(double centre, const Filter& filter, const FilterParams& params, int32_t length,
                 bool trimZeros, WeightRange& range);

}  // namespace zoom
