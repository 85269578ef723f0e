#include "refhost/cached_clip.h"

#include <algorithm>

namespace refhost {

namespace {

size_t FramesWithin(size_t bytes, int32_t width, int32_t height) {
  const size_t frameBytes = std::max<size_t>(1, static_cast<size_t>(width) * height * 4);
  return bytes / frameBytes;
}

}  // namespace

CachedClip::CachedClip(int32_t width, int32_t height, int32_t frameCount, Source source,
                       size_t cacheBytes)
    : width_(width),
      height_(height),
      frameCount_(frameCount),
      source_(std::move(source)),
      cache_(FramesWithin(cacheBytes, width, height), frameCount) {}

CachedClip::Frame CachedClip::Get(int32_t number) {
  if (number < 0 || number >= frameCount_) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  if (Frame kept = cache_.Find(number)) return kept;
  const bool stepBack = lastMiss_ >= 0 && number < lastMiss_;
  const int32_t longestRun = static_cast<int32_t>(std::max<size_t>(1, cache_.Limit() / 2));
  run_ = stepBack ? std::min(longestRun, std::max(kFirstRun, 2 * run_)) : 1;
  lastMiss_ = number;
  // Room for the run besides the frames the render is using now.
  cache_.Reserve(static_cast<size_t>(run_) * 2);
  Frame wanted;
  for (int32_t frame = std::max(0, number - run_ + 1); frame <= number; ++frame) {
    Frame delivered = source_(frame);
    if (delivered == nullptr || delivered->size() != static_cast<size_t>(width_) * height_ * 4) {
      if (frame == number) return nullptr;
      continue;
    }
    ++sourceReads_;
    cache_.Insert(frame, delivered);
    if (frame == number) wanted = std::move(delivered);
  }
  return wanted;
}

int64_t CachedClip::SourceReads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sourceReads_;
}

bool CachedClip::ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows,
                          int32_t pixels, uint8_t* dest, int32_t destRowBytes) {
  const Frame pixelsOfFrame = Get(frame);
  if (pixelsOfFrame == nullptr || dest == nullptr) return false;
  CopyRows(pixelsOfFrame->data(), width_ * 4, firstRow, step, rows, pixels, dest, destRowBytes);
  return true;
}

}  // namespace refhost
