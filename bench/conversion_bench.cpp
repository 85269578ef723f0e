// The tool's conversions between YUV and the effect's 4-byte pixels, next to
// what FFmpeg does by default (`ffmpeg -vf format=bgra` and back: swscale
// with its default bicubic flags, which take its fastest paths), one thread,
// one whole picture per iteration. The way in converts the rows of the two
// fields one field at a time into field buffers, as renders ask for them;
// material with half-height chroma is taken as interlaced, as the 1080i
// users have is.
//
// Pictures are 1920x1080 unless CORVALIS_BENCH_PICTURE=WxH says otherwise,
// and CORVALIS_BENCH_PIX_FMT adds a format to those measured (scripts/
// bench-compare sets both from its input).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "cli/yuv_convert.h"
#include "cli/yuv_frames.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

struct PictureSize {
  int width = 1920;
  int height = 1080;
};

PictureSize BenchPictureSize() {
  PictureSize size;
  if (const char* text = std::getenv("CORVALIS_BENCH_PICTURE")) {
    int width = 0, height = 0;
    if (std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0) {
      size.width = width;
      size.height = height;
    }
  }
  return size;
}

// A frame of the format full of random samples within the format's range.
AVFrame* RandomFrame(AVPixelFormat format, PictureSize size) {
  AVFrame* frame = av_frame_alloc();
  frame->format = format;
  frame->width = size.width;
  frame->height = size.height;
  if (av_frame_get_buffer(frame, 0) < 0) std::abort();
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  std::mt19937 random(3);
  for (int plane = 0; plane < 4 && frame->data[plane]; ++plane) {
    const bool chroma = plane == 1 || plane == 2;
    const int rows = chroma ? AV_CEIL_RSHIFT(size.height, descriptor->log2_chroma_h) : size.height;
    for (int y = 0; y < rows; ++y) {
      uint8_t* row = frame->data[plane] + static_cast<ptrdiff_t>(y) * frame->linesize[plane];
      if (descriptor->comp[0].depth > 8) {
        auto* words = reinterpret_cast<uint16_t*>(row);
        for (int x = 0; x < frame->linesize[plane] / 2; ++x) words[x] = random() & 0x3FF;
      } else {
        for (int x = 0; x < frame->linesize[plane]; ++x) row[x] = static_cast<uint8_t>(random());
      }
    }
  }
  return frame;
}

const AVPixelFormat kFormats[] = {AV_PIX_FMT_YUV420P,     AV_PIX_FMT_YUV422P,
                                  AV_PIX_FMT_YUV411P,     AV_PIX_FMT_YUV444P,
                                  AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV422P10LE};

// The tool's conversion between the format and bgra, in or out.
void Convert(benchmark::State& state, AVPixelFormat format, const cli::YuvKernels* kernels,
             bool in) {
  const PictureSize size = BenchPictureSize();
  AVFrame* yuv = RandomFrame(format, size);
  AVFrame* bgra = RandomFrame(AV_PIX_FMT_BGRA, size);
  cli::YuvPicture layout;
  if (!cli::YuvLayoutOf(format, layout)) std::abort();
  const cli::YuvPicture picture = cli::YuvPictureOf(*yuv, layout);
  const bool fieldChroma = layout.chromaShiftY == 1;
  const cli::YuvColour colour{cli::UntaggedMatrix(size.height), false};
  // On the way in, the two fields' rows, each field's packed one after the
  // other, as the effect's field buffers hold them.
  const int rowBytes = bgra->linesize[0];
  const int topRows = (size.height + 1) / 2;
  uint8_t* const fields[2] = {bgra->data[0],
                              bgra->data[0] + static_cast<ptrdiff_t>(topRows) * rowBytes};
  for (auto _ : state) {
    if (in) {
      for (int field = 0; field < 2; ++field) {
        cli::YuvRowsToBgra(picture, colour, fieldChroma, field, 2, (size.height - field + 1) / 2,
                           size.width, fields[field], rowBytes, *kernels);
      }
    } else {
      cli::BgraToYuv(bgra->data[0], rowBytes, picture, colour, fieldChroma, *kernels);
    }
    benchmark::DoNotOptimize(in ? bgra->data[0] : yuv->data[0]);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * size.width * size.height);
  av_frame_free(&yuv);
  av_frame_free(&bgra);
}

// swscale between the format and bgra with the flags ffmpeg's filters use by default.
void Swscale(benchmark::State& state, AVPixelFormat format, bool in) {
  const PictureSize size = BenchPictureSize();
  AVFrame* yuv = RandomFrame(format, size);
  AVFrame* bgra = RandomFrame(AV_PIX_FMT_BGRA, size);
  AVFrame* from = in ? yuv : bgra;
  AVFrame* to = in ? bgra : yuv;
  SwsContext* context = sws_getContext(
      size.width, size.height, static_cast<AVPixelFormat>(from->format), size.width, size.height,
      static_cast<AVPixelFormat>(to->format), SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!context) {
    state.SkipWithError("swscale refused the formats");
  } else {
    for (auto _ : state) {
      sws_scale(context, from->data, from->linesize, 0, size.height, to->data, to->linesize);
      benchmark::DoNotOptimize(to->data[0]);
      benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * size.width * size.height);
  }
  sws_freeContext(context);
  av_frame_free(&yuv);
  av_frame_free(&bgra);
}

// Names such as ConvertIn/yuv420p/avx2 and SwscaleIn/yuv420p.
const bool kRegistered = [] {
  std::vector<AVPixelFormat> formats(std::begin(kFormats), std::end(kFormats));
  if (const char* name = std::getenv("CORVALIS_BENCH_PIX_FMT")) {
    const AVPixelFormat asked = av_get_pix_fmt(name);
    cli::YuvPicture layout;
    if (cli::YuvLayoutOf(asked, layout) &&
        std::find(formats.begin(), formats.end(), asked) == formats.end()) {
      formats.push_back(asked);
    }
  }
  for (AVPixelFormat format : formats) {
    const std::string name = av_get_pix_fmt_name(format);
    for (const cli::YuvKernels* kernels : cli::SupportedYuvKernels()) {
      for (bool in : {true, false}) {
        const std::string direction = in ? "ConvertIn/" : "ConvertOut/";
        benchmark::RegisterBenchmark((direction + name + "/" + kernels->name).c_str(), Convert,
                                     format, kernels, in)
            ->Unit(benchmark::kMillisecond);
      }
    }
    benchmark::RegisterBenchmark(("SwscaleIn/" + name).c_str(), Swscale, format, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("SwscaleOut/" + name).c_str(), Swscale, format, false)
        ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
