// The tool on the kinds of material users bring, each made by FFmpeg here
// (progressive and interlaced both ways, odd sizes down to one row, the
// camera, disc and phone codecs). The checks are properties of every file
// and render, not stored pictures, so that any new material can join.
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "cli/e2e/cli_fixture.h"
#include "cli/frame_source.h"
#include "cli/media_reader.h"
#include "cli/packet_index.h"

namespace {

using e2e::Has;

using cli::FieldOrder;
using cli::MediaReader;
using e2e::Result;

struct Material {
  std::string file;
  std::string make;  // ffmpeg arguments that make it
  FieldOrder order;  // as the tool must read it
};

// A generated picture whose every row and frame differ; fine for any size.
std::string Pattern(int width, int height) {
  return "-f lavfi -i nullsrc=s=" + std::to_string(width) + "x" + std::to_string(height) +
         ":r=25:d=0.4,format=gbrp,geq=r='mod(X*7+Y*50+N*11\\,256)':g='mod(X*3+Y*29+N*5\\,256)'"
         ":b='mod(X*Y+N*3\\,256)' -pix_fmt bgra -c:v ffv1";
}

// Ten frames of moving test pattern, interlaced from 50 pictures a second
// with `scan` first, or progressive at 25 when `scan` is empty.
std::string Moving(int width, int height, const std::string& scan, double seconds = 0.4) {
  std::string graph =
      "testsrc2=size=" + std::to_string(width + width % 2) + "x" +
      std::to_string(height + height % 2) + ":rate=" + (scan.empty() ? "25" : "50") +
      ":duration=" + std::to_string(seconds) + ",format=bgra,crop=" + std::to_string(width) + ":" +
      std::to_string(height) + ":0:0";
  if (!scan.empty()) graph += ",interlace=scan=" + scan;
  return "-f lavfi -i " + graph;
}

const std::vector<Material>& Materials() {
  // clang-format off
  static const std::vector<Material> materials = {
      {"ffv1-progressive.mkv", Moving(64, 48, "") + " -c:v ffv1 -pix_fmt bgra", FieldOrder::kProgressive},
      {"ffv1-tff.mkv", Moving(64, 48, "tff") + " -c:v ffv1 -pix_fmt bgra -field_order tt", FieldOrder::kTopFirst},
      {"ffv1-odd-bff.mkv", Moving(37, 23, "bff") + " -c:v ffv1 -pix_fmt bgra -field_order bb", FieldOrder::kBottomFirst},
      {"ffv1-1-row.mkv", Pattern(16, 1), FieldOrder::kProgressive},
      {"ffv1-2-rows-tff.mkv", Pattern(17, 2) + " -field_order tt", FieldOrder::kTopFirst},
      {"ffv1-3-rows-bff.mkv", Pattern(15, 3) + " -field_order bb", FieldOrder::kBottomFirst},
      {"phone-h264-aac.mp4", Moving(64, 48, "") + " -f lavfi -i sine=frequency=440:duration=0.4 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest", FieldOrder::kProgressive},
      {"h264-long-gop-tff.mkv", Moving(128, 96, "tff", 1.2) + " -c:v libx264 -pix_fmt yuv420p -flags +ildct+ilme -top 1 -g 12 -bf 2", FieldOrder::kTopFirst},
      {"mpeg2-422-tff.mov", Moving(128, 96, "tff") + " -c:v mpeg2video -pix_fmt yuv422p -flags +ildct+ilme -top 1 -b:v 4M", FieldOrder::kTopFirst},
      {"dv-ntsc.dv", "-f lavfi -i testsrc2=size=720x480:rate=60000/1001:duration=0.2,interlace=scan=bff -c:v dvvideo -pix_fmt yuv411p", FieldOrder::kBottomFirst},
      {"dv-pal.dv", "-f lavfi -i testsrc2=size=720x576:rate=50:duration=0.2,interlace=scan=bff -c:v dvvideo -pix_fmt yuv420p", FieldOrder::kBottomFirst},
      // Top-first ProRes coded by fields in a .mov labelled "tb".
      {"prores-10bit-tb.mov", Moving(128, 96, "tff") + " -vf setfield=tff -c:v prores_ks -pix_fmt yuv422p10le -flags +ildct", FieldOrder::kTopFirst},
      {"xdcam-422.mxf", Moving(128, 96, "tff") + " -vf setfield=tff -c:v mpeg2video -pix_fmt yuv422p -profile:v 0 -level:v 5 -flags +ildct+ilme -top 1 -b:v 8M -g 12 -bf 2", FieldOrder::kTopFirst},
      {"avchd-h264-tff.mts", Moving(128, 96, "tff") + " -vf setfield=tff -c:v libx264 -pix_fmt yuv420p -flags +ildct+ilme -top 1 -bf 2", FieldOrder::kTopFirst},
      // Fields woven from pictures of BT.601 red (top) and blue (bottom), so
      // that each field's 4:2:0 chroma rows hold its own colour.
      {"ffv1-420-red-blue-fields.mkv", "-f lavfi -i nullsrc=s=64x24:r=50:d=0.4,format=yuv420p,geq=lum='if(mod(N\\,2)\\,41\\,81)':cb='if(mod(N\\,2)\\,240\\,90)':cr='if(mod(N\\,2)\\,110\\,240)',weave=first_field=top -c:v ffv1 -field_order tt", FieldOrder::kTopFirst},
      {"dvd-telecine.mpg", "-f lavfi -i testsrc2=size=720x480:rate=24000/1001:duration=0.5,telecine=pattern=23 -c:v mpeg2video -pix_fmt yuv420p -flags +ildct+ilme -top 1 -b:v 8M", FieldOrder::kTopFirst},
  };
  // clang-format on
  return materials;
}

const Material& MaterialNamed(const std::string& file) {
  return *std::find_if(Materials().begin(), Materials().end(),
                       [&](const Material& m) { return m.file == file; });
}

const char* const kModes[] = {"None", "TapeSim", "Interpolated", "Adaptive"};

// The rows of one field (0 the top field, 1 the bottom one) of a frame, or
// with `step` 1 all its rows.
std::vector<std::string> FieldRows(const cli::VideoFrame& frame, int parity, int step = 2) {
  std::vector<std::string> rows;
  for (int y = parity; y < frame.height; y += step) {
    const char* row = reinterpret_cast<const char*>(frame.pixels.data()) + y * frame.RowBytes();
    rows.emplace_back(row, frame.RowBytes());
  }
  return rows;
}

// True when the first rows of `shown` are those of `field` (a field put on
// the other field's lines of an odd-height frame has one row more or less).
bool SameRows(const std::vector<std::string>& shown, const std::vector<std::string>& field) {
  const size_t common = std::min(shown.size(), field.size());
  return common > 0 && std::equal(shown.begin(), shown.begin() + common, field.begin());
}

// The largest difference of any pixel's blue, green or red from its field's
// colour (`colours[0]` the top field's, as blue, green, red); the fields'
// rows alternate every `rows` rows.
int WorstDeparture(const cli::VideoFrame& frame, const int colours[2][3], int rows = 1) {
  int worst = 0;
  for (int y = 0; y < frame.height; ++y) {
    for (int x = 0; x < frame.width; ++x) {
      for (int k = 0; k < 3; ++k) {
        const int value = frame.pixels[(static_cast<size_t>(y) * frame.width + x) * 4 + k];
        worst = std::max(worst, std::abs(value - colours[y / rows % 2][k]));
      }
    }
  }
  return worst;
}

constexpr int kBlack[2][3] = {};

class RealMaterial : public e2e::CliFixture {
 protected:
  void SetUp() override {
    CliFixture::SetUp();
    av_log_set_level(AV_LOG_ERROR);  // not the DV demuxer's guesses at durations
  }
  void Make(const Material& material) const { Ffmpeg(material.make, material.file); }
  // Renders a project on `source` into OUT (FFV1, bit exact); `body` is what
  // the project holds besides its source.
  Result Render(const std::string& source, const std::string& body, const std::string& out,
                const std::string& options = "", const std::string& environment = "") const {
    Write("project.json",
          "{ \"source\": \"" + source + "\"" + (body.empty() ? "" : ", " + body) + " }");
    return Run("render " + Quoted("project.json") + " -o " + Quoted(out) + " -y " + options,
               environment);
  }
};

TEST_F(RealMaterial, FullSpeedGivesTheSourceBackAndHalfSpeedShowsOnlySourceFieldsInOrder) {
  for (const Material& material : Materials()) {
    SCOPED_TRACE(material.file);
    ASSERT_NO_FATAL_FAILURE(Make(material));
    const std::string path = Path(material.file);
    MediaReader source(path);
    ASSERT_EQ(source.GetFieldOrder(), material.order);
    // Read from the packets, the index is the one decoding makes.
    const std::optional<cli::MediaIndex> packets =
        cli::IndexFromPackets(*cli::OpenFileSource(path));
    ASSERT_TRUE(packets);
    const cli::MediaIndex decoded = cli::IndexSerially(*cli::OpenFileSource(path), path, true, 0);
    EXPECT_EQ(packets->timestamps, decoded.timestamps);
    EXPECT_EQ(packets->keyFrames, decoded.keyFrames);
    EXPECT_EQ(packets->flaggedOrder, decoded.flaggedOrder);
    for (const char* mode : kModes) {
      SCOPED_TRACE(mode);
      // No video type or field order: the tool takes them from the file.
      const Result render =
          Render(material.file, std::string("\"parameters\": {\"deinterlace\": \"") + mode + "\"}",
                 "out.mkv");
      ASSERT_EQ(render.exitCode, 0) << render.err;
      MediaReader output(Path("out.mkv"));
      ASSERT_EQ(output.FrameCount(), source.FrameCount());
      EXPECT_EQ(output.GetFieldOrder(), material.order);
      for (int f = 0; f < source.FrameCount(); ++f) {
        ASSERT_TRUE(output.Frame(f)->pixels == source.Frame(f)->pixels) << "frame " << f;
      }
    }

    const Result render = Render(
        material.file,
        "\"parameters\": {\"deinterlace\": \"None\"}, \"keys\": [{\"frame\": 0, \"speed\": 50}]",
        "slow.mkv");
    ASSERT_EQ(render.exitCode, 0) << render.err;
    MediaReader output(Path("slow.mkv"));
    const bool progressive = material.order == FieldOrder::kProgressive;
    // The pictures shown: a progressive frame whole, an interlaced one's
    // fields in the order they were shot.
    const int first = material.order == FieldOrder::kBottomFirst ? 1 : 0;
    using Pictures = std::vector<std::vector<std::string>>;
    auto pictures = [&](const cli::VideoFrame& frame) {
      return progressive ? Pictures{FieldRows(frame, 0, 1)}
                         : Pictures{FieldRows(frame, first), FieldRows(frame, 1 - first)};
    };
    Pictures shot;
    for (int f = 0; f < source.FrameCount(); ++f) {
      for (auto& picture : pictures(*source.Frame(f))) shot.push_back(std::move(picture));
    }
    size_t latest = 0;
    int repeated = 0;  // output frames equal to the one before: slow motion
    for (int f = 0; f < output.FrameCount(); ++f) {
      const auto frame = output.Frame(f);
      for (const std::vector<std::string>& shown : pictures(*frame)) {
        auto same = [&](const std::vector<std::string>& picture) {
          return SameRows(shown, picture);
        };
        // Pictures taken in the wrong order would play back and forth, so the
        // one shown is looked for from the latest one on (small pictures of
        // the test pattern repeat fields).
        const auto onwards = std::find_if(shot.begin() + latest, shot.end(), same);
        ASSERT_TRUE(std::any_of(shot.begin(), shot.end(), same))
            << "output frame " << f << " shows no source picture";
        EXPECT_TRUE(onwards != shot.end()) << "output frame " << f << " plays back in time";
        if (onwards != shot.end()) latest = static_cast<size_t>(onwards - shot.begin());
      }
      repeated += f > 0 && frame->pixels == output.Frame(f - 1)->pixels;
    }
    // Progressive frames repeat at half speed; interlaced ones show each
    // field twice, on both lines.
    EXPECT_GE(repeated, progressive ? output.FrameCount() / 3 : 0);
  }
}

TEST_F(RealMaterial, ReversePlayOverLongGopIsTheReversePlayOfALosslessCopy) {
  const Material& gop = MaterialNamed("h264-long-gop-tff.mkv");
  ASSERT_NO_FATAL_FAILURE(Make(gop));
  ASSERT_NO_FATAL_FAILURE(Ffmpeg("-i " + gop.file + " -c:v ffv1 -field_order tt", "copy.mkv"));
  MediaReader source(Path(gop.file));
  const int last = source.FrameCount() - 1;
  const std::string reverse =
      "\"parameters\": {\"deinterlace\": \"Adaptive\"}, \"keys\": "
      "[{\"frame\": " +
      std::to_string(last) + ", \"speed\": -100}]";
  ASSERT_EQ(Render(gop.file, reverse, "from-gop.mkv").exitCode, 0);
  ASSERT_EQ(Render("copy.mkv", reverse, "from-copy.mkv").exitCode, 0);
  MediaReader fromGop(Path("from-gop.mkv"));
  MediaReader fromCopy(Path("from-copy.mkv"));
  ASSERT_EQ(fromGop.FrameCount(), source.FrameCount());
  for (int f = 0; f <= last; ++f) {
    ASSERT_TRUE(fromGop.Frame(f)->pixels == fromCopy.Frame(f)->pixels) << "frame " << f;
  }
  // Played backwards: the first output field is the last frame's first field.
  EXPECT_EQ(FieldRows(*fromGop.Frame(0), 0), FieldRows(*source.Frame(last), 0));
  EXPECT_EQ(FieldRows(*fromGop.Frame(5), 0), FieldRows(*source.Frame(last - 5), 0));
}

TEST_F(RealMaterial, EffectLongerThanItsClipIsBlackPastTheEnd) {
  for (const Material& material : {Materials()[0], Materials()[1]}) {
    SCOPED_TRACE(material.file);
    ASSERT_NO_FATAL_FAILURE(Make(material));
    MediaReader source(Path(material.file));
    const int frames = source.FrameCount();
    // At full speed three frames past the clip; at half speed a slow-motion
    // effect twice the clip's length and one frame more.
    for (const auto& [speed, length] :
         {std::pair{100, frames + 3}, std::pair{50, 2 * frames + 1}}) {
      SCOPED_TRACE(speed);
      const Result render =
          Render(material.file,
                 "\"frames\": " + std::to_string(length) +
                     ", \"keys\": [{\"frame\": 0, \"speed\": " + std::to_string(speed) + "}]",
                 "long.mkv");
      ASSERT_EQ(render.exitCode, 0) << render.err;
      EXPECT_TRUE(Has(render.err, "is longer than its source"));
      MediaReader output(Path("long.mkv"));
      ASSERT_EQ(output.FrameCount(), length);
      const int firstBlack = speed == 100 ? frames : 2 * frames;
      for (int f = 0; f < length; ++f) {
        EXPECT_EQ(WorstDeparture(*output.Frame(f), kBlack) == 0, f >= firstBlack) << "frame " << f;
      }
      if (speed == 100) {
        EXPECT_TRUE(output.Frame(frames - 1)->pixels == source.Frame(frames - 1)->pixels);
      }
    }
  }
}

TEST_F(RealMaterial, SameBytesWhateverTheHeapHeldAndHoweverManyThreads) {
  for (const Material& material :
       {MaterialNamed("ffv1-odd-bff.mkv"), MaterialNamed("h264-long-gop-tff.mkv"),
        MaterialNamed("dv-pal.dv")}) {
    SCOPED_TRACE(material.file);
    ASSERT_NO_FATAL_FAILURE(Make(material));
    // Full speed, then slow with a hold, then fast: repeated, mixed and
    // adaptively interpolated fields.
    const int frames = MediaReader(Path(material.file)).FrameCount();
    const std::string ramp =
        "\"parameters\": {\"deinterlace\": \"Adaptive\", \"blending\": true}, \"keys\": "
        "[{\"frame\": 0, \"speed\": 100}, {\"frame\": " +
        std::to_string(frames / 3) +
        ", \"speed\": 35, \"hold\": 3}, {\"frame\": " + std::to_string(frames - 1) +
        ", \"speed\": 140}]";
    ASSERT_EQ(Render(material.file, ramp, "plain.mkv").exitCode, 0);
    const std::string plain = Read(Path("plain.mkv"));
    ASSERT_GT(plain.size(), 1000u);
    for (const auto& [options, environment] :
         {std::pair<std::string, std::string>{"", "MALLOC_PERTURB_=85"},
          {"--jobs 2", ""},
          {"--jobs 3", "MALLOC_PERTURB_=170"}}) {
      SCOPED_TRACE(options + " " + environment);
      ASSERT_EQ(Render(material.file, ramp, "again.mkv", options, environment).exitCode, 0);
      EXPECT_TRUE(Read(Path("again.mkv")) == plain);
    }
  }
}

TEST_F(RealMaterial, InterlacedChromaKeepsEachFieldsColour) {
  const Material& fields = MaterialNamed("ffv1-420-red-blue-fields.mkv");
  ASSERT_NO_FATAL_FAILURE(Make(fields));
  const int redAndBlue[2][3] = {{0, 0, 255}, {255, 0, 0}};
  // Read, and written back to interlaced 4:2:0, each field keeps its colour,
  // read by the tool and by FFmpeg taking the fields apart.
  ASSERT_EQ(Render(fields.file, "", "out420.mkv", "--pix-fmt yuv420p").exitCode, 0);
  MediaReader source(Path(fields.file));
  MediaReader output(Path("out420.mkv"));
  ASSERT_EQ(output.FrameCount(), source.FrameCount());
  for (int f = 0; f < output.FrameCount(); ++f) {
    EXPECT_LE(WorstDeparture(*source.Frame(f), redAndBlue), 3) << "source frame " << f;
    EXPECT_LE(WorstDeparture(*output.Frame(f), redAndBlue), 3) << "output frame " << f;
  }
  ASSERT_NO_FATAL_FAILURE(
      Ffmpeg("-i out420.mkv -vf separatefields,format=bgra -f rawvideo", "fields.bgra"));
  const std::string apart = Read(Path("fields.bgra"));
  ASSERT_EQ(apart.size(), 64u * 48 * 4 * output.FrameCount());
  cli::VideoFrame pair;  // one output frame's two fields, the top one above
  pair.width = 64;
  pair.height = 48;
  for (int f = 0; f < output.FrameCount(); ++f) {
    pair.pixels.assign(apart.begin() + f * 64 * 48 * 4, apart.begin() + (f + 1) * 64 * 48 * 4);
    EXPECT_LE(WorstDeparture(pair, redAndBlue, 24), 3) << "frame " << f;
  }
}

TEST_F(RealMaterial, TelecinedDvdHasItsPhaseDetected) {
  const Material& dvd = MaterialNamed("dvd-telecine.mpg");
  ASSERT_NO_FATAL_FAILURE(Make(dvd));
  Write("telecine.json", "{ \"source\": \"" + dvd.file +
                             "\", \"parameters\": {\"inputMode\": \"3:2\", "
                             "\"outputMode\": \"Progressive\"} }");
  const Result phase = Run("phase " + Quoted("telecine.json") + " --frame 10 --detect input --ok");
  ASSERT_EQ(phase.exitCode, 0) << phase.err;
  // The pattern repeats field 4 of every five from frame 10's first field on.
  EXPECT_TRUE(Has(phase.out, "frame 11, 12, Odd field: phase = 4\n"));
  EXPECT_TRUE(Has(phase.out, "input phase code: 5 (A)\n"));
}

}  // namespace
