#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/frame_source.h"
#include "cli/media_index.h"
#include "cli/media_reader.h"
#include "cli/media_writer.h"
#include "cli/packet_index.h"
#include "cli/tests/temp_dir.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace cli {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 48;

// Noise that differs in every frame, so a wrong frame number cannot pass.
VideoFrame MakeFrame(int seed) {
  VideoFrame frame;
  frame.width = kWidth;
  frame.height = kHeight;
  frame.pixels.resize(static_cast<size_t>(kWidth) * kHeight * 4);
  uint32_t state = 2654435761u * static_cast<uint32_t>(seed + 1);
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    frame.pixels[i] = (i % 4 == 3) ? 255 : static_cast<uint8_t>(state >> 24);
  }
  return frame;
}

void WriteClip(const std::string& path, int frames, FieldOrder order = FieldOrder::kProgressive,
               MediaWriterOptions options = {}) {
  MediaWriter writer(path, kWidth, kHeight, Rational{25, 1}, order, options);
  for (int i = 0; i < frames; ++i) writer.Write(MakeFrame(i));
  writer.Finish();
}

// Copies the packets of `in`'s one stream into `out` (container from its
// name) from its key frame `fromKey` (counting from 0) on, and, when `extra`
// is given, puts it in as a packet of its own before stored packet
// `extraBefore`, halfway in time between its neighbours (streams without
// B-frames).
void CopyPackets(const std::string& in, const std::string& out, int fromKey,
                 const std::string& extra = "", int extraBefore = -1) {
  AVFormatContext* input = nullptr;
  ASSERT_GE(avformat_open_input(&input, in.c_str(), nullptr, nullptr), 0);
  ASSERT_GE(avformat_find_stream_info(input, nullptr), 0);
  AVFormatContext* output = nullptr;
  ASSERT_GE(avformat_alloc_output_context2(&output, nullptr, nullptr, out.c_str()), 0);
  AVStream* stream = avformat_new_stream(output, nullptr);
  avcodec_parameters_copy(stream->codecpar, input->streams[0]->codecpar);
  stream->codecpar->codec_tag = 0;
  stream->time_base = input->streams[0]->time_base;
  ASSERT_GE(avio_open(&output->pb, out.c_str(), AVIO_FLAG_WRITE), 0);
  ASSERT_GE(avformat_write_header(output, nullptr), 0);
  const AVRational base = input->streams[0]->time_base;
  AVPacket* packet = av_packet_alloc();
  int keys = 0;
  int stored = 0;
  int64_t previous = 0;
  while (av_read_frame(input, packet) >= 0) {
    keys += (packet->flags & AV_PKT_FLAG_KEY) != 0;
    if (keys > fromKey) {
      if (stored++ == extraBefore) {
        AVPacket* inserted = av_packet_alloc();
        av_new_packet(inserted, static_cast<int>(extra.size()));
        std::copy(extra.begin(), extra.end(), inserted->data);
        inserted->pts = inserted->dts = (previous + packet->pts) / 2;
        av_packet_rescale_ts(inserted, base, stream->time_base);
        EXPECT_GE(av_write_frame(output, inserted), 0);
        av_packet_free(&inserted);
      }
      previous = packet->pts;
      packet->stream_index = 0;
      av_packet_rescale_ts(packet, base, stream->time_base);
      EXPECT_GE(av_write_frame(output, packet), 0);
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  EXPECT_GE(av_write_trailer(output), 0);
  avio_closep(&output->pb);
  avformat_free_context(output);
  avformat_close_input(&input);
}

MediaIndex DecodingIndex(const std::string& clip) {
  return IndexSerially(*OpenFileSource(clip), clip, true, 0);
}

void ExpectSameIndex(const std::optional<MediaIndex>& got, const MediaIndex& want) {
  ASSERT_TRUE(got);
  EXPECT_EQ(got->timestamps, want.timestamps);
  EXPECT_EQ(got->keyFrames, want.keyFrames);
  EXPECT_EQ(got->flaggedOrder, want.flaggedOrder);
  EXPECT_EQ(std::pair(got->width, got->height), std::pair(kWidth, kHeight));
}

TEST(MediaRoundTrip, QuickIndexesGiveTheSerialIndex) {
  av_log_set_level(AV_LOG_FATAL);
  TempDir dir;
  const std::string clip = dir.File("long.mkv");  // FFV1: every frame a key frame
  WriteClip(clip, 101);                           // 4 s, so up to 4 stretches
  const MediaIndex serial = DecodingIndex(clip);
  ASSERT_EQ(serial.timestamps.size(), 101u);
  for (int parts : {2, 3, 4, 16}) {
    SCOPED_TRACE(testing::Message() << parts << " stretches");
    ExpectSameIndex(IndexInParts(*OpenFileSource(clip), clip, parts), serial);
  }
  // Readers indexing in stretches find every frame exactly, in any order,
  // seeking by what they indexed.
  MediaReaderOptions options;
  options.indexThreads = 3;
  options.cacheBytes = 1;
  options.indexByDecoding = true;
  MediaReader reader(clip, options);
  ASSERT_EQ(reader.FrameCount(), 101);
  for (int number : {100, 3, 67, 34, 33, 0, 99, 50}) {
    EXPECT_EQ(reader.Frame(number)->pixels, MakeFrame(number).pixels) << "frame " << number;
  }
  EXPECT_THROW(reader.Frame(101), MediaError);
  // Too short for two stretches of a second, or frames that lean on others:
  // the caller indexes serially.
  const std::string brief = dir.File("brief.mkv");
  WriteClip(brief, 30);
  EXPECT_FALSE(IndexInParts(*OpenFileSource(brief), brief, 2));

  // Read from the packets (the real-material tests cover the common codecs):
  // one long GOP with B-frames, MPEG-2's open GOPs, FFV1 leaning on its key
  // frames; with the last stretch decoded (a key frame near the end) and not.
  struct Coded {
    std::string file, codec;
    CodecOptions settings;
    int frames;
    FieldOrder order;
  };
  // clang-format off
  const Coded kinds[] = {
      {"ffv1-gop.mkv", "ffv1", {{"g", "12"}}, 40, FieldOrder::kTopFirst},
      {"h264-one-gop.mp4", "libx264", {{"bf", "3"}, {"x264-params", "scenecut=0"}}, 60, FieldOrder::kProgressive},
      {"mpeg2-open.ts", "mpeg2video", {{"g", "6"}, {"bf", "2"}, {"flags", "-cgop"}}, 40, FieldOrder::kBottomFirst},
  };
  // clang-format on
  for (const Coded& kind : kinds) {
    if (!avcodec_find_encoder_by_name(kind.codec.c_str())) continue;
    SCOPED_TRACE(kind.file);
    MediaWriterOptions coding;
    coding.codec = kind.codec;
    coding.codecOptions = kind.settings;
    WriteClip(dir.File(kind.file), kind.frames, kind.order, coding);
    const MediaIndex decoded = DecodingIndex(dir.File(kind.file));
    ASSERT_EQ(decoded.timestamps.size(), static_cast<size_t>(kind.frames));
    ExpectSameIndex(IndexFromPackets(*OpenFileSource(dir.File(kind.file))), decoded);
  }

  // Not read from packets: a generated clip has none, MPEG-4 part 2 codes
  // some packets without a picture, and a decoder drops the leading
  // B-frames of a stream cut where its first GOP is open. Readers index
  // those by decoding.
  EXPECT_FALSE(IndexFromPackets(*OpenLavfiSource("lavfi:x", "testsrc2=duration=1")));
  MediaWriterOptions mpeg4;
  mpeg4.codec = "mpeg4";
  mpeg4.codecOptions = {{"bf", "2"}};
  WriteClip(dir.File("mpeg4.avi"), 20, FieldOrder::kProgressive, mpeg4);
  EXPECT_FALSE(IndexFromPackets(*OpenFileSource(dir.File("mpeg4.avi"))));
  const std::string cut = dir.File("cut.ts");
  CopyPackets(dir.File("mpeg2-open.ts"), cut, 1);
  PacketScan packets;
  ASSERT_TRUE(OpenFileSource(cut)->ScanPackets(packets));
  const size_t decoded = DecodingIndex(cut).timestamps.size();
  EXPECT_EQ(decoded, packets.timestamps.size() - 2);
  EXPECT_FALSE(IndexFromPackets(*OpenFileSource(cut)));
  EXPECT_EQ(MediaReader(cut).FrameCount(), static_cast<int>(decoded));
}

TEST(MediaRoundTrip, PacketsThatDisagreeWithTheirPicturesAreReported) {
  av_log_set_level(AV_LOG_FATAL);
  if (!avcodec_find_encoder_by_name("libx264")) GTEST_SKIP() << "no libx264 in this FFmpeg";
  TempDir dir;
  MediaWriterOptions h264;
  h264.codec = "libx264";
  h264.codecOptions = {{"g", "10"}, {"bf", "0"}, {"x264-params", "scenecut=0"}};
  WriteClip(dir.File("gop.mkv"), 60, FieldOrder::kProgressive, h264);
  // A packet of filler data between frames 24 and 25: no picture, and
  // nothing at the start or in the last stretch shows it.
  const std::string filler = {0, 0, 0, 4, 12, char(0xff), char(0xff), char(0x80)};
  const std::string damaged = dir.File("damaged.mkv");
  CopyPackets(dir.File("gop.mkv"), damaged, 0, filler, 25);
  MediaReader reader(damaged);
  ASSERT_EQ(reader.FrameCount(), 61);
  MediaReader original(dir.File("gop.mkv"));
  for (int number = 0; number < 25; ++number) {
    EXPECT_EQ(reader.Frame(number)->pixels, original.Frame(number)->pixels) << number;
  }
  // Frame 25 would be the packet without a picture; the decoder gives the
  // next frame, which must not be handed out as 25 or any later number.
  // The same error comes again on asking again.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      reader.Frame(27);
      ADD_FAILURE() << "frame 27 was handed out";
    } catch (const MediaError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(damaged + ": frame 25 decodes with time stamp", 0),
                0u)
          << error.what();
      EXPECT_NE(std::string(error.what()).find("CORVALIS_INDEX=decode"), std::string::npos);
    }
  }
  // In the last stretch, the check of the end finds it: indexed by decoding.
  const std::string lateDamage = dir.File("late.mkv");
  CopyPackets(dir.File("gop.mkv"), lateDamage, 0, filler, 55);
  EXPECT_FALSE(IndexFromPackets(*OpenFileSource(lateDamage)));
  EXPECT_EQ(MediaReader(lateDamage).FrameCount(), 60);
  // Indexed by decoding, the file is what its decoder gives.
  setenv("CORVALIS_INDEX", "decode", 1);
  MediaReader decoded(damaged);
  unsetenv("CORVALIS_INDEX");
  ASSERT_EQ(decoded.FrameCount(), 60);
  for (int number : {30, 59, 24, 25}) {
    EXPECT_EQ(decoded.Frame(number)->pixels, original.Frame(number)->pixels) << number;
  }
}

TEST(MediaRoundTrip, PlanarRgbRowsComeStraightFromThePlanes) {
  TempDir dir;
  MediaWriterOptions gbrp;
  gbrp.codec = "rawvideo";
  gbrp.pixelFormat = "gbrp";
  const std::string clip = dir.File("planar.nut");
  WriteClip(clip, 6, FieldOrder::kProgressive, gbrp);
  MediaReader reader(clip);
  // The bottom field's rows, 40 pixels of each, into rows with room to spare.
  constexpr int kPixels = 40;
  constexpr int kRowBytes = kWidth * 4 + 12;
  for (int number : {4, 1, 5}) {
    const VideoFrame expected = MakeFrame(number);
    EXPECT_EQ(reader.Frame(number)->pixels, expected.pixels) << "frame " << number;
    std::vector<uint8_t> rows(static_cast<size_t>(kRowBytes) * kHeight / 2, 7);
    reader.ReadRows(number, 1, 2, kHeight / 2, kPixels, rows.data(), kRowBytes);
    for (int y = 0; y < kHeight / 2; ++y) {
      const uint8_t* got = rows.data() + static_cast<size_t>(y) * kRowBytes;
      const uint8_t* want = expected.pixels.data() + static_cast<size_t>(2 * y + 1) * kWidth * 4;
      ASSERT_EQ(std::vector<uint8_t>(got, got + kPixels * 4),
                std::vector<uint8_t>(want, want + kPixels * 4))
          << "frame " << number << ", row " << 2 * y + 1;
      EXPECT_EQ(got[kPixels * 4], 7) << "row " << 2 * y + 1 << " written past its pixels";
    }
  }
}

}  // namespace
}  // namespace cli
