#include "cli/frame_source.h"

#include <algorithm>
#include <cstring>

#include "cli/library_messages.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavformat/avformat.h>
}

namespace cli {

bool IsKeyFrame(const AVFrame& frame) {
#ifdef AV_FRAME_FLAG_KEY
  return (frame.flags & AV_FRAME_FLAG_KEY) != 0;
#else
  return frame.key_frame != 0;
#endif
}

FieldOrder FieldOrderOfFrame(const AVFrame& frame) {
#ifdef AV_FRAME_FLAG_INTERLACED
  if (!(frame.flags & AV_FRAME_FLAG_INTERLACED)) return FieldOrder::kProgressive;
  return (frame.flags & AV_FRAME_FLAG_TOP_FIELD_FIRST) ? FieldOrder::kTopFirst
                                                       : FieldOrder::kBottomFirst;
#else
  if (!frame.interlaced_frame) return FieldOrder::kProgressive;
  return frame.top_field_first ? FieldOrder::kTopFirst : FieldOrder::kBottomFirst;
#endif
}

namespace {

// The field stored first in the interleaved frame is the earlier one. The
// mixed values ("tb", "bt") are, in the files users have, what FFmpeg's own
// tools write for top-first and bottom-first frames (a plain transcode of a
// top-first clip to ProRes or FFV1 says "tb"), whatever their names suggest
// about display order; reading "tb" as bottom first makes such clips judder.
FieldOrder FieldOrderOfStream(int order) {
  switch (order) {
    case AV_FIELD_TT:
    case AV_FIELD_TB:
      return FieldOrder::kTopFirst;
    case AV_FIELD_BB:
    case AV_FIELD_BT:
      return FieldOrder::kBottomFirst;
    default:
      return FieldOrder::kProgressive;
  }
}

class FileSource : public FrameSource {
 public:
  explicit FileSource(const std::string& path) : path_(path) { Open(); }
  ~FileSource() override { Close(); }

  AVFrame* Next() override {
    av_frame_unref(frame_.get());
    while (true) {
      int result = avcodec_receive_frame(decoder_, frame_.get());
      if (result == 0) return frame_.get();
      if (result == AVERROR_EOF) return nullptr;
      if (result != AVERROR(EAGAIN))
        throw FileError(path_, "cannot decode video: " + AvErrorText(result));
      SendNextPacket();
    }
  }

  void Restart() override {
    // Reopening gives exactly the state in which the clip was indexed.
    Close();
    Open();
  }

  bool SeekBefore(int64_t timestamp) override {
    if (av_seek_frame(format_, streamIndex_, timestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(decoder_);
    draining_ = false;
    return true;
  }

  int64_t TimestampOf(const AVFrame& frame) const override { return frame.best_effort_timestamp; }

  FieldOrder DeclaredFieldOrder() const override {
    return FieldOrderOfStream(EnumValue(format_->streams[streamIndex_]->codecpar->field_order));
  }

  double Seconds(int64_t timestamp) const override {
    const AVRational base = format_->streams[streamIndex_]->time_base;
    return base.den > 0 ? static_cast<double>(timestamp) * base.num / base.den : 0.0;
  }

  bool ScanPackets(PacketScan& scan) override {
    scan = PacketScan();
    scan.codec = decoder_->codec_id;
    while (true) {
      const int result = av_read_frame(format_, packet_);
      if (result == AVERROR_EOF) break;
      if (result < 0) {
        scan.plain = false;
        break;
      }
      const AVPacket& packet = *packet_;
      if (packet.stream_index == streamIndex_ && !(packet.flags & AV_PKT_FLAG_DISCARD)) {
        if (packet.pts == AV_NOPTS_VALUE || packet.size <= 0 ||
            (packet.flags & AV_PKT_FLAG_CORRUPT)) {
          scan.plain = false;
        }
        scan.timestamps.push_back(packet.pts);
        scan.keyFrames.push_back((packet.flags & AV_PKT_FLAG_KEY) != 0);
      }
      av_packet_unref(packet_);
    }
    Restart();
    return true;
  }

  int DecoderDelay() const override { return decoder_->has_b_frames; }

  bool KeepsFrameOrder() const override {
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(decoder_->codec_id);
    return decoder_->has_b_frames == 0 &&
           !(descriptor && (descriptor->props & AV_CODEC_PROP_REORDER));
  }

  bool TimeSpan(Span& span) const override {
    const AVStream* stream = format_->streams[streamIndex_];
    const AVRational base = stream->time_base;
    if (base.num <= 0 || base.den <= 0 || stream->start_time == AV_NOPTS_VALUE) return false;
    int64_t duration = stream->duration;
    if (duration == AV_NOPTS_VALUE && format_->duration != AV_NOPTS_VALUE) {
      duration = av_rescale_q(format_->duration, AVRational{1, AV_TIME_BASE}, base);
    }
    if (duration == AV_NOPTS_VALUE || duration <= 0) return false;
    span.start = stream->start_time;
    span.duration = duration;
    span.seconds = static_cast<double>(duration) * base.num / base.den;
    return true;
  }

  Rational FrameRate() const override {
    AVRational rate = av_guess_frame_rate(format_, format_->streams[streamIndex_], nullptr);
    if (rate.num <= 0 || rate.den <= 0)
      throw FileError(path_, "the video stream has no frame rate");
    return {rate.num, rate.den};
  }

 private:
  void Open() {
    // The "file:" protocol keeps names with a colon from being read as URLs.
    std::string url = "file:" + path_;
    int result = avformat_open_input(&format_, url.c_str(), nullptr, nullptr);
    if (result == AVERROR_INVALIDDATA) throw FileError(path_, "not a video file");
    if (result < 0) throw FileError(path_, AvErrorText(result));
    // The text-art demuxer would show any long enough .txt file as video.
    if (std::strcmp(format_->iformat->name, "tty") == 0) {
      Close();
      throw FileError(path_, "not a video file");
    }
    result = avformat_find_stream_info(format_, nullptr);
    if (result < 0) Fail("cannot read the streams: " + AvErrorText(result));
    const AVCodec* codec = nullptr;
    streamIndex_ = av_find_best_stream(format_, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (streamIndex_ == AVERROR_STREAM_NOT_FOUND) Fail("no video stream");
    if (streamIndex_ < 0 || !codec) {
      AVCodecID id = format_->streams[std::max(streamIndex_, 0)]->codecpar->codec_id;
      Fail(std::string("no decoder for the video codec ") + avcodec_get_name(id));
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
      if (static_cast<int>(i) != streamIndex_) format_->streams[i]->discard = AVDISCARD_ALL;
    }
    decoder_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    frame_.reset(av_frame_alloc());
    if (!decoder_ || !packet_ || !frame_) Fail("out of memory");
    avcodec_parameters_to_context(decoder_, format_->streams[streamIndex_]->codecpar);
    // Decoders give the same pixels with any number of threads.
    decoder_->thread_count = 0;
    result = avcodec_open2(decoder_, codec, nullptr);
    if (result < 0) Fail("cannot open the video decoder: " + AvErrorText(result));
    draining_ = false;
  }

  [[noreturn]] void Fail(const std::string& problem) {
    Close();
    throw FileError(path_, problem);
  }

  void Close() {
    frame_.reset();
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&format_);
  }

  void SendNextPacket() {
    if (draining_) throw FileError(path_, "the video decoder stopped without finishing");
    while (true) {
      int result = av_read_frame(format_, packet_);
      if (result == AVERROR_EOF) {
        draining_ = true;
        avcodec_send_packet(decoder_, nullptr);
        return;
      }
      if (result < 0) throw FileError(path_, "cannot read: " + AvErrorText(result));
      bool ours = packet_->stream_index == streamIndex_;
      result = ours ? avcodec_send_packet(decoder_, packet_) : 0;
      av_packet_unref(packet_);
      // A damaged packet is skipped, as players do; it is skipped the same
      // way on every pass, so frame numbers stay stable.
      if (result == AVERROR_INVALIDDATA) continue;
      if (result < 0) throw FileError(path_, "cannot decode video: " + AvErrorText(result));
      if (ours) return;
    }
  }

  std::string path_;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* decoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  FramePtr frame_;
  int streamIndex_ = -1;
  bool draining_ = false;
};

class LavfiSource : public FrameSource {
 public:
  LavfiSource(const std::string& source, std::string graphText)
      : source_(source), graphText_(std::move(graphText)) {
    Build();
  }
  ~LavfiSource() override { avfilter_graph_free(&graph_); }

  AVFrame* Next() override {
    av_frame_unref(frame_.get());
    int result = av_buffersink_get_frame(sink_, frame_.get());
    if (result == AVERROR_EOF) return nullptr;
    if (result < 0) throw FileError(source_, "the filtergraph failed: " + AvErrorText(result));
    return frame_.get();
  }

  void Restart() override {
    avfilter_graph_free(&graph_);
    Build();
  }

  bool SeekBefore(int64_t) override { return false; }
  int64_t TimestampOf(const AVFrame& frame) const override { return frame.pts; }
  FieldOrder DeclaredFieldOrder() const override { return FieldOrder::kProgressive; }

  double Seconds(int64_t timestamp) const override {
    const AVRational base = av_buffersink_get_time_base(sink_);
    return base.den > 0 ? static_cast<double>(timestamp) * base.num / base.den : 0.0;
  }

  Rational FrameRate() const override {
    AVRational rate = av_buffersink_get_frame_rate(sink_);
    if (rate.num <= 0 || rate.den <= 0)
      throw FileError(source_, "the filtergraph gives no frame rate");
    return {rate.num, rate.den};
  }

 private:
  void Build() {
    graph_ = avfilter_graph_alloc();
    if (!frame_) frame_.reset(av_frame_alloc());
    if (!graph_ || !frame_) throw FileError(source_, "out of memory");
    graph_->nb_threads = 1;
    AVFilterInOut* inputs = nullptr;
    AVFilterInOut* outputs = nullptr;
    int result = avfilter_graph_parse2(graph_, graphText_.c_str(), &inputs, &outputs);
    std::string problem;
    if (result < 0) {
      problem = "invalid filtergraph: " + AvErrorText(result);
    } else if (inputs) {
      problem =
          "the filtergraph has an unconnected input; it must start from a source such as testsrc2";
    } else if (!outputs || outputs->next) {
      problem = "the filtergraph must have exactly one unconnected output";
    } else if (avfilter_pad_get_type(outputs->filter_ctx->output_pads, outputs->pad_idx) !=
               AVMEDIA_TYPE_VIDEO) {
      problem = "the filtergraph gives no video";
    } else {
      result = avfilter_graph_create_filter(&sink_, avfilter_get_by_name("buffersink"), "out",
                                            nullptr, nullptr, graph_);
      if (result >= 0) result = avfilter_link(outputs->filter_ctx, outputs->pad_idx, sink_, 0);
      if (result >= 0) result = avfilter_graph_config(graph_, nullptr);
      if (result < 0) problem = "invalid filtergraph: " + AvErrorText(result);
    }
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    if (!problem.empty()) {
      avfilter_graph_free(&graph_);
      throw FileError(source_, problem);
    }
  }

  std::string source_;
  std::string graphText_;
  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  FramePtr frame_;
};

}  // namespace

std::unique_ptr<FrameSource> OpenFileSource(const std::string& path) {
  return std::make_unique<FileSource>(path);
}

std::unique_ptr<FrameSource> OpenLavfiSource(const std::string& source, std::string graph) {
  return std::make_unique<LavfiSource>(source, std::move(graph));
}

}  // namespace cli
