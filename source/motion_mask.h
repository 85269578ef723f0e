// The pixel steps of motion-adaptive interpolation: the motion mask between
// two fields, its cleaning (median), widening (dilation, blur) and the blend
// it drives.
//
// Masks are packed 1-byte buffers (0 still, 255 moving) of the size of the
// field; images are 4-byte buffers. All arithmetic is integer; every
// function works on the buffers it is given and allocates only where it says.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "source/frame_buffer.h"
#include "source/mask_kernels.h"

// Fills the mask from the largest channel difference of a and b mapped
// through min(255, 255 × d / T) (T = threshold, or 1 for 0). False when more
// than 30 % of the pixels are moving (above 127). Mask pixels that a or b
// does not have (the extra row of an odd-height frame's taller field) are 0.
// When rowExtents is given, it receives for every row of the mask where its
// values other than 0 lie (maskrows::NonZeroExtent of the row), found as
// the rows are made.
bool ComputeMotionMask(FrameBuffer& mask, const FrameBuffer& a, const FrameBuffer& b,
                       int32_t threshold,
                       std::vector<maskrows::Extent>* rowExtents = nullptr);
// A new mask: the 3×3 median, edge rows repeated, first and last column kept.
FrameRef MedianFilter3x3(const FrameBuffer& mask);
// Rectangular maximum over ±across columns and ±down rows, in place.
void DilateMask(FrameBuffer& mask, int32_t across, int32_t down);
// Separable moving average over the same extent, horizontal pass first.
void BoxBlurMask(FrameBuffer& mask, int32_t across, int32_t down);
// One line (elements step bytes apart) through a (2 radius − 1)-wide moving
// average with edge elements repeated; lineBuffer holds at least
// length + 2 (radius − 1) bytes.
void BoxFilterLine(uint8_t* line, int32_t length, int32_t step, int32_t radius,
                   std::vector<uint8_t>& lineBuffer);
// out = current where the mask is 255, neighbour where it is 0, and the
// mask-weighted mix in between; current's pixel where the neighbour or the
// mask has none. out may be current or neighbour itself.
void BlendByMask(const FrameBuffer& current, const FrameBuffer& neighbour, const FrameBuffer& mask,
                 FrameBuffer& out);

// Writes pixels firstColumn … endColumn − 1 of row y of an image into row,
// which points at that row's pixel 0.
using RowMaker =
    std::function<void(int32_t y, int32_t firstColumn, int32_t endColumn, uint8_t* row)>;

// MedianFilter3x3 of raw into filtered (of raw's size), then, when smooth is
// not 0, DilateMask and BoxBlurMask over smooth and smooth / 2, then
// BlendByMask(current, neighbour, filtered, out): the bytes of those steps
// run one after the other, made in one pass down the rows. With filtered
// nullptr the blend is the same and the filtered mask is not kept. When given,
// makeCurrentRow is asked for the pixels of current the blend needs, row by
// row in rising order, just before they are read, and current's own pixels
// are never read: it writes them into out's row, or into a row of the pass's
// own when out is neighbour (whose pixels are then the result wherever the
// mask is 0). smooth is 0 to kLargestOnePassSmooth. rawExtents, when given,
// are the raw mask's row extents as ComputeMotionMask gives them.
constexpr int32_t kLargestOnePassSmooth = 127;
void FilterMaskAndBlend(const FrameBuffer& raw, int32_t smooth, FrameBuffer* filtered,
                        const FrameBuffer& current, const FrameBuffer& neighbour, FrameBuffer& out,
                        const RowMaker& makeCurrentRow = nullptr,
                        const std::vector<maskrows::Extent>* rawExtents = nullptr);
