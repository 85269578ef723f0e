// Writing video for the command-line tool. Frames of 4-byte pixels (blue,
// green, red, alpha) go in, in order; the container follows the output's
// extension, and without a codec named the container's own codec is used
// (cli/output_codec.h): .mkv gets FFV1 in bgra, which gives back exactly the
// pixels written. Interlaced output is coded as interlaced (field DCT and
// motion estimation where the codec has them) with its field order in the
// codec and the container; progressive output is flagged progressive.
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
#include "cli/output_codec.h"

namespace cli {

// The output name that discards every frame (FFmpeg's null muxer).
inline constexpr const char* kDiscardOutput = "-";
// The encoder of `ffmpeg -f null -`: hands each frame on without encoding it.
inline constexpr const char* kDiscardCodec = "wrapped_avframe";

// What the output says about its pictures besides their pixels; the source's
// tags, carried over. FFmpeg's enum values; -1 leaves the writer's own choice.
struct OutputTags {
  int colorPrimaries = -1;
  int colorTransfer = -1;
  int colorSpace = -1;                 // the matrix of YUV output; RGB output is always tagged RGB
  int colorRange = -1;                 // of YUV output; RGB output is always full range
  Rational sampleAspect{0, 1};         // 0: not known
  std::string timeCode;                // of the first frame, "HH:MM:SS:FF" (";" drop frame)
  std::vector<uint8_t> displayMatrix;  // nine 32-bit values, or empty
};

struct MediaWriterOptions {
  // An FFmpeg encoder name ("libx264") or a codec's common name ("h264",
  // "prores", "dnxhd"); empty: the container's own codec.
  std::string codec;
  // Constant rate factor for encoders that have one; negative: the encoder's default.
  int crf = -1;
  // FFmpeg pixel format name; empty: the codec's own, else bgra where the
  // encoder takes it, else yuv420p.
  std::string pixelFormat;
  // Encoder settings (bit rate, GOP, profile...) as FFmpeg names them.
  CodecOptions codecOptions;
  OutputTags tags;
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
