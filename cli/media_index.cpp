#include "cli/media_index.h"

#include <algorithm>
#include <atomic>
#include <future>
#include <system_error>
#include <thread>

extern "C" {
#include <libavutil/avutil.h>
}

namespace cli {

MediaIndex IndexSerially(FrameSource& frames, const std::string& source, bool isFile,
                         int frameLimit) {
  MediaIndex index;
  while (AVFrame* frame = frames.Next()) {
    if (index.timestamps.empty()) {
      index.width = frame->width;
      index.height = frame->height;
      index.flaggedOrder = FieldOrderOfFrame(*frame);
    }
    if (!isFile && static_cast<int>(index.timestamps.size()) >= frameLimit) {
      throw FileError(source, "the filtergraph gives more than " + std::to_string(frameLimit) +
                                  " frames; give its source a duration, e.g. "
                                  "testsrc2=size=64x48:rate=25:duration=2");
    }
    index.timestamps.push_back(frames.TimestampOf(*frame));
    index.keyFrames.push_back(IsKeyFrame(*frame));
  }
  return index;
}

namespace {

// Frames a stretch plays past the first frame of the next one, all of which
// must match that stretch's own first frames.
constexpr int kOverlap = 2;
// Opening the file again and seeking costs a few milliseconds; stretches
// shorter than this are not worth a thread.
constexpr double kShortestStretchSeconds = 1.0;

// Thrown inside PlayStretch when its stretch cannot be joined.
struct NotJoinable {};

// Plays stretch k of `parts`. Stretches after the first start at a key frame
// at or before their nominal start and announce their first timestamp; all
// but the last play on until they have met the next stretch's first frame
// and kOverlap frames after it.
void PlayStretch(FrameSource& frames, int k, int parts, const FrameSource::Span& span,
                 std::promise<std::optional<int64_t>>& announce,
                 std::shared_future<std::optional<int64_t>> nextFirst, std::atomic<bool>& failed,
                 MediaIndex& index) {
  bool announced = k == 0;
  auto announceOnce = [&](std::optional<int64_t> first) {
    if (!announced) announce.set_value(first);
    announced = true;
  };
  bool ok = false;
  try {
    const int64_t step = span.duration / parts;
    if (k > 0 && !frames.SeekBefore(span.start + step * k)) throw NotJoinable{};
    const bool last = k == parts - 1;
    const int64_t nextStart = span.start + step * (k + 1);
    std::optional<int64_t> next;  // the next stretch's first timestamp, once asked for
    int pastNext = -1;            // frames played after it, once met
    while (!failed.load()) {
      AVFrame* frame = frames.Next();
      if (frame == nullptr) break;
      const int64_t timestamp = frames.TimestampOf(*frame);
      // Timestamps taken straight from each frame, always rising: then they do
      // not depend on what was played before, as guessed ones may.
      if (frame->pts == AV_NOPTS_VALUE || timestamp != frame->pts) throw NotJoinable{};
      if (!index.timestamps.empty() && timestamp <= index.timestamps.back()) throw NotJoinable{};
      // Only a clip of key frames alone decodes the same from any of them.
      if (!IsKeyFrame(*frame)) throw NotJoinable{};
      if (index.timestamps.empty()) {
        index.width = frame->width;
        index.height = frame->height;
        index.flaggedOrder = FieldOrderOfFrame(*frame);
        announceOnce(timestamp);
      }
      index.timestamps.push_back(timestamp);
      index.keyFrames.push_back(IsKeyFrame(*frame));
      if (last) continue;
      if (!next && timestamp >= nextStart) {
        next = nextFirst.get();
        if (!next) throw NotJoinable{};
        // The next stretch may begin before this frame.
        for (size_t i = index.timestamps.size(); i-- > 0;) {
          if (index.timestamps[i] == *next) {
            pastNext = static_cast<int>(index.timestamps.size() - 1 - i);
            break;
          }
          if (index.timestamps[i] < *next) break;
        }
        if (pastNext < 0 && timestamp > *next) throw NotJoinable{};
      } else if (next) {
        if (pastNext >= 0) {
          ++pastNext;
        } else if (timestamp == *next) {
          pastNext = 0;
        } else if (timestamp > *next) {
          throw NotJoinable{};
        }
      }
      if (pastNext >= kOverlap) break;
    }
    ok = !failed.load() && !index.timestamps.empty();
  } catch (...) {
    // NotJoinable or a read error alike: the serial pass reports errors.
  }
  if (!ok) failed.store(true);
  announceOnce(std::nullopt);
}

// Joins the stretches where each overlaps the next; nothing when they do not.
// (Every frame of a stretch is a key frame, so timestamps alone decide.)
std::optional<MediaIndex> Join(std::vector<MediaIndex>& stretches) {
  MediaIndex joined = std::move(stretches[0]);
  for (size_t k = 1; k < stretches.size(); ++k) {
    const MediaIndex& next = stretches[k];
    size_t at = joined.timestamps.size();
    while (at > 0 && joined.timestamps[at - 1] >= next.timestamps[0]) --at;
    if (at == joined.timestamps.size() || joined.timestamps[at] != next.timestamps[0]) {
      return std::nullopt;
    }
    const size_t overlap = joined.timestamps.size() - at;
    if (overlap < std::min<size_t>(kOverlap + 1, next.timestamps.size())) return std::nullopt;
    for (size_t i = 0; i < overlap; ++i) {
      if (i >= next.timestamps.size() || joined.timestamps[at + i] != next.timestamps[i]) {
        return std::nullopt;
      }
    }
    joined.timestamps.resize(at);
    joined.keyFrames.resize(at);
    joined.timestamps.insert(joined.timestamps.end(), next.timestamps.begin(),
                             next.timestamps.end());
    joined.keyFrames.insert(joined.keyFrames.end(), next.keyFrames.begin(), next.keyFrames.end());
  }
  return joined;
}

}  // namespace

std::optional<MediaIndex> IndexInParts(FrameSource& first, const std::string& path, int parts) {
  FrameSource::Span span;
  if (parts < 2 || !first.KeepsFrameOrder() || !first.TimeSpan(span)) return std::nullopt;
  parts = static_cast<int>(
      std::min(static_cast<double>(parts), span.seconds / kShortestStretchSeconds));
  if (parts < 2 || span.duration < parts) return std::nullopt;

  std::atomic<bool> failed{false};
  std::vector<MediaIndex> stretches(parts);
  std::vector<std::promise<std::optional<int64_t>>> firsts(parts);
  std::vector<std::shared_future<std::optional<int64_t>>> firstOf;
  for (auto& promise : firsts) firstOf.push_back(promise.get_future().share());
  auto nextOf = [&](int k) {
    return k + 1 < parts ? firstOf[k + 1] : std::shared_future<std::optional<int64_t>>();
  };

  std::vector<std::thread> threads;
  auto joinAll = [&] {
    for (std::thread& thread : threads) thread.join();
  };
  for (int k = 1; k < parts; ++k) {
    try {
      threads.emplace_back([&, k] {
        std::unique_ptr<FrameSource> own;
        try {
          own = OpenFileSource(path);
        } catch (...) {
          failed.store(true);
          firsts[k].set_value(std::nullopt);
          return;
        }
        PlayStretch(*own, k, parts, span, firsts[k], nextOf(k), failed, stretches[k]);
      });
    } catch (const std::system_error&) {
      // No thread to be had: the ones started stop at their next frame.
      failed.store(true);
      for (int rest = k; rest < parts; ++rest) firsts[rest].set_value(std::nullopt);
      joinAll();
      return std::nullopt;
    }
  }
  PlayStretch(first, 0, parts, span, firsts[0], nextOf(0), failed, stretches[0]);
  joinAll();
  if (failed.load()) return std::nullopt;
  return Join(stretches);
}

}  // namespace cli
