// Opening media through the tool's reader: any bytes as a clip. Opening and
// reading frames either works or throws the tool's one error type; frames
// asked for out of order (which makes the reader seek or decode again) must
// be the same as in order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "cli/media_error.h"
#include "cli/media_reader.h"
#include "cli/tests/temp_dir.h"

namespace {

// Frames read per clip: enough to go forward, back and forward again.
constexpr int kFramesRead = 6;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const cli::TempDir folder("corvalis-fuzz-media");
  const std::string path = folder.Write("clip", std::string(data, data + size));

  cli::MediaReaderOptions options;
  options.cacheBytes = 1 << 20;  // small, so that frames are decoded again
  try {
    cli::MediaReader reader(path, options);
    const int count = reader.FrameCount();
    if (count <= 0 || reader.Width() <= 0 || reader.Height() <= 0) std::abort();
    const int last = count - 1;
    std::shared_ptr<const cli::VideoFrame> lastFrame = reader.Frame(last);
    std::shared_ptr<const cli::VideoFrame> first = reader.Frame(0);
    for (int n = 1; n < std::min(count, kFramesRead); ++n) reader.Frame(n);
    if (reader.Frame(0)->pixels != first->pixels) std::abort();
    if (reader.Frame(last)->pixels != lastFrame->pixels) std::abort();
  } catch (const cli::MediaError&) {
  }
  return 0;
}
