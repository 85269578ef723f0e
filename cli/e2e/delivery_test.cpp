// The way in and out as a new user meets it, on clips FFmpeg makes here: what
// the tool says it assumed, the codec each container gets and how it is
// flagged, the source's tags carried over (colour, pixel aspect, time code,
// rotation), what is said about what is not (sound, variable frame rate),
// and simple jobs keyed on the command line, sized so the clip plays once.
#include <algorithm>
#include <string>

#include "cli/e2e/cli_fixture.h"
#include "cli/media_reader.h"

namespace {

using e2e::Has;

using cli::MediaReader;
using e2e::Result;

// 0.4 s of moving test picture: ten frames interlaced top first from 50
// pictures a second (the frames flagged so), or progressive at 25.
std::string Clip(int width, int height, bool interlaced, const std::string& seconds = "0.4") {
  return "-f lavfi -i testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
         ":rate=" + (interlaced ? "50" : "25") + ":duration=" + seconds +
         (interlaced ? ",interlace=scan=tff -vf setfield=tff" : "");
}

class Delivery : public e2e::CliFixture {};

TEST_F(Delivery, SaysWhatItAssumedAndTrustsTheFramesOverTheContainer) {
  struct Case {
    const char *file, *options, *container, *assumed;
  };
  // clang-format off
  const Case cases[] = {
      // A plain transcode of top-first material to ProRes codes whole frames
      // (they say nothing) and labels the container "tb", as FFmpeg's tools
      // label top-first frames.
      {"tb.mov", " -c:v prores_ks", "tb", "top field first (the container)"},
      // Frames coded by fields say top first; a container retagged "bb" is wrong.
      {"bb.mov", " -c:v prores_ks -flags +ildct -field_order bb", "bb", "top field first (the frames' flags; the container says bottom field first)"},
  };
  // clang-format on
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Ffmpeg(Clip(128, 96, true) + c.options, c.file));
    ASSERT_EQ(Probe(c.file, "stream=field_order"),
              std::string("field_order=") + c.container + "\n");
    const Result render = Run(std::string("render ") + c.file + " -o slow.mkv -y --speed 50");
    ASSERT_EQ(render.exitCode, 0) << render.err;
    EXPECT_TRUE(Has(render.err, std::string(c.file) + ": 128x96 at 25 fps, interlaced, " +
                                    c.assumed + "; 10 source frames; effect 20 frames\n"))
        << render.err;
    EXPECT_EQ(Probe("slow.mkv", "stream=field_order"), "field_order=tt\n");
  }
  const Result quiet = Run("render tb.mov -o quiet.mkv --speed 50 -q");
  ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
  EXPECT_FALSE(Has(quiet.err, "source frames"));
  EXPECT_FALSE(Has(quiet.err, "frames written"));
}

TEST_F(Delivery, EachContainerGetsACodecThatFitsFlaggedAsItsScan) {
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(Clip(128, 96, true) + " -c:v ffv1", "tff.mkv"));
  // clang-format off
  struct Case {
    std::string output, options;
    std::string expected;  // ffprobe lines, in its order
  } cases[] = {
      {"hq.mov", "", "codec_name=prores\nprofile=HQ\npix_fmt=yuv422p10le\nfield_order=tt\n"},
      {"web.mp4", "", "codec_name=h264\nprofile=High\npix_fmt=yuv420p\nfield_order=tt\n"},
      {"xdcam.mxf", "", "codec_name=mpeg2video\nprofile=4:2:2\npix_fmt=yuv422p\nfield_order=tt\n"},
      {"named.mkv", "--codec h264 --crf 30", "codec_name=h264\nprofile=High\npix_fmt=yuv420p\nfield_order=tt\n"},
      {"prores.mov", "--codec prores --codec-option profile=lt", "codec_name=prores\nprofile=LT\npix_fmt=yuv422p10le\nfield_order=tt\n"},
      {"progressive.mov", "--set outputMode=Progressive", "codec_name=prores\nprofile=HQ\npix_fmt=yuv422p10le\nfield_order=progressive\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    const Result render = Run("render tff.mkv -o " + c.output + " -q " + c.options);
    ASSERT_EQ(render.exitCode, 0) << render.err;
    EXPECT_EQ(Probe(c.output, "stream=codec_name,profile,pix_fmt,field_order"), c.expected);
    EXPECT_EQ(MediaReader(Path(c.output)).FrameCount(), 10);
  }
  // Encoder settings go through; ones the encoder lacks are refused by name.
  ASSERT_EQ(Run("render tff.mkv -o gop.mp4 -q --codec-option g=2 --codec-option bf=0").exitCode, 0);
  EXPECT_EQ(Probe("gop.mp4", "stream=has_b_frames"), "has_b_frames=0\n");
  const Result unknown = Run("render tff.mkv -o bad.mp4 --codec-option nosuch=1");
  EXPECT_NE(unknown.exitCode, 0);
  EXPECT_TRUE(Has(unknown.err, "bad.mp4: the codec libx264 has no setting nosuch"));
}

TEST_F(Delivery, DnxhdAndDvTakeOnlyWhatTheirStandardsAllow) {
  // DNxHD at 1080i 25: a bit rate of its tables is chosen.
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(Clip(1920, 1080, true, "0.08") + " -c:v ffv1", "hd.mkv"));
  ASSERT_EQ(Run("render hd.mkv -o hd.mxf -q --codec dnxhd").exitCode, 0);
  EXPECT_EQ(Probe("hd.mxf", "stream=codec_name,profile,pix_fmt"),
            "codec_name=dnxhd\nprofile=DNXHD\npix_fmt=yuv422p\n");
  EXPECT_TRUE(Has(Probe("hd.mxf", "frame=interlaced_frame,top_field_first"),
                  "interlaced_frame=1\ntop_field_first=1\n"));
  // Other sizes get DNxHR, which takes any size but codes no fields apart.
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(Clip(256, 144, true) + " -c:v ffv1", "small-hd.mkv"));
  ASSERT_EQ(Run("render small-hd.mkv -o dnxhr.mov -q --codec dnxhd").exitCode, 0);
  EXPECT_EQ(Probe("dnxhr.mov", "stream=codec_name,profile"),
            "codec_name=dnxhd\nprofile=DNXHR HQ\n");
  const Result wrongRate = Run("render hd.mkv -o bad.mov --codec dnxhd --codec-option b=50M");
  EXPECT_NE(wrongRate.exitCode, 0);
  EXPECT_TRUE(Has(wrongRate.err, "DNxHD takes only the bit rates its tables give"));
  // DV by its standard: NTSC in 4:1:1 without asking, 16:9 PAL keeps its
  // pixel aspect; other sizes get one line.
  ASSERT_NO_FATAL_FAILURE(
      Ffmpeg("-f lavfi -i testsrc2=size=720x480:rate=60000/1001:duration=0.2,interlace=scan=bff "
             "-c:v dvvideo -pix_fmt yuv411p",
             "ntsc.dv"));
  ASSERT_EQ(Run("render ntsc.dv -o out-ntsc.dv -q").exitCode, 0);
  EXPECT_EQ(Probe("out-ntsc.dv", "stream=pix_fmt,width,height"),
            "width=720\nheight=480\npix_fmt=yuv411p\n");
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(
      "-f lavfi -i testsrc2=size=720x576:rate=50:duration=0.2,interlace=scan=bff -aspect 16:9 "
      "-c:v dvvideo -pix_fmt yuv420p",
      "wide.dv"));
  for (const char* output : {"wide-out.dv", "wide-out.mov"}) {
    ASSERT_EQ(Run(std::string("render wide.dv -q -o ") + output).exitCode, 0);
    EXPECT_EQ(Probe(output, "stream=sample_aspect_ratio"), "sample_aspect_ratio=64:45\n") << output;
  }
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(Clip(128, 96, true) + " -c:v ffv1", "small.mkv"));
  const Result refused = Run("render small.mkv -o small.dv");
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_TRUE(Has(refused.err,
                  "small.dv: DV holds 720x480 at 30000/1001 (NTSC) or 720x576 at "
                  "25 (PAL), not 128x96 at 25"));
}

TEST_F(Delivery, TheSourcesTagsAndTimeCodeAreKept) {
  // High-definition colour on a small picture, which untagged would be
  // taken for standard definition.
  ASSERT_NO_FATAL_FAILURE(
      Ffmpeg(Clip(128, 96, true) +
                 ",setparams=colorspace=bt709:color_primaries=bt709:color_trc=bt709 -c:v "
                 "prores_ks -flags +ildct -timecode 10:00:00:00",
             "camera.mov"));
  const Result render = Run("render camera.mov -o graded.mov --speed 50");
  ASSERT_EQ(render.exitCode, 0) << render.err;
  EXPECT_TRUE(Has(render.err, "; time code 10:00:00:00 (the source's)"));
  EXPECT_EQ(Probe("graded.mov",
                  "stream=color_range,color_space,color_transfer,color_primaries:stream_tags="
                  "timecode"),
            "color_range=tv\ncolor_space=bt709\ncolor_transfer=bt709\ncolor_primaries=bt709\n"
            "TAG:timecode=10:00:00:00\n");
  // A part of the output starts at its own time code; a project's own
  // "Source TC Start" wins over the source's.
  ASSERT_EQ(Run("render camera.mov -o part.mkv -q --range 5-9").exitCode, 0);
  EXPECT_EQ(Probe("part.mkv", "stream_tags=timecode"), "TAG:TIMECODE=10:00:00:05\n");
  const Result own = Run("render camera.mov -o own.mxf --set timeCode=01:00:00:00");
  ASSERT_EQ(own.exitCode, 0) << own.err;
  EXPECT_TRUE(Has(own.err, "; time code 01:00:00:00 (the project's)"));
  EXPECT_TRUE(Has(Shell("ffprobe -v error -show_entries format_tags=timecode own.mxf").out,
                  "timecode=01:00:00:00"));
}

TEST_F(Delivery, SaysWhatIsNotCarriedOver) {
  // Phone video: sound, turned pictures, a variable frame rate.
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(Clip(64, 48, false) +
                                     " -f lavfi -i sine=duration=0.4 -c:v libx264 -c:a aac "
                                     "-shortest",
                                 "sound.mp4"));
  ASSERT_NO_FATAL_FAILURE(Ffmpeg("-i sound.mp4 -c copy -metadata:s:v:0 rotate=90", "turned.mp4"));
  const Result turned = Run("render turned.mp4 -o turned-out.mp4");
  ASSERT_EQ(turned.exitCode, 0) << turned.err;
  const std::string sound = "the sound (1 audio stream) is not carried over";
  EXPECT_EQ(std::count(turned.err.begin(), turned.err.end(), '\n'), 4) << turned.err;
  EXPECT_TRUE(Has(turned.err, "turned.mp4: " + sound));
  EXPECT_TRUE(Has(turned.err, "marked to be shown rotated by 90 degrees"));
  EXPECT_TRUE(Has(Probe("turned-out.mp4", "stream_side_data=rotation"), "rotation=90"));

  // Three seconds: a second of 25 frames, then two of 5 frames a second.
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(
      "-f lavfi -i testsrc2=size=64x48:rate=25:duration=3 -vf "
      "\"select='lt(t\\,1)+eq(mod(n\\,5)\\,0)',setpts='if(lt(N\\,25)\\,N/25\\,1+(N-25)*0.2)/TB'\" "
      "-fps_mode vfr -c:v libx264",
      "vfr.mp4"));
  const Result vfr = Run("render vfr.mp4 -o vfr.mkv");
  ASSERT_EQ(vfr.exitCode, 0) << vfr.err;
  EXPECT_TRUE(Has(vfr.err, "vfr.mp4: variable frame rate: the clip runs"));
  EXPECT_TRUE(Has(vfr.err, "35 frames last 1.40 s at 25 fps"));
}

TEST_F(Delivery, AClipKeyedOnTheCommandLinePlaysOnce) {
  ASSERT_NO_FATAL_FAILURE(Ffmpeg(Clip(64, 48, true) + " -c:v ffv1", "clip.mkv"));
  // The whole clip plays once: slowed, the output is longer (shown above);
  // sped up, the effect keeps the clip's length and the output ends with it.
  for (const auto& [speed, frames] : {std::pair{"100", 10}, {"200", 5}}) {
    SCOPED_TRACE(speed);
    ASSERT_EQ(Run(std::string("render clip.mkv -o out.mkv -y -q --speed ") + speed).exitCode, 0);
    EXPECT_EQ(MediaReader(Path("out.mkv")).FrameCount(), frames);
  }
  // Waypoints at source frames, saved as the project they mean: rendering
  // that gives the same bytes.
  const Result keyed =
      Run("render clip.mkv -o keyed.mkv -q --key 0:100 --key 4:25:hold=3 --key 9:100:strobe=2 "
          "--set deinterlace=None --save-project job.json");
  ASSERT_EQ(keyed.exitCode, 0) << keyed.err;
  const std::string saved = Read(Path("job.json"));
  EXPECT_TRUE(Has(saved, "\"source\": \"clip.mkv\""));
  EXPECT_TRUE(Has(saved, "\"frame\": 4"));
  EXPECT_TRUE(Has(saved, "\"deinterlace\": \"None\""));
  ASSERT_EQ(Run("render job.json -o again.mkv -q").exitCode, 0);
  EXPECT_TRUE(Read(Path("again.mkv")) == Read(Path("keyed.mkv")));
  const Result late = Run("render clip.mkv -o late.mkv --key 12:50");
  EXPECT_NE(late.exitCode, 0);
  EXPECT_TRUE(Has(late.err, "--key 12:50: source frame 12 is past the clip's last frame (9)"));
  const Result still = Run("render clip.mkv -o still.mkv --speed 0");
  EXPECT_NE(still.exitCode, 0);
  EXPECT_TRUE(Has(still.err, "give the length with --frames"));
}

}  // namespace
