#include "cli/media_reader.h"

#include <gtest/gtest.h>

#include "cli/tests/temp_dir.h"

namespace cli {
namespace {

std::string ErrorOf(const std::string& source, MediaReaderOptions options = {}) {
  try {
    MediaReader reader(source, options);
  } catch (const MediaError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(MediaReader, LavfiClipsHaveTheirSizeCountRateAndFieldOrderAndSeekBack) {
  MediaReaderOptions tiny;
  tiny.cacheBytes = 1;
  MediaReader reader("lavfi:testsrc2=size=64x48:rate=25:duration=2", tiny);
  EXPECT_EQ(reader.Width(), 64);
  EXPECT_EQ(reader.Height(), 48);
  EXPECT_EQ(reader.FrameCount(), 50);
  EXPECT_EQ(reader.FrameRate().num, 25);
  EXPECT_EQ(reader.FrameRate().den, 1);
  EXPECT_EQ(reader.GetFieldOrder(), FieldOrder::kProgressive);
  const PixelBuffer late = reader.Frame(30)->pixels;
  ASSERT_EQ(late.size(), 64u * 48 * 4);
  for (size_t i = 3; i < late.size(); i += 4) ASSERT_EQ(late[i], 255);
  // Going back runs the graph again; the frames are the same.
  const PixelBuffer early = reader.Frame(3)->pixels;
  EXPECT_NE(late, early);
  EXPECT_EQ(reader.Frame(30)->pixels, late);
  EXPECT_EQ(MediaReader("lavfi:testsrc2=size=64x48:rate=25:duration=2").Frame(3)->pixels, early);

  MediaReader woven("lavfi:testsrc2=size=64x48:rate=50:duration=1,tinterlace=mode=interleave_top");
  EXPECT_EQ(woven.FrameCount(), 25);
  EXPECT_DOUBLE_EQ(woven.FrameRateValue(), 25.0);
  EXPECT_EQ(woven.GetFieldOrder(), FieldOrder::kTopFirst);
}

TEST(MediaReader, EndlessLavfiGraphIsRefused) {
  MediaReaderOptions options;
  options.lavfiFrameLimit = 20;
  std::string message = ErrorOf("lavfi:testsrc2=size=16x16:rate=25", options);
  EXPECT_EQ(message.rfind(
                "lavfi:testsrc2=size=16x16:rate=25: the filtergraph gives more than 20 frames", 0),
            0u)
      << message;
  EXPECT_NE(message.find("duration"), std::string::npos) << message;
}

// A short PCM sound file: a real media file without any picture.
std::string SoundFile() {
  std::string samples(800, '\0');
  auto u32 = [](uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
  };
  auto u16 = [](uint16_t v) { return std::string{char(v), char(v >> 8)}; };
  return "RIFF" + u32(36 + samples.size()) + "WAVEfmt " + u32(16) + u16(1) + u16(1) + u32(8000) +
         u32(16000) + u16(2) + u16(16) + "data" + u32(samples.size()) + samples;
}

TEST(MediaReader, BadSourcesAreNamedWithTheProblem) {
  TempDir dir;
  std::string text = dir.Write("x.txt", "just some words, not a picture\n");
  std::string sound = dir.Write("x.wav", SoundFile());
  std::string missing = dir.File("clip.mov");
  struct Case {
    std::string source, message;
  } cases[] = {
      {missing, missing + ": No such file or directory"},
      {text, text + ": not a video file"},
      {sound, sound + ": no video stream"},
      {dir.Path().string(), dir.Path().string() + ": is a folder, not a video file"},
      {"lavfi:", "lavfi:: no filtergraph after \"lavfi:\""},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorOf(c.source), c.message);
  EXPECT_EQ(ErrorOf("lavfi:nosuchfilter=1").rfind("lavfi:nosuchfilter=1: invalid filtergraph: ", 0),
            0u);
  EXPECT_EQ(ErrorOf("lavfi:sine=duration=1"),
            "lavfi:sine=duration=1: the filtergraph gives no video");
}

}  // namespace
}  // namespace cli
