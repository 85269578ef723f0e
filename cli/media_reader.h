// Reading video for the command-line tool: a file FFmpeg can open, or a
// generated clip written "lavfi:<filtergraph>". Every frame comes out as
// 4-byte pixels in the order blue, green, red, alpha (always 255), at the
// source's size, and any frame can be asked for by number in any order.
//
// Frame numbers are positions in presentation order counted from 0: frame N
// is exactly the Nth frame the decoder gives when the clip is played from the
// start. Opening a file indexes its frames (their timestamps and key frames),
// so that later requests can seek to the nearest key frame and decode
// forward. For the common codecs the index is read from the container's
// packets, checked by decoding the first frames (cli/packet_index.h), and a
// frame is decoded only when asked for; other files, and any file when
// MediaReaderOptions::indexByDecoding or the environment's
// CORVALIS_INDEX=decode asks for it, are decoded once to count and index
// their frames (with MediaReaderOptions::indexThreads, clips of independently
// coded frames in stretches at once, to the same result). Every frame decoded
// in sequence must have the timestamp the index gives its number; any other
// is never handed out but throws MediaError naming what did not match
// (docs/media-index.md says what that check can and cannot see).
// Only a bounded cache of converted frames is kept, so long clips are never
// held whole in memory.
//
// A lavfi graph must end by itself: give its source a duration, for example
// "lavfi:testsrc2=size=64x48:rate=25:duration=2". A graph that gives more than
// MediaReaderOptions::lavfiFrameLimit frames is refused. Going back in a lavfi
// clip past the cache runs the graph again from the start; generated test
// sources give the same frames every time.
//
// Frame(), ReadFrame() and ReadRows() may be called from several threads at
// once: one mutex serialises decoding, each thread converts the frames it
// decoded (or, for planar RGB, the rows it asks for) while others decode, and
// the frames handed out stay valid after they leave the cache. All failures
// throw MediaError with a line naming the source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/media_error.h"
#include "cli/pixel_buffer.h"

namespace cli {

enum class FieldOrder { kProgressive, kTopFirst, kBottomFirst };
// Where a clip's field order was read: its frames' own interlace flags,
// which decide when they mark the frames interlaced; the container's (or
// codec header's) field order when the frames say nothing; neither.
enum class FieldOrderOrigin { kFrameFlags, kContainer, kNone };

struct Rational {
  int num = 0;
  int den = 1;
  double ToDouble() const { return den == 0 ? 0.0 : static_cast<double>(num) / den; }
};

// One picture of 4-byte pixels, rows packed without padding.
struct VideoFrame {
  int width = 0;
  int height = 0;
  PixelBuffer pixels;
  int RowBytes() const { return width * 4; }
};

struct MediaReaderOptions {
  // Upper bound on the bytes of converted frames kept for reuse.
  size_t cacheBytes = size_t{256} << 20;
  // A lavfi graph giving more frames than this is taken to be endless.
  int lavfiFrameLimit = 10000;
  // Threads that may index a file at once, each playing one stretch of it;
  // used for clips whose frames are each coded on their own.
  int indexThreads = 1;
  // Index files by decoding every frame, never from their packets.
  bool indexByDecoding = false;
};

class MediaReader {
 public:
  static constexpr const char* kLavfiPrefix = "lavfi:";
  // The environment variable that, set to "decode", sets indexByDecoding.
  static constexpr const char* kIndexingVariable = "CORVALIS_INDEX";

  explicit MediaReader(const std::string& source, MediaReaderOptions options = {});
  ~MediaReader();
  MediaReader(const MediaReader&) = delete;
  MediaReader& operator=(const MediaReader&) = delete;

  // The source as given, used at the start of every error message.
  const std::string& Source() const;
  int Width() const;
  int Height() const;
  int FrameCount() const;
  Rational FrameRate() const;
  double FrameRateValue() const { return FrameRate().ToDouble(); }
  FieldOrder GetFieldOrder() const;
  FieldOrderOrigin GetFieldOrderOrigin() const;
  // What the container (or codec header) says, whatever the frames say.
  FieldOrder GetDeclaredFieldOrder() const;

  // Frame `number` (0 ≤ number < FrameCount()).
  std::shared_ptr<const VideoFrame> Frame(int number);
  // Copies frame `number` into dest, rows rowBytes apart.
  void ReadFrame(int number, uint8_t* dest, int rowBytes);
  // Copies rows firstRow, firstRow + step, ... (`rows` of them, the first
  // `pixels` pixels of each) of frame `number` into dest, rows destRowBytes
  // apart. Rows must lie within the frame.
  void ReadRows(int number, int firstRow, int step, int rows, int pixels, uint8_t* dest,
                int destRowBytes);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// True for "lavfi:..." sources, which name no file.
bool IsLavfiSource(const std::string& source);

}  // namespace cli
