#include "cli/media_writer.h"

#include <filesystem>
#include <system_error>

#include "cli/atomic_file.h"
#include "cli/pixel_convert.h"
#include "cli/yuv_frames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace cli {
namespace {

void SetFieldFlags(AVFrame& frame, FieldOrder order) {
#ifdef AV_FRAME_FLAG_INTERLACED
  frame.flags &= ~(AV_FRAME_FLAG_INTERLACED | AV_FRAME_FLAG_TOP_FIELD_FIRST);
  if (order != FieldOrder::kProgressive) frame.flags |= AV_FRAME_FLAG_INTERLACED;
  if (order == FieldOrder::kTopFirst) frame.flags |= AV_FRAME_FLAG_TOP_FIELD_FIRST;
#else
  frame.interlaced_frame = order != FieldOrder::kProgressive;
  frame.top_field_first = order == FieldOrder::kTopFirst;
#endif
}

AVFieldOrder StreamFieldOrder(FieldOrder order) {
  switch (order) {
    case FieldOrder::kTopFirst:
      return AV_FIELD_TT;
    case FieldOrder::kBottomFirst:
      return AV_FIELD_BB;
    default:
      return AV_FIELD_PROGRESSIVE;
  }
}

bool IsSamePath(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error);
  fs::path left = fs::weakly_canonical(fs::absolute(a, error), error);
  fs::path right = fs::weakly_canonical(fs::absolute(b, error), error);
  return left == right;
}

bool Supports(const AVCodec& codec, AVPixelFormat format) {
  if (!codec.pix_fmts) return true;
  for (const AVPixelFormat* f = codec.pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
    if (*f == format) return true;
  }
  return false;
}

}  // namespace

struct MediaWriter::State {
  std::string out;
  int width = 0;
  int height = 0;
  FieldOrder fieldOrder = FieldOrder::kProgressive;
  std::unique_ptr<AtomicFile> file;
  AVFormatContext* format = nullptr;
  AVCodecContext* encoder = nullptr;
  AVStream* stream = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  // How frames reach the encoder's pixel format: by hand for planar YUV
  // (yuvLayout) and for bgra itself, else through swscale (converter).
  bool handYuv = false;
  YuvPicture yuvLayout;
  YuvColour colour;
  SwsContext* converter = nullptr;
  // Frames go on as they are, without conversion: the null muxer's
  // wrapped_avframe encoder in bgra only passes a reference along and lets go
  // of it before Write returns.
  bool passThrough = false;
  int framesWritten = 0;
  bool finished = false;

  [[noreturn]] void Fail(const std::string& problem) { throw FileError(out, problem); }
  void Open(Rational frameRate, const MediaWriterOptions& options);
  AVPixelFormat ChoosePixelFormat(const AVCodec& codec, const MediaWriterOptions& options);
  void Convert(const uint8_t* bgra, int rowBytes);
  void SendFrame(const AVFrame* frame);
  void PassOn(const uint8_t* bgra, int rowBytes);
  void Release();
};

AVPixelFormat MediaWriter::State::ChoosePixelFormat(const AVCodec& codec,
                                                    const MediaWriterOptions& options) {
  if (!options.pixelFormat.empty()) {
    AVPixelFormat chosen = av_get_pix_fmt(options.pixelFormat.c_str());
    if (chosen == AV_PIX_FMT_NONE) Fail("unknown pixel format " + options.pixelFormat);
    if (!Supports(codec, chosen)) {
      Fail("the codec " + options.codec + " cannot store pixel format " + options.pixelFormat);
    }
    return chosen;
  }
  if (Supports(codec, AV_PIX_FMT_BGRA)) return AV_PIX_FMT_BGRA;
  if (Supports(codec, AV_PIX_FMT_YUV420P)) return AV_PIX_FMT_YUV420P;
  return avcodec_find_best_pix_fmt_of_list(codec.pix_fmts, AV_PIX_FMT_BGRA, 0, nullptr);
}

void MediaWriter::State::Open(Rational frameRate, const MediaWriterOptions& options) {
  for (const std::string& source : options.sourcePaths) {
    if (!IsLavfiSource(source) && out != kDiscardOutput && IsSamePath(out, source)) {
      Fail("is the source clip; choose another output");
    }
  }
  if (width <= 0 || height <= 0) Fail("no picture size for the output");
  if (frameRate.num <= 0 || frameRate.den <= 0) Fail("no frame rate for the output");

  const bool discard = out == kDiscardOutput;
  const AVOutputFormat* container = discard ? av_guess_format("null", nullptr, nullptr)
                                            : av_guess_format(nullptr, out.c_str(), nullptr);
  std::string extension = std::filesystem::path(out).extension().string();
  if (!container) {
    Fail(extension.empty() ? "no file extension to choose the container from"
                           : "no container is known for the extension " + extension);
  }
  if (container->video_codec == AV_CODEC_ID_NONE) Fail("the container cannot hold video");
  const AVCodec* codec = avcodec_find_encoder_by_name(options.codec.c_str());
  if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) Fail("no video encoder named " + options.codec);
  if (avformat_query_codec(container, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
    Fail("a " + extension + " file cannot hold " + options.codec + " video");
  }

  if (!discard) {
    file = std::make_unique<AtomicFile>(
        out, options.overwrite ? AtomicFile::Replace::kAllowed : AtomicFile::Replace::kRefused);
  }

  int result = avformat_alloc_output_context2(&format, container, nullptr, nullptr);
  if (result < 0) Fail("cannot set up the container: " + AvErrorText(result));
  // Without this the muxer stamps its version and random identifiers into the file.
  format->flags |= AVFMT_FLAG_BITEXACT;

  encoder = avcodec_alloc_context3(codec);
  frame = av_frame_alloc();
  packet = av_packet_alloc();
  if (!encoder || !frame || !packet) Fail("out of memory");
  encoder->width = width;
  encoder->height = height;
  encoder->time_base = AVRational{frameRate.den, frameRate.num};
  encoder->framerate = AVRational{frameRate.num, frameRate.den};
  encoder->pix_fmt = ChoosePixelFormat(*codec, options);
  encoder->field_order = StreamFieldOrder(fieldOrder);
  encoder->flags |= AV_CODEC_FLAG_BITEXACT;
  if (fieldOrder != FieldOrder::kProgressive) {
    encoder->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
  }
  if (format->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  encoder->thread_count = options.threads;
  if (options.keyFrameInterval > 0) {
    encoder->gop_size = options.keyFrameInterval;
  } else if (codec->id == AV_CODEC_ID_FFV1) {
    // Every frame a key frame: readers can then seek straight to any frame.
    encoder->gop_size = 1;
  }
  // The matrix and range the pixels are converted with, and the tags that
  // name them (today's choice where nothing set the tags).
  colour = SettleEncoderColour(*encoder);

  AVDictionary* settings = nullptr;
  // Version 3 of FFV1 records each frame's field order and checks slices with
  // CRCs, but FFmpeg's slices of it do not round-trip pictures of one or two
  // rows or columns; those get version 1, which does (the container still
  // records the field order).
  if (codec->id == AV_CODEC_ID_FFV1) {
    const bool slicesFit = width >= 3 && height >= 3;
    av_dict_set(&settings, "level", slicesFit ? "3" : "1", 0);
    if (slicesFit) av_dict_set(&settings, "slicecrc", "1", 0);
  }
  if (options.crf >= 0) {
    if (!av_opt_find(encoder->priv_data, "crf", nullptr, 0, 0)) {
      av_dict_free(&settings);
      Fail("the codec " + options.codec + " has no crf setting");
    }
    av_dict_set_int(&settings, "crf", options.crf, 0);
  }
  result = avcodec_open2(encoder, codec, &settings);
  av_dict_free(&settings);
  if (result < 0) Fail("cannot open the " + options.codec + " encoder: " + AvErrorText(result));

  stream = avformat_new_stream(format, nullptr);
  if (!stream) Fail("out of memory");
  stream->time_base = encoder->time_base;
  stream->avg_frame_rate = encoder->framerate;
  result = avcodec_parameters_from_context(stream->codecpar, encoder);
  if (result < 0) Fail("cannot set up the video stream: " + AvErrorText(result));

  if (file) {
    std::string url = "file:" + file->TemporaryPath();
    result = avio_open(&format->pb, url.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) Fail("cannot write: " + AvErrorText(result));
  }
  result = avformat_write_header(format, nullptr);
  if (result < 0) Fail("cannot start writing: " + AvErrorText(result));

  frame->format = encoder->pix_fmt;
  frame->width = width;
  frame->height = height;
  passThrough =
      discard && codec->id == AV_CODEC_ID_WRAPPED_AVFRAME && encoder->pix_fmt == AV_PIX_FMT_BGRA;
  if (passThrough) return;
  result = av_frame_get_buffer(frame, 0);
  if (result < 0) Fail("out of memory");
  handYuv = YuvLayoutOf(encoder->pix_fmt, yuvLayout);
  if (handYuv || encoder->pix_fmt == AV_PIX_FMT_BGRA) return;
  converter =
      sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, encoder->pix_fmt,
                     SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
  if (!converter)
    Fail("cannot convert pixels to " + std::string(av_get_pix_fmt_name(encoder->pix_fmt)));
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(encoder->pix_fmt);
  if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB)) {
    const int* coefficients = sws_getCoefficients(SwsColorspaceOf(colour.matrix));
    sws_setColorspaceDetails(converter, sws_getCoefficients(SWS_CS_DEFAULT), 1, coefficients,
                             colour.fullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
  }
}

void MediaWriter::State::Convert(const uint8_t* bgra, int rowBytes) {
  if (handYuv) {
    BgraToYuv(bgra, rowBytes, YuvPictureOf(*frame, yuvLayout), colour,
              fieldOrder != FieldOrder::kProgressive);
    MakeAlphaOpaque(*frame);
  } else if (!converter) {
    CopyBgraRows(bgra, rowBytes, width, height, frame->data[0], frame->linesize[0], false);
  } else {
    const uint8_t* planes[4] = {bgra, nullptr, nullptr, nullptr};
    int strides[4] = {rowBytes, 0, 0, 0};
    sws_scale(converter, planes, strides, 0, height, frame->data, frame->linesize);
  }
}

void MediaWriter::State::SendFrame(const AVFrame* input) {
  int result = avcodec_send_frame(encoder, input);
  if (result < 0) Fail("cannot encode: " + AvErrorText(result));
  while (true) {
    result = avcodec_receive_packet(encoder, packet);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
    if (result < 0) Fail("cannot encode: " + AvErrorText(result));
    av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
    packet->stream_index = stream->index;
    result = av_interleaved_write_frame(format, packet);
    if (result < 0) Fail("cannot write: " + AvErrorText(result));
  }
}

namespace {
void KeepCallersPixels(void*, uint8_t*) {}
}  // namespace

void MediaWriter::State::PassOn(const uint8_t* bgra, int rowBytes) {
  // The caller's pixels, lent for the call: a read-only buffer that frees nothing.
  AVBufferRef* lent =
      av_buffer_create(const_cast<uint8_t*>(bgra), static_cast<size_t>(rowBytes) * height,
                       KeepCallersPixels, nullptr, AV_BUFFER_FLAG_READONLY);
  if (!lent) Fail("out of memory");
  frame->buf[0] = lent;
  frame->data[0] = const_cast<uint8_t*>(bgra);
  frame->linesize[0] = rowBytes;
  frame->pts = framesWritten;
  SetFieldFlags(*frame, fieldOrder);
  try {
    SendFrame(frame);
  } catch (...) {
    av_frame_unref(frame);
    throw;
  }
  const bool kept = av_buffer_get_ref_count(lent) != 1;
  // Unref clears the geometry as well; the next frame needs it again.
  av_frame_unref(frame);
  frame->format = AV_PIX_FMT_BGRA;
  frame->width = width;
  frame->height = height;
  if (kept) Fail("the null muxer kept a frame it was lent");
  ++framesWritten;
}

void MediaWriter::State::Release() {
  sws_freeContext(converter);
  converter = nullptr;
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&encoder);
  if (format) {
    avio_closep(&format->pb);
    avformat_free_context(format);
    format = nullptr;
  }
}

MediaWriter::MediaWriter(const std::string& outPath, int width, int height, Rational frameRate,
                         FieldOrder fieldOrder, MediaWriterOptions options)
    : state_(std::make_unique<State>()) {
  state_->out = outPath;
  state_->width = width;
  state_->height = height;
  state_->fieldOrder = fieldOrder;
  try {
    state_->Open(frameRate, options);
  } catch (...) {
    Abort();
    throw;
  }
}

MediaWriter::~MediaWriter() {
  if (!state_->finished) Abort();
}

void MediaWriter::Write(const uint8_t* bgra, int rowBytes) {
  State& s = *state_;
  if (s.finished || !s.encoder)
    s.Fail("cannot write a frame after the file was finished or aborted");
  try {
    if (s.passThrough) {
      s.PassOn(bgra, rowBytes);
      return;
    }
    int result = av_frame_make_writable(s.frame);
    if (result < 0) s.Fail("out of memory");
    s.Convert(bgra, rowBytes);
    s.frame->pts = s.framesWritten;
    SetFieldFlags(*s.frame, s.fieldOrder);
    s.SendFrame(s.frame);
    ++s.framesWritten;
  } catch (...) {
    Abort();
    throw;
  }
}

void MediaWriter::Write(const VideoFrame& frame) {
  if (frame.width != state_->width || frame.height != state_->height) {
    state_->Fail("a frame of " + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                 " cannot go into a " + std::to_string(state_->width) + "x" +
                 std::to_string(state_->height) + " video");
  }
  Write(frame.pixels.data(), frame.RowBytes());
}

void MediaWriter::Finish() {
  State& s = *state_;
  if (s.finished || !s.encoder) s.Fail("cannot finish a file that was finished or aborted");
  try {
    s.SendFrame(nullptr);
    int result = av_write_trailer(s.format);
    if (result < 0) s.Fail("cannot write: " + AvErrorText(result));
    result = avio_closep(&s.format->pb);
    if (result < 0) s.Fail("cannot write: " + AvErrorText(result));
    s.Release();
    if (s.file) s.file->Commit();
    s.finished = true;
  } catch (...) {
    Abort();
    throw;
  }
}

void MediaWriter::Abort() {
  state_->Release();
  if (state_->file) state_->file->Discard();
}

int MediaWriter::FramesWritten() const { return state_->framesWritten; }

}  // namespace cli
