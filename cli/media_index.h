// The media reader's index of a clip: every frame's identifying timestamp
// and whether it is a key frame, in presentation order, found here by
// playing the clip through once (cli/packet_index.h reads it from packets).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/frame_source.h"

namespace cli {

struct MediaIndex {
  // Of the first frame.
  int width = 0;
  int height = 0;
  FieldOrder flaggedOrder = FieldOrder::kProgressive;
  std::vector<int64_t> timestamps;
  std::vector<bool> keyFrames;
  // Frames decoded while indexing, from frame 0 on, kept so that a render
  // need not decode them again; true when the source gives the frame after
  // them next.
  std::vector<FramePtr> firstFrames;
  bool followsFirstFrames = false;
};

// Plays `frames` from where it stands to the end. A lavfi graph (not
// `isFile`) giving more than `frameLimit` frames is refused.
MediaIndex IndexSerially(FrameSource& frames, const std::string& source, bool isFile,
                         int frameLimit);

// The same index, with the clip cut into `parts` stretches that are played at
// once on as many threads: `first` plays the first stretch, and each other
// opens `path` again and seeks to its own. Only clips of key frames alone,
// shown in the order they are stored, with strictly increasing timestamps
// qualify, and
// neighbouring stretches must overlap on a few identical frames; when any of
// that fails, or the clip is too short to be worth it, nothing is returned
// and the caller indexes serially, which then also reports any error.
std::optional<MediaIndex> IndexInParts(FrameSource& first, const std::string& path, int parts);

}  // namespace cli
