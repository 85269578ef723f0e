// A clip whose frames come one at a time from a source that plays forward
// cheaply and moves back dearly, and that may serve one caller at a time only:
// the producer before an MLT link, which decodes from the last key frame on
// every step back.
//
// Frames are kept in a FrameCache and the source is only called under the
// clip's lock, so renders on several threads may share one clip. A frame that
// is missed just before the frame missed last (reverse play) is read with a
// run of the frames before it, oldest first: one step back in the source then
// serves the next steps of the render, and the run doubles with every such
// miss, up to half of what the cache may hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "refhost/clip.h"
#include "refhost/frame_cache.h"

namespace refhost {

class CachedClip : public Clip {
 public:
  // Packed rows of 4-byte pixels (blue, green, red, fourth): width × height × 4 bytes.
  using Frame = std::shared_ptr<const std::vector<uint8_t>>;
  // Delivers frame `number` (0 ≤ number < frameCount), or null when it cannot.
  using Source = std::function<Frame(int32_t number)>;

  static constexpr size_t kDefaultCacheBytes = size_t{256} << 20;

  CachedClip(int32_t width, int32_t height, int32_t frameCount, Source source,
             size_t cacheBytes = kDefaultCacheBytes);

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  int32_t FrameCount() const override { return frameCount_; }
  bool ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows, int32_t pixels,
                uint8_t* dest, int32_t destRowBytes) override;

  // Frame `number` from the cache or the source; null when the source fails.
  Frame Get(int32_t number);
  // How many frames the source has delivered so far.
  int64_t SourceReads() const;

 private:
  // The first run read ahead of a step back.
  static constexpr int32_t kFirstRun = 8;

  const int32_t width_;
  const int32_t height_;
  const int32_t frameCount_;
  Source source_;
  mutable std::mutex mutex_;
  FrameCache<Frame> cache_;
  int32_t lastMiss_ = -1;
  int32_t run_ = 1;
  int64_t sourceReads_ = 0;
};

}  // namespace refhost
