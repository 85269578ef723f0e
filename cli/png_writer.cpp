#include "cli/png_writer.h"

#include "cli/atomic_file.h"
#include "cli/media_error.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace cli {
namespace {

// Owns the encoder, frame and packet of one picture.
struct PngEncoding {
  AVCodecContext* encoder = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~PngEncoding() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&encoder);
  }
};

}  // namespace

void WritePng(const std::string& path, const uint8_t* bgraPixels, int width, int height,
              int rowBytes, bool withAlpha) {
  if (width <= 0 || height <= 0) throw FileError(path, "a picture needs a size");
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!codec) throw FileError(path, "this FFmpeg has no PNG encoder");
  PngEncoding png;
  png.encoder = avcodec_alloc_context3(codec);
  png.frame = av_frame_alloc();
  png.packet = av_packet_alloc();
  if (!png.encoder || !png.frame || !png.packet) throw FileError(path, "out of memory");
  AVPixelFormat format = withAlpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
  png.encoder->width = width;
  png.encoder->height = height;
  png.encoder->pix_fmt = format;
  png.encoder->time_base = AVRational{1, 1};
  png.encoder->flags |= AV_CODEC_FLAG_BITEXACT;
  int result = avcodec_open2(png.encoder, codec, nullptr);
  if (result < 0) throw FileError(path, "cannot open the PNG encoder: " + AvErrorText(result));

  png.frame->format = format;
  png.frame->width = width;
  png.frame->height = height;
  if (av_frame_get_buffer(png.frame, 0) < 0) throw FileError(path, "out of memory");
  int channels = withAlpha ? 4 : 3;
  for (int y = 0; y < height; ++y) {
    const uint8_t* from = bgraPixels + static_cast<ptrdiff_t>(y) * rowBytes;
    uint8_t* to = png.frame->data[0] + static_cast<ptrdiff_t>(y) * png.frame->linesize[0];
    for (int x = 0; x < width; ++x, from += 4, to += channels) {
      to[0] = from[2];
      to[1] = from[1];
      to[2] = from[0];
      if (withAlpha) to[3] = from[3];
    }
  }
  png.frame->pts = 0;
  result = avcodec_send_frame(png.encoder, png.frame);
  if (result >= 0) result = avcodec_send_frame(png.encoder, nullptr);
  if (result >= 0) result = avcodec_receive_packet(png.encoder, png.packet);
  if (result < 0) throw FileError(path, "cannot encode PNG: " + AvErrorText(result));
  WriteFileAtomically(path, std::string(reinterpret_cast<const char*>(png.packet->data),
                                        static_cast<size_t>(png.packet->size)));
}

}  // namespace cli
