#include "cli/media_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <unordered_map>

#include "cli/frame_source.h"
#include "cli/library_messages.h"
#include "cli/media_index.h"
#include "cli/packet_index.h"
#include "cli/pixel_convert.h"
#include "cli/yuv_frames.h"
#include "refhost/frame_cache.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace cli {

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  std::string result = text;
  while (!result.empty() && result.back() == '.') result.pop_back();
  std::string reason = TakeLibraryMessage();
  if (!reason.empty()) result += " (" + reason + ")";
  return result;
}

bool IsLavfiSource(const std::string& source) {
  return source.rfind(MediaReader::kLavfiPrefix, 0) == 0;
}

namespace {

// Pixel blocks of frames no one holds any more, kept for the next frames:
// a frame taken from here needs no allocation, page faults or clearing, since
// the conversion writes every one of its bytes.
class FramePool : public std::enable_shared_from_this<FramePool> {
 public:
  std::shared_ptr<VideoFrame> Take(int width, int height) {
    std::unique_ptr<VideoFrame> frame;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!idle_.empty()) {
        frame = std::move(idle_.back());
        idle_.pop_back();
      }
    }
    if (!frame) frame = std::make_unique<VideoFrame>();
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    if (frame->pixels.size() != bytes) frame->pixels.assign(bytes, 0);
    frame->width = width;
    frame->height = height;
    std::weak_ptr<FramePool> home = shared_from_this();
    return std::shared_ptr<VideoFrame>(frame.release(), [home](VideoFrame* released) {
      if (std::shared_ptr<FramePool> pool = home.lock()) {
        pool->Give(released);
      } else {
        delete released;
      }
    });
  }

 private:
  static constexpr size_t kKept = 8;

  void Give(VideoFrame* released) {
    std::unique_ptr<VideoFrame> frame(released);
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < kKept) idle_.push_back(std::move(frame));
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<VideoFrame>> idle_;
};

// Converts decoded frames of any format to 4-byte pixels of one size.
class Converter {
 public:
  Converter(int width, int height) : width_(width), height_(height) {}
  ~Converter() { sws_freeContext(context_); }

  std::shared_ptr<VideoFrame> Convert(const AVFrame& frame, const std::string& source,
                                      FramePool& pool) {
    // (Layouts converted by hand are kept as they are; see CachedFrame.)
    AVPixelFormat format = static_cast<AVPixelFormat>(frame.format);
    // Bit-exact, accurately rounded conversion keeps output identical on every machine.
    context_ = sws_getCachedContext(
        context_, frame.width, frame.height, format, width_, height_, AV_PIX_FMT_BGRA,
        SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INT, nullptr, nullptr,
        nullptr);
    if (!context_) {
      const char* name = av_get_pix_fmt_name(format);
      throw FileError(source,
                      std::string("cannot convert pixels of format ") + (name ? name : "unknown"));
    }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB)) {
      const YuvColour colour = SourceColourOf(frame);
      const int* coefficients = sws_getCoefficients(SwsColorspaceOf(colour.matrix));
      sws_setColorspaceDetails(context_, coefficients, colour.fullRange,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
    std::shared_ptr<VideoFrame> result = pool.Take(width_, height_);
    uint8_t* planes[4] = {result->pixels.data(), nullptr, nullptr, nullptr};
    int strides[4] = {result->RowBytes(), 0, 0, 0};
    sws_scale(context_, frame.data, frame.linesize, 0, frame.height, planes, strides);
    // The effect works on opaque video; a source's own alpha is not carried.
    CopyBgraRows(result->pixels.data(), result->RowBytes(), width_, height_, result->pixels.data(),
                 result->RowBytes(), true);
    return result;
  }

 private:
  int width_;
  int height_;
  SwsContext* context_ = nullptr;
};

// A decoded frame as it is kept: converted to 4-byte pixels, or, for the
// layouts converted by hand at the clip's size, the decoder's own planes,
// whose rows are converted straight into the buffer of whoever asks for
// them. That spares writing a whole converted frame and reading it back, and
// no thread converts rows nobody asks for.
struct CachedFrame {
  enum class Layout { kConverted, kPlanarRgb, kPackedBgra, kYuv };
  Layout layout = Layout::kConverted;
  std::shared_ptr<const VideoFrame> pixels;
  FramePtr planes;
  YuvPicture yuv;
  YuvColour colour;
  bool fieldChroma = false;

  // Rows firstRow, firstRow + step, ... as 4-byte pixels (the first `pixels`
  // of each) into dest, rows destRowBytes apart.
  void CopyRows(int firstRow, int step, int rows, int count, uint8_t* dest,
                int destRowBytes) const {
    switch (layout) {
      case Layout::kConverted:
        CopyBgraRows(pixels->pixels.data() + static_cast<ptrdiff_t>(firstRow) * pixels->RowBytes(),
                     pixels->RowBytes() * step, count, rows, dest, destRowBytes, false);
        return;
      case Layout::kPackedBgra:
        CopyBgraRows(planes->data[0] + static_cast<ptrdiff_t>(firstRow) * planes->linesize[0],
                     planes->linesize[0] * step, count, rows, dest, destRowBytes, true);
        return;
      case Layout::kYuv:
        YuvRowsToBgra(yuv, colour, fieldChroma, firstRow, step, rows, count, dest, destRowBytes);
        return;
      case Layout::kPlanarRgb:
        break;
    }
    const AVFrame& frame = *planes;
    const uint8_t* const starts[3] = {
        frame.data[0] + static_cast<ptrdiff_t>(firstRow) * frame.linesize[0],
        frame.data[1] + static_cast<ptrdiff_t>(firstRow) * frame.linesize[1],
        frame.data[2] + static_cast<ptrdiff_t>(firstRow) * frame.linesize[2]};
    const int strides[3] = {frame.linesize[0] * step, frame.linesize[1] * step,
                            frame.linesize[2] * step};
    PlanarRgbToBgra(starts, strides, count, rows, dest, destRowBytes);
  }
};

// Frames just before a requested one are kept as they pass, since effects
// that look at neighbours ask for them next.
constexpr int kNeighboursKept = 4;

}  // namespace

struct MediaReader::State {
  std::string source;
  std::unique_ptr<FrameSource> frames;
  int width = 0;
  int height = 0;
  Rational frameRate;
  FieldOrder fieldOrder = FieldOrder::kProgressive;
  FieldOrderOrigin fieldOrderOrigin = FieldOrderOrigin::kNone;
  FieldOrder declaredFieldOrder = FieldOrder::kProgressive;
  // Per frame number: the timestamp that identifies it, and whether it is a key frame.
  std::vector<int64_t> timestamps;
  std::vector<bool> keyFrames;
  std::unordered_map<int64_t, int> numberOfTimestamp;
  // When timestamps cannot name frames, frames are counted from the start.
  bool seekable = false;
  // The index was read from the container's packets, not made by decoding.
  bool fromPackets = false;
  // Frames 0, 1, ... as indexing decoded them, until they are cached.
  std::vector<FramePtr> decodedFirst;
  // The number of the frame Next() gives, whose timestamp it must have; -1
  // after a seek until the key frame sought comes.
  int position = 0;

  // Guards decoding, the cache and the frames in flight. Conversions run
  // outside it, so that threads asking for different frames convert them at
  // the same time while decoding stays in order.
  std::mutex mutex;
  std::unique_ptr<refhost::FrameCache<std::shared_ptr<const CachedFrame>>> cache;
  using FrameFuture = std::shared_future<std::shared_ptr<const CachedFrame>>;
  // Frames decoded and being converted by some thread; others wait for them.
  std::unordered_map<int, FrameFuture> inFlight;

  std::mutex convertersMutex;
  std::vector<std::unique_ptr<Converter>> idleConverters;
  std::shared_ptr<FramePool> pool = std::make_shared<FramePool>();

  // A decoded frame that the thread which decoded it converts.
  struct Pending {
    int number = 0;
    FramePtr frame;
    std::promise<std::shared_ptr<const CachedFrame>> promise;
  };

  void Index(bool isFile, const MediaReaderOptions& options);
  void PlayFromStart();
  // True when `frame` (null: the end) is frame `position`; else the error
  // that says what did not match.
  bool IsNextInSequence(const AVFrame* frame) const;
  MediaError OutOfSequence(const AVFrame* frame) const;
  // Decodes up to frame `number` (the mutex held), leaving it and the
  // neighbours just before it in `pending` unless cached or in flight.
  void Decode(int number, std::vector<Pending>& pending);
  // Converts pending frames (the mutex not held), then caches them.
  void ConvertPending(std::vector<Pending>& pending, std::unique_lock<std::mutex>& lock);
  // Keeps the planes of the layouts converted by hand at the clip's size,
  // converts the rest.
  std::shared_ptr<const CachedFrame> Convert(FramePtr frame);
  // The frame, decoded and kept or converted (0 ≤ number < frame count).
  std::shared_ptr<const CachedFrame> Get(int number);
  // The number of a frame by its timestamp, -1 when none has it (files
  // whose frames have distinct timestamps only).
  int NumberOf(const AVFrame& frame);
  int LastKeyFrameAtOrBefore(int number) const;
};

void MediaReader::State::Index(bool isFile, const MediaReaderOptions& options) {
  std::optional<MediaIndex> index;
  if (isFile && !options.indexByDecoding) {
    index = IndexFromPackets(*frames);
    fromPackets = index.has_value();
    if (!index) frames->Restart();
  }
  if (!index && isFile && options.indexThreads > 1) {
    index = IndexInParts(*frames, source, options.indexThreads);
    if (!index) frames->Restart();
  }
  if (!index) index = IndexSerially(*frames, source, isFile, options.lavfiFrameLimit);
  if (index->timestamps.empty()) throw FileError(source, "the video stream has no frames");
  width = index->width;
  height = index->height;
  if (width <= 0 || height <= 0) throw FileError(source, "the video has no picture size");
  timestamps = std::move(index->timestamps);
  keyFrames = std::move(index->keyFrames);
  decodedFirst = std::move(index->firstFrames);
  bool uniqueTimestamps = isFile;
  for (size_t number = 0; number < timestamps.size() && uniqueTimestamps; ++number) {
    const int64_t timestamp = timestamps[number];
    if (timestamp == AV_NOPTS_VALUE ||
        !numberOfTimestamp.emplace(timestamp, static_cast<int>(number)).second) {
      uniqueTimestamps = false;
    }
  }
  seekable = uniqueTimestamps;
  if (!seekable) numberOfTimestamp.clear();
  frameRate = frames->FrameRate();
  // A container's order may contradict the frames (a file remuxed or
  // retagged by hand); the frames are what the decoder shows, so they
  // decide whenever they say interlaced.
  // Codecs without interlace flags mark every frame progressive, which says
  // nothing; then the container decides.
  const FieldOrder declared = frames->DeclaredFieldOrder();
  declaredFieldOrder = declared;
  if (index->flaggedOrder != FieldOrder::kProgressive) {
    fieldOrder = index->flaggedOrder;
    fieldOrderOrigin = FieldOrderOrigin::kFrameFlags;
  } else {
    fieldOrder = declared;
    fieldOrderOrigin = declared != FieldOrder::kProgressive ? FieldOrderOrigin::kContainer
                                                            : FieldOrderOrigin::kNone;
  }
  if (index->followsFirstFrames) {
    position = static_cast<int>(decodedFirst.size());
  } else {
    PlayFromStart();
  }
}

int MediaReader::State::LastKeyFrameAtOrBefore(int number) const {
  for (int i = number; i > 0; --i) {
    if (keyFrames[i]) return i;
  }
  return 0;
}

int MediaReader::State::NumberOf(const AVFrame& frame) {
  auto found = numberOfTimestamp.find(frames->TimestampOf(frame));
  return found == numberOfTimestamp.end() ? -1 : found->second;
}

void MediaReader::State::PlayFromStart() {
  frames->Restart();
  position = 0;
}

bool MediaReader::State::IsNextInSequence(const AVFrame* frame) const {
  // Counted frames have no timestamps to check.
  return frame && (!seekable || frames->TimestampOf(*frame) == timestamps[position]);
}

MediaError MediaReader::State::OutOfSequence(const AVFrame* frame) const {
  auto at = [&](int64_t timestamp) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", frames->Seconds(timestamp));
    return std::to_string(timestamp) + " (" + seconds + " s)";
  };
  const std::string index = fromPackets ? "the container's packets have" : "the index has";
  std::string problem =
      frame
          ? "frame " + std::to_string(position) + " decodes with time stamp " +
                at(frames->TimestampOf(*frame)) + " where " + index + " " + at(timestamps[position])
          : "the decoder ends after " + std::to_string(position) + " frames where " + index + " " +
                std::to_string(timestamps.size());
  problem += fromPackets ? std::string(": the file's packets do not match its pictures; ") +
                               kIndexingVariable + "=decode counts its frames by decoding them"
                         : ": the decoder gave other frames when the file was indexed";
  return FileError(source, problem);
}

void MediaReader::State::Decode(int number, std::vector<Pending>& pending) {
  int keyFrame = LastKeyFrameAtOrBefore(number);
  // Decoding on is never worse than seeking when no key frame lies between.
  const bool aheadInReach =
      position >= 0 && position <= number && (keyFrame <= position || !seekable);
  if (!aheadInReach) {
    if (seekable && keyFrame > 0 && frames->SeekBefore(timestamps[keyFrame])) {
      position = -1;
    } else {
      PlayFromStart();
      keyFrame = 0;
    }
  }
  while (true) {
    AVFrame* frame = frames->Next();
    int found = position;
    if (position >= 0) {
      // In sequence: a frame other than the next one would be misnumbered.
      if (!IsNextInSequence(frame)) {
        const MediaError error = OutOfSequence(frame);
        position = -1;  // the next request starts afresh and meets it again
        throw error;
      }
    } else {
      // After a seek, frames shown before the key frame sought may lean on
      // pictures that were never decoded; they are passed over. The key frame
      // starts the sequence.
      found = frame ? NumberOf(*frame) : -1;
      if (found >= 0 && found < keyFrame) continue;
      if (found != keyFrame) {
        // The seek landed past the key frame, or on frames that cannot be
        // named: play from the start, which always finds it.
        PlayFromStart();
        keyFrame = 0;
        continue;
      }
    }
    position = found + 1;
    if (found >= number - kNeighboursKept) {
      if (!cache->Find(found) && inFlight.find(found) == inFlight.end()) {
        Pending next;
        next.number = found;
        next.frame.reset(av_frame_clone(frame));
        if (!next.frame) throw FileError(source, "out of memory");
        inFlight.emplace(found, next.promise.get_future().share());
        pending.push_back(std::move(next));
      }
      if (found == number) return;
    }
  }
}

std::shared_ptr<const CachedFrame> MediaReader::State::Convert(FramePtr frame) {
  auto kept = std::make_shared<CachedFrame>();
  if (frame->width == width && frame->height == height) {
    YuvPicture layout;
    if (YuvLayoutOf(frame->format, layout)) {
      kept->layout = CachedFrame::Layout::kYuv;
      kept->yuv = YuvPictureOf(*frame, layout);
      kept->colour = SourceColourOf(*frame);
      kept->fieldChroma = fieldOrder != FieldOrder::kProgressive;
    } else if (frame->format == AV_PIX_FMT_GBRP) {
      kept->layout = CachedFrame::Layout::kPlanarRgb;
    } else if (frame->format == AV_PIX_FMT_BGRA) {
      kept->layout = CachedFrame::Layout::kPackedBgra;
    }
    if (kept->layout != CachedFrame::Layout::kConverted) {
      kept->planes = std::move(frame);
      return kept;
    }
  }
  std::unique_ptr<Converter> converter;
  {
    std::lock_guard<std::mutex> lock(convertersMutex);
    if (!idleConverters.empty()) {
      converter = std::move(idleConverters.back());
      idleConverters.pop_back();
    }
  }
  if (!converter) converter = std::make_unique<Converter>(width, height);
  kept->pixels = converter->Convert(*frame, source, *pool);
  std::lock_guard<std::mutex> lock(convertersMutex);
  idleConverters.push_back(std::move(converter));
  return kept;
}

void MediaReader::State::ConvertPending(std::vector<Pending>& pending,
                                        std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  std::vector<std::shared_ptr<const CachedFrame>> converted(pending.size());
  std::exception_ptr failure;
  for (size_t i = 0; i < pending.size(); ++i) {
    if (!failure) {
      try {
        converted[i] = Convert(std::move(pending[i].frame));
      } catch (...) {
        failure = std::current_exception();
      }
    }
    pending[i].frame.reset();
  }
  lock.lock();
  for (size_t i = 0; i < pending.size(); ++i) {
    if (converted[i]) {
      cache->Insert(pending[i].number, converted[i]);
      pending[i].promise.set_value(converted[i]);
    } else {
      pending[i].promise.set_exception(failure);
    }
    inFlight.erase(pending[i].number);
  }
}

MediaReader::MediaReader(const std::string& source, MediaReaderOptions options)
    : state_(std::make_unique<State>()) {
  state_->source = source;
  const char* indexing = std::getenv(kIndexingVariable);
  if (indexing && std::strcmp(indexing, "decode") == 0) options.indexByDecoding = true;
  bool isFile = !IsLavfiSource(source);
  if (isFile) {
    struct stat info;
    if (stat(source.c_str(), &info) != 0) throw FileError(source, std::strerror(errno));
    if (S_ISDIR(info.st_mode)) throw FileError(source, "is a folder, not a video file");
    state_->frames = OpenFileSource(source);
  } else {
    std::string graph = source.substr(std::strlen(kLavfiPrefix));
    if (graph.empty()) throw FileError(source, "no filtergraph after \"lavfi:\"");
    state_->frames = OpenLavfiSource(source, graph);
  }
  state_->Index(isFile, options);
  size_t frameBytes = static_cast<size_t>(state_->width) * state_->height * 4;
  state_->cache = std::make_unique<refhost::FrameCache<std::shared_ptr<const CachedFrame>>>(
      options.cacheBytes / frameBytes, FrameCount());
  for (size_t number = 0; number < state_->decodedFirst.size(); ++number) {
    state_->cache->Insert(static_cast<int>(number),
                          state_->Convert(std::move(state_->decodedFirst[number])));
  }
  state_->decodedFirst.clear();
}

MediaReader::~MediaReader() = default;

const std::string& MediaReader::Source() const { return state_->source; }
int MediaReader::Width() const { return state_->width; }
int MediaReader::Height() const { return state_->height; }
int MediaReader::FrameCount() const { return static_cast<int>(state_->timestamps.size()); }
Rational MediaReader::FrameRate() const { return state_->frameRate; }
FieldOrder MediaReader::GetFieldOrder() const { return state_->fieldOrder; }
FieldOrderOrigin MediaReader::GetFieldOrderOrigin() const { return state_->fieldOrderOrigin; }
FieldOrder MediaReader::GetDeclaredFieldOrder() const { return state_->declaredFieldOrder; }

std::shared_ptr<const CachedFrame> MediaReader::State::Get(int number) {
  if (number < 0 || number >= static_cast<int>(timestamps.size())) {
    throw FileError(source, "no frame " + std::to_string(number) + " (the clip has " +
                                std::to_string(timestamps.size()) + " frames)");
  }
  std::unique_lock<std::mutex> lock(mutex);
  if (auto cached = cache->Find(number)) return cached;
  auto flying = inFlight.find(number);
  if (flying == inFlight.end()) {
    std::vector<Pending> pending;
    try {
      Decode(number, pending);
    } catch (...) {
      // Nothing decoded here is converted; whoever waits for it learns why.
      for (Pending& frame : pending) {
        frame.promise.set_exception(std::current_exception());
        inFlight.erase(frame.number);
      }
      throw;
    }
    // Decode left the frame asked for in `pending`, whose futures are in
    // flight until ConvertPending has cached them.
    FrameFuture wanted = inFlight.at(number);
    ConvertPending(pending, lock);
    lock.unlock();
    return wanted.get();
  }
  FrameFuture waiting = flying->second;
  lock.unlock();
  return waiting.get();
}

std::shared_ptr<const VideoFrame> MediaReader::Frame(int number) {
  std::shared_ptr<const CachedFrame> cached = state_->Get(number);
  if (cached->layout == CachedFrame::Layout::kConverted) return cached->pixels;
  std::shared_ptr<VideoFrame> frame = state_->pool->Take(Width(), Height());
  cached->CopyRows(0, 1, Height(), Width(), frame->pixels.data(), frame->RowBytes());
  return frame;
}

void MediaReader::ReadRows(int number, int firstRow, int step, int rows, int pixels, uint8_t* dest,
                           int destRowBytes) {
  state_->Get(number)->CopyRows(firstRow, step, rows, pixels, dest, destRowBytes);
}

void MediaReader::ReadFrame(int number, uint8_t* dest, int rowBytes) {
  ReadRows(number, 0, 1, Height(), Width(), dest, rowBytes);
}

}  // namespace cli
