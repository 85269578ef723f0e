// Source frames kept for reuse by a host's clip, whatever delivers them (a
// file the tool decodes, the producer before an MLT link): the least
// recently used goes first.
//
// The cache starts small and doubles, up to its limit, each time a frame it
// let go of is asked for again. Playing forward never asks for an evicted
// frame, so it keeps a few frames' worth of memory; reverse play and strobes,
// which do, get the room they need. (Fresh memory is not free: the first
// touch of every page of a full 256 MB cache costs more than decoding a whole
// 1080p clip of uncompressed video.) Not thread-safe: its owner locks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>
#include <vector>

namespace refhost {

template <class Frame>
class FrameCache {
 public:
  // At most `capacity` frames (at least 2) of a clip of `frameCount` frames.
  FrameCache(size_t capacity, int frameCount)
      : limit_(std::max<size_t>(capacity, 2)),
        capacity_(std::min(limit_, kFirstCapacity)),
        evicted_(static_cast<size_t>(std::max(frameCount, 0)), false) {}

  // The frame kept as `number`, or an empty Frame.
  Frame Find(int number) {
    auto found = index_.find(number);
    if (found == index_.end()) return Frame();
    order_.splice(order_.begin(), order_, found->second);
    return found->second->second;
  }

  // Makes room for `frames` frames at once (within the limit): for a caller
  // about to insert a run of frames that are all wanted soon.
  void Reserve(size_t frames) { capacity_ = std::max(capacity_, std::min(limit_, frames)); }
  size_t Limit() const { return limit_; }

  void Insert(int number, Frame frame) {
    if (Find(number)) return;
    if (Evicted(number) && capacity_ < limit_) {
      capacity_ = std::min(limit_, 2 * capacity_);
      std::fill(evicted_.begin(), evicted_.end(), false);
    }
    order_.emplace_front(number, std::move(frame));
    index_[number] = order_.begin();
    if (order_.size() > capacity_) {
      const int oldest = order_.back().first;
      if (oldest >= 0 && static_cast<size_t>(oldest) < evicted_.size()) evicted_[oldest] = true;
      index_.erase(oldest);
      order_.pop_back();
    }
  }

 private:
  // Twice the neighbours an effect reads around a frame.
  static constexpr size_t kFirstCapacity = 8;

  bool Evicted(int number) const {
    return number >= 0 && static_cast<size_t>(number) < evicted_.size() && evicted_[number];
  }

  using Entry = std::pair<int, Frame>;
  size_t limit_;
  size_t capacity_;
  std::vector<bool> evicted_;
  std::list<Entry> order_;
  std::unordered_map<int, typename std::list<Entry>::iterator> index_;
};

}  // namespace refhost
