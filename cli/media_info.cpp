#include "cli/media_info.h"

#include <cmath>
#include <cstring>

#include "cli/frame_source.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libavutil/timecode.h>
}

namespace cli {
namespace {

struct InputCloser {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};

// A time code as the effect reads it: "." (drop frame in some writers) as ";".
std::string TimeCodeText(const char* text) {
  std::string code = text ? text : "";
  for (char& c : code) {
    if (c == '.') c = ';';
  }
  const bool shaped =
      code.size() == 11 && code[2] == ':' && code[5] == ':' && (code[8] == ':' || code[8] == ';');
  return shaped ? code : "";
}

}  // namespace

MediaInfo ReadMediaInfo(const std::string& path) {
  MediaInfo info;
  AVFormatContext* opened = nullptr;
  const std::string url = "file:" + path;
  int result = avformat_open_input(&opened, url.c_str(), nullptr, nullptr);
  if (result < 0) throw FileError(path, AvErrorText(result));
  std::unique_ptr<AVFormatContext, InputCloser> format(opened);
  result = avformat_find_stream_info(format.get(), nullptr);
  if (result < 0) throw FileError(path, "cannot read the streams: " + AvErrorText(result));
  const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) throw FileError(path, "no video stream");
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    info.audioStreams += format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
  }
  AVStream* stream = format->streams[index];
  const AVCodecParameters& video = *stream->codecpar;
  info.colorPrimaries = EnumValue(video.color_primaries);
  info.colorTransfer = EnumValue(video.color_trc);
  info.colorSpace = EnumValue(video.color_space);
  info.colorRange = EnumValue(video.color_range);
  if (const AVPixFmtDescriptor* pixels =
          av_pix_fmt_desc_get(static_cast<AVPixelFormat>(video.format))) {
    info.pixelFormat = pixels->name;
    info.bitsPerComponent = pixels->comp[0].depth;
  }
  const AVRational aspect = av_guess_sample_aspect_ratio(format.get(), stream, nullptr);
  if (aspect.num > 0 && aspect.den > 0) info.sampleAspect = {aspect.num, aspect.den};

  // QuickTime's time code track and Matroska's tags land on the stream, MXF's
  // and DV's on the file.
  const AVDictionaryEntry* code = av_dict_get(stream->metadata, "timecode", nullptr, 0);
  if (!code) code = av_dict_get(format->metadata, "timecode", nullptr, 0);
  if (code) info.timeCode = TimeCodeText(code->value);

  size_t matrixBytes = 0;
  const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &matrixBytes);
  if (matrix && matrixBytes >= 9 * sizeof(int32_t)) {
    info.displayMatrix.assign(matrix, matrix + 9 * sizeof(int32_t));
    int32_t values[9];
    std::memcpy(values, matrix, sizeof values);
    // The angle as FFmpeg's tools report it.
    const double rotation = av_display_rotation_get(values);
    if (std::isfinite(rotation) && std::fabs(rotation) >= 0.5) info.rotation = rotation;
  }

  const AVRational base = stream->time_base;
  if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && base.den > 0) {
    info.videoSeconds = static_cast<double>(stream->duration) * base.num / base.den;
  } else if (format->duration != AV_NOPTS_VALUE && format->duration > 0) {
    info.videoSeconds = static_cast<double>(format->duration) / AV_TIME_BASE;
  }
  return info;
}

std::string TimeCodeAfter(const std::string& timeCode, Rational rate, int frames) {
  AVTimecode start;
  if (timeCode.empty() || rate.num <= 0 || rate.den <= 0 ||
      av_timecode_init_from_string(&start, AVRational{rate.num, rate.den}, timeCode.c_str(),
                                   nullptr) != 0) {
    return "";
  }
  char text[AV_TIMECODE_STR_SIZE];
  return av_timecode_make_string(&start, text, frames);
}

}  // namespace cli
