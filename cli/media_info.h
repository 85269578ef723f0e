// What a media file says about its video besides the pictures, and what else
// it holds: the colour description, the pixel aspect, the time code of its
// first frame, how it is to be shown turned, how long the video runs by the
// container's clock, and whether there is sound. Read from the container's
// headers without decoding; a generated (lavfi) clip has none of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/media_reader.h"

namespace cli {

struct MediaInfo {
  // FFmpeg's enum values; 0 or 2 (unspecified) when untagged.
  int colorPrimaries = 0;
  int colorTransfer = 0;
  int colorSpace = 0;
  int colorRange = 0;
  std::string pixelFormat;  // as decoded, e.g. "yuv422p10le"
  int bitsPerComponent = 8;
  Rational sampleAspect{0, 1};  // 0: not known (square)
  // The first frame's time code, "HH:MM:SS:FF" or "HH:MM:SS;FF" (drop
  // frame); empty when the file has none.
  std::string timeCode;
  // The display matrix's rotation in degrees, as FFmpeg's tools report it
  // (0: none), and the matrix as stored, to be carried over.
  double rotation = 0.0;
  std::vector<uint8_t> displayMatrix;
  double videoSeconds = 0.0;  // by the container's clock; 0 when not known
  int audioStreams = 0;
};

// Throws MediaError naming the file when it cannot be opened.
MediaInfo ReadMediaInfo(const std::string& path);

// The time code `frames` frames after `timeCode` at `rate` (drop-frame
// counting where the text has ";"); empty when the text is not a time code
// that fits the rate.
std::string TimeCodeAfter(const std::string& timeCode, Rational rate, int frames);

}  // namespace cli
