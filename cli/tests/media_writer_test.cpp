#include "cli/media_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/tests/temp_dir.h"

namespace cli {
namespace {

std::vector<uint8_t> GreyFrame() { return std::vector<uint8_t>(16 * 16 * 4, 128); }

MediaWriter OpenWriter(const std::string& path, MediaWriterOptions options = {}) {
  return MediaWriter(path, 16, 16, Rational{25, 1}, FieldOrder::kProgressive, options);
}

std::string ErrorOfOpening(const std::string& path, MediaWriterOptions options = {}) {
  try {
    OpenWriter(path, options);
  } catch (const MediaError& error) {
    return error.what();
  }
  return "(no error)";
}

size_t EntriesIn(const TempDir& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

TEST(MediaWriter, AnOutputIsReplacedAtFinishOnlyWhenAskedAndNeverOneThatAppeared) {
  TempDir dir;
  std::string out = dir.Write("out.mkv", "precious");
  EXPECT_EQ(ErrorOfOpening(out), out + ": already exists (use -y to overwrite)");
  EXPECT_EQ(ReadBytes(out), "precious");

  MediaWriterOptions overwrite;
  overwrite.overwrite = true;
  MediaWriter writer = OpenWriter(out, overwrite);
  writer.Write(GreyFrame().data(), 16 * 4);
  EXPECT_EQ(ReadBytes(out), "precious") << "replaced before Finish";
  writer.Finish();
  EXPECT_NE(ReadBytes(out), "precious");
  EXPECT_EQ(writer.FramesWritten(), 1);
  EXPECT_EQ(EntriesIn(dir), 1u);

  std::string late = dir.File("late.mkv");
  MediaWriter unaware = OpenWriter(late);
  unaware.Write(GreyFrame().data(), 16 * 4);
  dir.Write("late.mkv", "someone else's");
  EXPECT_THROW(unaware.Finish(), MediaError);
  EXPECT_EQ(ReadBytes(late), "someone else's");
  EXPECT_EQ(EntriesIn(dir), 2u);
}

TEST(MediaWriter, AbortAndUnfinishedWritersLeaveNoFile) {
  TempDir dir;
  {
    MediaWriter writer = OpenWriter(dir.File("aborted.mkv"));
    writer.Write(GreyFrame().data(), 16 * 4);
    writer.Abort();
    EXPECT_THROW(writer.Write(GreyFrame().data(), 16 * 4), MediaError);
  }
  {
    MediaWriter writer = OpenWriter(dir.File("dropped.mkv"));
    writer.Write(GreyFrame().data(), 16 * 4);
  }
  EXPECT_EQ(EntriesIn(dir), 0u);
}

TEST(MediaWriter, RefusesOutputsItCannotOrMustNotWrite) {
  TempDir dir;
  std::string source = dir.Write("source.mkv", "the source clip");
  MediaWriterOptions fromSource;
  fromSource.overwrite = true;
  fromSource.sourcePaths = {"lavfi:testsrc2", dir.File("./source.mkv")};
  EXPECT_EQ(ErrorOfOpening(source, fromSource),
            source + ": is the source clip; choose another output");
  EXPECT_EQ(ReadBytes(source), "the source clip");

  std::string folder = dir.File("no-such-folder");
  EXPECT_EQ(ErrorOfOpening(folder + "/out.mkv"),
            folder + "/out.mkv: cannot create a file in " + folder + ": No such file or directory");
  EXPECT_EQ(ErrorOfOpening(dir.File("out.xyz")),
            dir.File("out.xyz") + ": no container is known for the extension .xyz");
  MediaWriterOptions badCodec;
  badCodec.codec = "no-such-codec";
  EXPECT_EQ(ErrorOfOpening(dir.File("out.mkv"), badCodec),
            dir.File("out.mkv") + ": no video encoder named no-such-codec");
  EXPECT_EQ(EntriesIn(dir), 1u);
}

}  // namespace
}  // namespace cli
