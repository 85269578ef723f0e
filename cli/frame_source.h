// Where the media reader's frames come from: a file FFmpeg demuxes and
// decodes, or a lavfi filtergraph, played from the start or from a key frame.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "cli/media_reader.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace cli {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// FFmpeg's enum fields hold whatever a damaged file put there, values no
// enumerator names among them; read as plain ints they compare safely.
template <typename Enum>
int EnumValue(const Enum& field) {
  static_assert(sizeof(Enum) == sizeof(int), "FFmpeg's enums are int-sized");
  int value;
  std::memcpy(&value, &field, sizeof value);
  return value;
}

bool IsKeyFrame(const AVFrame& frame);
FieldOrder FieldOrderOfFrame(const AVFrame& frame);

// Frames of a clip in presentation order, from the start or from a key frame.
class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // The next frame, owned by the source until the next call; null at the end.
  virtual AVFrame* Next() = 0;
  // Plays again from the first frame.
  virtual void Restart() = 0;
  // Moves to a key frame at or before `timestamp`; false when it cannot.
  virtual bool SeekBefore(int64_t timestamp) = 0;
  // The timestamp that identifies a frame returned by Next().
  virtual int64_t TimestampOf(const AVFrame& frame) const = 0;
  // The stream's own field order, or progressive when it names none.
  virtual FieldOrder DeclaredFieldOrder() const = 0;
  virtual Rational FrameRate() const = 0;
  // True when every frame is coded on its own (no frame leans on another),
  // so that decoding from any frame gives what playing from the start does.
  virtual bool IntraOnly() const { return false; }
  // The stream's first timestamp and length in its own time units, when the
  // container tells them; false otherwise.
  virtual bool TimeSpan(int64_t& start, int64_t& duration) const {
    (void)start;
    (void)duration;
    return false;
  }
};

// Opens a file (errors name `path`).
std::unique_ptr<FrameSource> OpenFileSource(const std::string& path);
// Builds a lavfi graph; errors name `source`, the text as the user gave it.
std::unique_ptr<FrameSource> OpenLavfiSource(const std::string& source, std::string graph);

}  // namespace cli
