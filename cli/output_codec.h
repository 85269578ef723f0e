// Which encoder, pixel format and encoder settings an output gets: the codec
// the user named (an encoder's name or a codec's common name such as "h264",
// "prores" or "dnxhd"), or, without one, the codec that suits the container:
//
//   .mkv  FFV1, bgra (bit-exact)        .mov  ProRes 422 HQ, yuv422p10le
//   .mp4  H.264, yuv420p, CRF 18        .mxf  MPEG-2 4:2:2 at 50 Mb/s (XDCAM HD 422 form)
//   .dv   DV: yuv411p for NTSC (720x480 at 30000/1001), yuv420p for PAL (720x576 at 25)
//
// Settings the user gives (--codec-option KEY=VALUE, --crf) come after the
// codec's own defaults and win over them. Failures throw MediaError naming
// the output.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli/media_reader.h"

struct AVCodec;
struct AVOutputFormat;

namespace cli {

using CodecOptions = std::vector<std::pair<std::string, std::string>>;

struct EncoderPlan {
  const AVCodec* codec = nullptr;
  std::string name;         // as the user knows it, for messages
  std::string pixelFormat;  // FFmpeg's name; empty: the writer chooses
  // Encoder settings in the order they are applied; a later KEY wins.
  CodecOptions options;
  // DNxHD opens only at the bit rates its tables name for the size and
  // rate: these are tried in turn when no bit rate or profile was given.
  std::vector<std::string> bitRatesToTry;
  // Interlaced output is coded by fields (field DCT and motion estimation);
  // off where the codec cannot (DNxHR), whose frames then carry both fields
  // coded as one picture while the container keeps the field order.
  bool fieldCoding = true;
  // The bit rate decides whether the encoder opens (DNxHD).
  bool fixedBitRates = false;
};

struct EncoderRequest {
  std::string codec;        // empty: the container's own
  std::string pixelFormat;  // empty: the codec's own
  int crf = -1;
  CodecOptions options;
  int width = 0;
  int height = 0;
  Rational frameRate;
  bool interlaced = false;
};

// Plans the encoder of `out` in `container`.
EncoderPlan PlanEncoder(const std::string& out, const AVOutputFormat& container,
                        const EncoderRequest& request);

// Splits "KEY=VALUE"; throws MediaError naming the option when there is no "=".
std::pair<std::string, std::string> ParseCodecOption(const std::string& text);

}  // namespace cli
