#include "cli/packet_index.h"

#include <algorithm>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace cli {
namespace {

// Codecs whose frames lean on earlier ones (FFV1 carries its coding state
// over from the last key frame) and whose decoders give one picture for
// every packet the demuxer gives. Others, such as MPEG-4 part 2 with its
// packed B-frames or VP8 with its hidden frames, do not.
constexpr AVCodecID kOnePicturePerPacket[] = {AV_CODEC_ID_H264, AV_CODEC_ID_HEVC,
                                              AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_MPEG1VIDEO,
                                              AV_CODEC_ID_FFV1};

// Frames decoded from the start: a picture dropped before the first key
// frame shows in the first frame, packets that hold one field each in the
// second. (Frames dropped midway, where the decoder finds the reordering
// deeper than it expected, are ruled out by comparing the packets'
// reordering with the frames the decoder holds back.)
constexpr size_t kFramesCheckedAtStart = 2;
// The last stretch is decoded (from its key frame to the end) only when it
// is at most this long; so is a clip without a second key frame, whole.
constexpr size_t kLastStretchChecked = 30;

// At most how many packets stored before a packet are shown after it: the
// frames a decoder must hold back to give them in presentation order.
int ReorderDepth(const std::vector<size_t>& rankOf) {
  // Counts, over ranks, of the packets seen so far (a Fenwick tree).
  std::vector<int> seen(rankOf.size() + 1, 0);
  int depth = 0;
  for (size_t stored = 0; stored < rankOf.size(); ++stored) {
    int shownBefore = 0;
    for (size_t i = rankOf[stored]; i > 0; i -= i & (~i + 1)) shownBefore += seen[i];
    depth = std::max(depth, static_cast<int>(stored) - shownBefore);
    for (size_t i = rankOf[stored] + 1; i < seen.size(); i += i & (~i + 1)) ++seen[i];
  }
  return depth;
}

bool Matches(const AVFrame& frame, int64_t timestamp, bool keyFrame, const FrameSource& frames) {
  return frames.TimestampOf(frame) == timestamp && IsKeyFrame(frame) == keyFrame;
}

// Decodes from the start: the first `count` frames must be the index's, and
// when that is all of them the decoder must end there. The first
// kFramesCheckedAtStart are kept.
bool StartMatches(FrameSource& frames, size_t count, MediaIndex& index) {
  for (size_t number = 0; number < count; ++number) {
    const AVFrame* frame = frames.Next();
    if (!frame || !Matches(*frame, index.timestamps[number], index.keyFrames[number], frames)) {
      return false;
    }
    if (number == 0) {
      index.width = frame->width;
      index.height = frame->height;
      index.flaggedOrder = FieldOrderOfFrame(*frame);
    }
    if (number < kFramesCheckedAtStart) index.firstFrames.emplace_back(av_frame_clone(frame));
  }
  if (count == index.timestamps.size()) return frames.Next() == nullptr;
  index.followsFirstFrames = count == index.firstFrames.size();
  return true;
}

enum class Agreement { kAgrees, kDisagrees, kCannotTell };

// Decodes from key frame `first` to the end: every frame from it on must be
// the index's. Frames shown before it lean on pictures not decoded here.
// Where the demuxer cannot seek to the key frame itself (MPEG program
// streams seek by approximation), the end is left unchecked.
Agreement EndMatches(FrameSource& frames, size_t first, const MediaIndex& index) {
  if (!frames.SeekBefore(index.timestamps[first])) return Agreement::kCannotTell;
  size_t number = first;
  while (const AVFrame* frame = frames.Next()) {
    if (number == first) {
      const int64_t timestamp = frames.TimestampOf(*frame);
      if (timestamp < index.timestamps[first]) continue;
      if (timestamp > index.timestamps[first]) return Agreement::kCannotTell;
    }
    if (number == index.timestamps.size() ||
        !Matches(*frame, index.timestamps[number], index.keyFrames[number], frames)) {
      return Agreement::kDisagrees;
    }
    ++number;
  }
  if (number == first) return Agreement::kCannotTell;
  return number == index.timestamps.size() ? Agreement::kAgrees : Agreement::kDisagrees;
}

}  // namespace

std::optional<MediaIndex> IndexFromPackets(FrameSource& frames) try {
  PacketScan scan;
  if (!frames.ScanPackets(scan) || !scan.plain || scan.timestamps.empty()) return std::nullopt;
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(static_cast<AVCodecID>(scan.codec));
  const bool intraOnly = descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
  if (!intraOnly && std::find(std::begin(kOnePicturePerPacket), std::end(kOnePicturePerPacket),
                              scan.codec) == std::end(kOnePicturePerPacket)) {
    return std::nullopt;
  }

  const size_t count = scan.timestamps.size();
  std::vector<size_t> shown(count);  // stored positions in presentation order
  std::iota(shown.begin(), shown.end(), size_t{0});
  std::sort(shown.begin(), shown.end(),
            [&](size_t a, size_t b) { return scan.timestamps[a] < scan.timestamps[b]; });
  MediaIndex index;
  std::vector<size_t> rankOf(count);
  for (size_t number = 0; number < count; ++number) {
    const int64_t timestamp = scan.timestamps[shown[number]];
    // Two pictures at one time cannot be told apart by their timestamps.
    if (number > 0 && timestamp == index.timestamps.back()) return std::nullopt;
    index.timestamps.push_back(timestamp);
    index.keyFrames.push_back(scan.keyFrames[shown[number]]);
    rankOf[shown[number]] = number;
  }
  const int depth = ReorderDepth(rankOf);

  size_t lastKey = count - 1;
  while (lastKey > 0 && !index.keyFrames[lastKey]) --lastKey;
  size_t checked = std::min(count, intraOnly ? 1 : kFramesCheckedAtStart);
  if (!intraOnly && lastKey == 0 && count <= kLastStretchChecked) checked = count;
  if (!StartMatches(frames, checked, index) || frames.DecoderDelay() < depth) return std::nullopt;
  if (!intraOnly && lastKey > 0 && count - lastKey <= kLastStretchChecked) {
    index.followsFirstFrames = false;
    if (EndMatches(frames, lastKey, index) == Agreement::kDisagrees) return std::nullopt;
  }
  // A clone that failed for want of memory keeps no frame, nor any after it.
  for (size_t number = 0; number < index.firstFrames.size(); ++number) {
    if (!index.firstFrames[number]) {
      index.firstFrames.resize(number);
      index.followsFirstFrames = false;
    }
  }
  return index;
} catch (const MediaError&) {
  // Indexing by decoding meets the same fault and reports it.
  return std::nullopt;
}

}  // namespace cli
