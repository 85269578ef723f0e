// Writing video for the command-line tool. Frames of 4-byte pixels (blue,
// green, red, alpha) go in, in order; the container follows the output's
// extension. The default, FFV1 in bgra, gives back exactly the pixels written.
//
// Nothing is lost: the frames go to a temporary file next to the output,
// which takes the output's name only when Finish() succeeds; Abort(), a
// failure, or destruction without Finish() removes it. An existing output is
// replaced only with `overwrite`, and the output may never be one of the
// sources. The same frames and options give the same bytes on every run.
// All failures throw MediaError with a line naming the output.
//
// The output "-" writes no file: frames are encoded and handed to FFmpeg's
// null muxer, as `ffmpeg -f null -` does, so that the cost of a render can be
// measured without the cost of storing it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/media_reader.h"

namespace cli {

// The output name that discards every frame (FFmpeg's null muxer).
inline constexpr const char* kDiscardOutput = "-";
// The encoder of `ffmpeg -f null -`: hands each frame on without encoding it.
inline constexpr const char* kDiscardCodec = "wrapped_avframe";

struct MediaWriterOptions {
  // FFmpeg encoder name, e.g. "ffv1", "libx264".
  std::string codec = "ffv1";
  // Constant rate factor for encoders that have one; negative: the encoder's default.
  int crf = -1;
  // FFmpeg pixel format name; empty: bgra where the encoder takes it, else yuv420p.
  std::string pixelFormat;
  bool overwrite = false;
  // Paths the output must not be (lavfi sources are ignored).
  std::vector<std::string> sourcePaths;
  // Frames from one key frame to the next; 0: the encoder's default.
  int keyFrameInterval = 0;
  // Encoder threads; output is the same for the same count.
  int threads = 1;
};

class MediaWriter {
 public:
  MediaWriter(const std::string& outPath, int width, int height, Rational frameRate,
              FieldOrder fieldOrder, MediaWriterOptions options = {});
  ~MediaWriter();
  MediaWriter(const MediaWriter&) = delete;
  MediaWriter& operator=(const MediaWriter&) = delete;

  // Appends one frame of width × height pixels, rows rowBytes apart.
  void Write(const uint8_t* bgra, int rowBytes);
  void Write(const VideoFrame& frame);
  // Completes the file and gives it the output's name.
  void Finish();
  // Drops everything written; the output is left as it was.
  void Abort();
  int FramesWritten() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace cli
