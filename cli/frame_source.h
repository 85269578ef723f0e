// Where the media reader's frames come from: a file FFmpeg demuxes and
// decodes, or a lavfi filtergraph, played from the start or from a key frame.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

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

// The video stream's packets as the container stores them, in stored order,
// read without decoding.
struct PacketScan {
  int codec = 0;                    // FFmpeg's AVCodecID
  std::vector<int64_t> timestamps;  // presentation timestamps
  std::vector<bool> keyFrames;
  // False when any packet lacks a timestamp, is empty or marked damaged, or
  // the file could not be read to its end: then packets cannot stand for
  // pictures. (Packets the container marks for discarding, whose pictures
  // the decoder drops, are left out.)
  bool plain = true;
};

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
  // A timestamp in seconds.
  virtual double Seconds(int64_t timestamp) const = 0;
  // Reads the packets of the whole clip into `scan` and stands at the start
  // again; false for sources without packets.
  virtual bool ScanPackets(PacketScan& scan) {
    (void)scan;
    return false;
  }
  // Frames the decoder holds back to put them in presentation order.
  virtual int DecoderDelay() const { return 0; }
  // True when the decoder gives frames in the order they are stored (no
  // frame waits for a later one to be shown).
  virtual bool KeepsFrameOrder() const { return false; }
  // Where the stream's timestamps start and how far they run, in its own
  // time units and in seconds; false when the container does not say.
  struct Span {
    int64_t start = 0;
    int64_t duration = 0;
    double seconds = 0.0;
  };
  virtual bool TimeSpan(Span& span) const {
    (void)span;
    return false;
  }
};

// Opens a file (errors name `path`).
std::unique_ptr<FrameSource> OpenFileSource(const std::string& path);
// Builds a lavfi graph; errors name `source`, the text as the user gave it.
std::unique_ptr<FrameSource> OpenLavfiSource(const std::string& source, std::string graph);

}  // namespace cli
