#include "cli/media_writer.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/atomic_file.h"
#include "cli/output_codec.h"
#include "cli/pixel_convert.h"
#include "cli/yuv_frames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libavutil/timecode.h>
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
  SwsContext* converter = nullptr;
  // How frames reach the encoder's pixel format: by hand for planar YUV
  // (yuvLayout) and for bgra itself, else through swscale (converter).
  bool handYuv = false;
  YuvPicture yuvLayout;
  YuvColour colour;
  // Frames go on as they are, without conversion: the null muxer's
  // wrapped_avframe encoder in bgra only passes a reference along and lets go
  // of it before Write returns.
  bool passThrough = false;
  int framesWritten = 0;
  bool finished = false;

  [[noreturn]] void Fail(const std::string& problem) { throw FileError(out, problem); }
  void Open(Rational frameRate, const MediaWriterOptions& options);
  AVPixelFormat ChoosePixelFormat(const AVCodec& codec, const EncoderPlan& plan);
  // A new encoder context with the output's geometry, field order and tags.
  void SetUpEncoder(const AVCodec& codec, const EncoderPlan& plan, Rational frameRate,
                    const MediaWriterOptions& options);
  void OpenEncoder(const AVCodec& codec, const EncoderPlan& plan, Rational frameRate,
                   const MediaWriterOptions& options);
  // The time code and display matrix, where the container keeps them.
  void TagStream(Rational frameRate, const OutputTags& tags);
  void Convert(const uint8_t* bgra, int rowBytes);
  void SendFrame(const AVFrame* frame);
  void PassOn(const uint8_t* bgra, int rowBytes);
  void Release();
};

AVPixelFormat MediaWriter::State::ChoosePixelFormat(const AVCodec& codec, const EncoderPlan& plan) {
  if (!plan.pixelFormat.empty()) {
    AVPixelFormat chosen = av_get_pix_fmt(plan.pixelFormat.c_str());
    if (chosen == AV_PIX_FMT_NONE) Fail("unknown pixel format " + plan.pixelFormat);
    if (!Supports(codec, chosen)) {
      Fail("the codec " + plan.name + " cannot store pixel format " + plan.pixelFormat);
    }
    return chosen;
  }
  if (Supports(codec, AV_PIX_FMT_BGRA)) return AV_PIX_FMT_BGRA;
  if (Supports(codec, AV_PIX_FMT_YUV420P)) return AV_PIX_FMT_YUV420P;
  return avcodec_find_best_pix_fmt_of_list(codec.pix_fmts, AV_PIX_FMT_BGRA, 0, nullptr);
}

void MediaWriter::State::SetUpEncoder(const AVCodec& codec, const EncoderPlan& plan,
                                      Rational frameRate, const MediaWriterOptions& options) {
  encoder = avcodec_alloc_context3(&codec);
  if (!encoder) Fail("out of memory");
  encoder->width = width;
  encoder->height = height;
  encoder->time_base = AVRational{frameRate.den, frameRate.num};
  encoder->framerate = AVRational{frameRate.num, frameRate.den};
  encoder->pix_fmt = ChoosePixelFormat(codec, plan);
  encoder->field_order = StreamFieldOrder(fieldOrder);
  encoder->flags |= AV_CODEC_FLAG_BITEXACT;
  if (fieldOrder != FieldOrder::kProgressive && plan.fieldCoding) {
    encoder->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
  }
  if (format->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  encoder->thread_count = options.threads;
  if (options.keyFrameInterval > 0) {
    encoder->gop_size = options.keyFrameInterval;
  } else if (codec.id == AV_CODEC_ID_FFV1) {
    // Every frame a key frame: readers can then seek straight to any frame.
    encoder->gop_size = 1;
  }
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(encoder->pix_fmt);
  const bool isRgb = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB);
  const OutputTags& tags = options.tags;
  // The source's matrix and range go on to YUV output; what the source does
  // not say is settled by the rule the reader uses for untagged video, so
  // that the tags and the pixels converted with them agree.
  if (!isRgb) {
    if (tags.colorSpace > 0 && tags.colorSpace != AVCOL_SPC_UNSPECIFIED &&
        tags.colorSpace != AVCOL_SPC_RGB) {
      encoder->colorspace = static_cast<AVColorSpace>(tags.colorSpace);
    }
    if (tags.colorRange == AVCOL_RANGE_JPEG) encoder->color_range = AVCOL_RANGE_JPEG;
  }
  colour = SettleEncoderColour(*encoder);
  if (tags.colorPrimaries > 0) {
    encoder->color_primaries = static_cast<AVColorPrimaries>(tags.colorPrimaries);
  }
  if (tags.colorTransfer > 0) {
    encoder->color_trc = static_cast<AVColorTransferCharacteristic>(tags.colorTransfer);
  }
  if (tags.sampleAspect.num > 0 && tags.sampleAspect.den > 0) {
    encoder->sample_aspect_ratio = AVRational{tags.sampleAspect.num, tags.sampleAspect.den};
  }
}

void MediaWriter::State::OpenEncoder(const AVCodec& codec, const EncoderPlan& plan,
                                     Rational frameRate, const MediaWriterOptions& options) {
  // DNxHD opens at the bit rates its tables tie to the size and rate only.
  std::vector<std::string> bitRates = plan.bitRatesToTry;
  if (bitRates.empty()) bitRates.push_back("");
  int result = 0;
  for (const std::string& bitRate : bitRates) {
    avcodec_free_context(&encoder);
    SetUpEncoder(codec, plan, frameRate, options);
    AVDictionary* settings = nullptr;
    for (const auto& [key, value] : plan.options)
      av_dict_set(&settings, key.c_str(), value.c_str(), 0);
    if (!bitRate.empty()) av_dict_set(&settings, "b", bitRate.c_str(), 0);
    // The encoder's own settings first: its "profile" takes names ("lt",
    // "high") where the generic one takes numbers.
    result = encoder->priv_data ? av_opt_set_dict(encoder->priv_data, &settings) : 0;
    if (result >= 0) result = avcodec_open2(encoder, &codec, &settings);
    // What the encoder did not take, it does not have.
    const AVDictionaryEntry* left = av_dict_get(settings, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    const std::string unknown = left ? left->key : "";
    av_dict_free(&settings);
    if (result >= 0 && !unknown.empty()) {
      Fail("the codec " + plan.name + " has no setting " + unknown);
    }
    if (result >= 0) return;
  }
  std::string reason = AvErrorText(result);
  if (plan.fixedBitRates) {
    reason +=
        "; DNxHD takes only the bit rates its tables give for the size and frame rate "
        "(1920x1080 at 25: 120M or 185M, for example): leave out the bit rate to have one "
        "chosen, or use --codec-option profile=dnxhr_hq, which takes any size";
  }
  Fail("cannot open the " + plan.name + " encoder: " + reason);
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
  EncoderRequest request;
  request.codec = options.codec;
  request.pixelFormat = options.pixelFormat;
  request.crf = options.crf;
  request.options = options.codecOptions;
  request.width = width;
  request.height = height;
  request.frameRate = frameRate;
  request.interlaced = fieldOrder != FieldOrder::kProgressive;
  const EncoderPlan plan = PlanEncoder(out, *container, request);
  const AVCodec* codec = plan.codec;
  if (avformat_query_codec(container, codec->id, FF_COMPLIANCE_NORMAL) == 0) {
    Fail("a " + extension + " file cannot hold " + plan.name + " video");
  }

  if (!discard) {
    file = std::make_unique<AtomicFile>(
        out, options.overwrite ? AtomicFile::Replace::kAllowed : AtomicFile::Replace::kRefused);
  }

  int result = avformat_alloc_output_context2(&format, container, nullptr, nullptr);
  if (result < 0) Fail("cannot set up the container: " + AvErrorText(result));
  // Without this the muxer stamps its version and random identifiers into the file.
  format->flags |= AVFMT_FLAG_BITEXACT;

  frame = av_frame_alloc();
  packet = av_packet_alloc();
  if (!frame || !packet) Fail("out of memory");
  OpenEncoder(*codec, plan, frameRate, options);

  stream = avformat_new_stream(format, nullptr);
  if (!stream) Fail("out of memory");
  stream->time_base = encoder->time_base;
  stream->avg_frame_rate = encoder->framerate;
  stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
  result = avcodec_parameters_from_context(stream->codecpar, encoder);
  if (result < 0) Fail("cannot set up the video stream: " + AvErrorText(result));
  TagStream(frameRate, options.tags);

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
  // Some encoders (ProRes) write the colour description from each frame.
  frame->color_primaries = encoder->color_primaries;
  frame->color_trc = encoder->color_trc;
  frame->colorspace = encoder->colorspace;
  frame->color_range = encoder->color_range;
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

void MediaWriter::State::TagStream(Rational frameRate, const OutputTags& tags) {
  const std::string container = format->oformat->name;
  const bool keepsTimeCode = container == "mov" || container == "mxf" || container == "matroska";
  if (!tags.timeCode.empty() && keepsTimeCode) {
    // Only a time code that fits the rate: muxers refuse the others outright.
    AVTimecode check;
    if (av_timecode_init_from_string(&check, AVRational{frameRate.num, frameRate.den},
                                     tags.timeCode.c_str(), nullptr) == 0) {
      // QuickTime makes a time code track of it, MXF its material package's
      // time code, Matroska a tag.
      av_dict_set(&stream->metadata, "timecode", tags.timeCode.c_str(), 0);
      av_dict_set(&format->metadata, "timecode", tags.timeCode.c_str(), 0);
    }
  }
  if (tags.displayMatrix.size() == 9 * sizeof(int32_t)) {
    uint8_t* matrix =
        av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, tags.displayMatrix.size());
    if (!matrix) Fail("out of memory");
    std::memcpy(matrix, tags.displayMatrix.data(), tags.displayMatrix.size());
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
