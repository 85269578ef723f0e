#include "cli/output_codec.h"

#include <cmath>
#include <cstring>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace cli {
namespace {

// Names users write for codecs that FFmpeg's encoders call otherwise, or
// that several encoders share (the ProRes with profiles is prores_ks).
const std::map<std::string, std::string>& CommonNames() {
  static const std::map<std::string, std::string> names = {
      {"h264", "libx264"},     {"avc", "libx264"},      {"hevc", "libx265"}, {"h265", "libx265"},
      {"prores", "prores_ks"}, {"mpeg2", "mpeg2video"}, {"dv", "dvvideo"},   {"dnxhr", "dnxhd"}};
  return names;
}

// The encoder a container gets when no codec is named.
std::string ContainerDefault(const AVOutputFormat& container) {
  const std::string name = container.name;
  if (name == "matroska") return "ffv1";
  if (name == "mov") return "prores_ks";
  if (name == "mp4") return "libx264";
  if (name == "mxf") return "mpeg2video";
  if (name == "dv") return "dvvideo";
  if (name == "null") return "wrapped_avframe";
  const AVCodec* codec = avcodec_find_encoder(container.video_codec);
  return codec ? codec->name : "";
}

const AVCodec* FindEncoder(const std::string& name) {
  // Common names first: FFmpeg's encoder named "prores" is the one without
  // profiles.
  auto common = CommonNames().find(name);
  if (common != CommonNames().end()) {
    if (const AVCodec* codec = avcodec_find_encoder_by_name(common->second.c_str())) return codec;
  }
  if (const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str())) return codec;
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get_by_name(name.c_str());
  return descriptor ? avcodec_find_encoder(descriptor->id) : nullptr;
}

bool Given(const CodecOptions& options, const char* key) {
  for (const auto& option : options) {
    if (option.first == key) return true;
  }
  return false;
}

bool IsRate(Rational rate, int num, int den) {
  return static_cast<int64_t>(rate.num) * den == static_cast<int64_t>(num) * rate.den;
}

std::string RateText(Rational rate) {
  return rate.den == 1 ? std::to_string(rate.num)
                       : std::to_string(rate.num) + "/" + std::to_string(rate.den);
}

// DNxHD's bit rates (Mb/s, 8-bit 4:2:2) for a frame size and scan, the
// middle quality first; its tables tie each to some frame rates only, so the
// writer tries them in turn.
std::vector<std::string> DnxhdBitRates(int width, int height, bool interlaced) {
  std::vector<int> megabits;
  if (width == 1920 && height == 1080) {
    megabits = interlaced ? std::vector<int>{120, 145, 185, 220}
                          : std::vector<int>{120, 145, 115, 240, 290, 175, 185, 220, 90, 75};
  } else if (width == 1280 && height == 720 && !interlaced) {
    megabits = {90, 110, 60, 75, 120, 145, 180, 220};
  } else if (width == 1440 && height == 1080) {
    megabits = interlaced ? std::vector<int>{120, 145, 80, 90, 100, 110}
                          : std::vector<int>{63, 84, 100, 110};
  } else if (width == 960 && height == 720 && !interlaced) {
    megabits = {60, 75, 42, 115};
  }
  std::vector<std::string> rates;
  for (int rate : megabits) rates.push_back(std::to_string(rate) + "M");
  return rates;
}

}  // namespace

std::pair<std::string, std::string> ParseCodecOption(const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw MediaError("--codec-option " + text + ": expected KEY=VALUE, e.g. b=50M or g=12");
  }
  return {text.substr(0, equals), text.substr(equals + 1)};
}

EncoderPlan PlanEncoder(const std::string& out, const AVOutputFormat& container,
                        const EncoderRequest& request) {
  EncoderPlan plan;
  plan.name = request.codec.empty() ? ContainerDefault(container) : request.codec;
  plan.codec = plan.name.empty() ? nullptr : FindEncoder(plan.name);
  if (!plan.codec || plan.codec->type != AVMEDIA_TYPE_VIDEO) {
    throw FileError(out, request.codec.empty()
                             ? std::string("no video encoder for the container ") + container.name
                             : "no video encoder named " + request.codec);
  }
  plan.pixelFormat = request.pixelFormat;
  const std::string encoder = plan.codec->name;
  const AVCodecID id = plan.codec->id;
  const bool tall = request.height > 576;
  auto byDefault = [&](const char* key, const std::string& value) {
    if (!Given(request.options, key)) plan.options.emplace_back(key, value);
  };
  auto pixelsByDefault = [&](const char* format) {
    if (plan.pixelFormat.empty()) plan.pixelFormat = format;
  };

  if (id == AV_CODEC_ID_FFV1) {
    // Version 3 records each frame's field order and checks slices with
    // CRCs, but FFmpeg's slices of it do not round-trip pictures of one or
    // two rows or columns; those get version 1, which does (the container
    // still records the field order).
    const bool slicesFit = request.width >= 3 && request.height >= 3;
    byDefault("level", slicesFit ? "3" : "1");
    if (slicesFit) byDefault("slicecrc", "1");
  } else if (encoder == "prores_ks") {
    pixelsByDefault("yuv422p10le");
    byDefault("profile", "hq");
  } else if (encoder == "libx264" || encoder == "libx265") {
    pixelsByDefault("yuv420p");
    if (request.crf < 0 && !Given(request.options, "b")) byDefault("crf", "18");
  } else if (id == AV_CODEC_ID_MPEG2VIDEO && std::strcmp(container.name, "mxf") == 0) {
    // The form of XDCAM HD 422 (and, at standard definition, of 4:2:2
    // studio MPEG-2), whose profile and level the MXF muxer knows.
    pixelsByDefault("yuv422p");
    byDefault("profile", "0");             // 4:2:2
    byDefault("level", tall ? "2" : "5");  // high, main
    byDefault("b", "50M");
    byDefault("maxrate", "50M");
    byDefault("bufsize", tall ? "47185920" : "9437184");
    byDefault("g", "12");
    byDefault("bf", "2");
  } else if (id == AV_CODEC_ID_DVVIDEO) {
    const bool ntsc =
        request.width == 720 && request.height == 480 && IsRate(request.frameRate, 30000, 1001);
    const bool pal =
        request.width == 720 && request.height == 576 && IsRate(request.frameRate, 25, 1);
    if (!ntsc && !pal) {
      throw FileError(
          out, "DV holds 720x480 at 30000/1001 (NTSC) or 720x576 at 25 (PAL), not " +
                   std::to_string(request.width) + "x" + std::to_string(request.height) + " at " +
                   RateText(request.frameRate) + "; choose another container, e.g. .mov");
    }
    pixelsByDefault(ntsc ? "yuv411p" : "yuv420p");
  } else if (id == AV_CODEC_ID_DNXHD) {
    pixelsByDefault("yuv422p");
    if (!Given(request.options, "b") && !Given(request.options, "profile")) {
      plan.bitRatesToTry = DnxhdBitRates(request.width, request.height, request.interlaced);
      // Other sizes have no DNxHD bit rate at all; DNxHR takes any size.
      if (plan.bitRatesToTry.empty()) plan.options.emplace_back("profile", "dnxhr_hq");
    }
    for (const auto& option : plan.options) {
      if (option.first == "profile") plan.fieldCoding = option.second.rfind("dnxhr", 0) != 0;
    }
    for (const auto& option : request.options) {
      if (option.first == "profile") plan.fieldCoding = option.second.rfind("dnxhr", 0) != 0;
    }
    plan.fixedBitRates = plan.fieldCoding;
  }
  if (request.crf >= 0) plan.options.emplace_back("crf", std::to_string(request.crf));
  for (const auto& option : request.options) plan.options.push_back(option);
  return plan;
}

}  // namespace cli
