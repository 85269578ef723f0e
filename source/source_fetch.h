// Fetching fields of source frames from the host, with a cache that lives
// for one operation (one adaptive step, one phase detection) so that a field
// needed twice is fetched once. A field the host refuses arrives as an
// all-zero image of the announced size and is cached like any other.
#pragma once

#include <cstdint>
#include <vector>

#include "avx/avx.h"
#include "source/frame_buffer.h"

struct CacheEntry {
  int32_t input = 0;
  int32_t frame = 0;
  avxField field = kAvxFieldOdd;
  FrameRef image;
};

// Entries in the order they were added; never evicts. Destroying the cache
// releases every handle it holds.
class SourceCache {
 public:
  std::vector<CacheEntry> entries;
};

// A new handle to the cached image of (input, frame, field), or null.
FrameRef FindCached(const SourceCache& cache, int32_t input, int32_t frame, avxField field);

// into when it is a packed image buffer of width x height, which a field of
// that size can be fetched into, else a new image buffer of that size.
FrameRef BufferFor(const FrameRef& into, int32_t width, int32_t height);

// The image of one field (or whole frame) of an input, from the cache or the
// host; never null unless memory is exhausted (which throws). A fetch from
// the host goes into `into` instead of a new buffer when that is a packed
// image buffer of the size the host announces.
FrameRef FetchSourceField(avxInstance_v1& instance, SourceCache& cache, int32_t input,
                          int32_t frame, avxField field, const FrameRef& into = FrameRef());
