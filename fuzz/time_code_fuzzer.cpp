// Time code text, packed values and frame counts: any text at any frame rate
// a host can report. Besides the sanitizers' checks, formatting and parsing
// must agree and drop-frame counting must be its own inverse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "overlay/time_code.h"

namespace {

constexpr double kCommonRates[] = {23.976, 24.0, 25.0, 29.97, 30.0, 50.0, 59.94, 60.0,
                                   29.96, 29.98, 0.5, 1.0};
// Real frames in 24 hours of drop-frame time code, the most a count names.
constexpr int32_t kDayOfDropFrames = 2589408;

void Check(bool condition) {
  if (!condition) std::abort();
}

int32_t Int32At(const uint8_t* bytes) {
  uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return static_cast<int32_t>(value);
}

}  // namespace

// Input: one byte choosing the rate (a common one, or a rational num/den
// from the next eight bytes as a host reading a media file would give it),
// four bytes of frame count, then the text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 13) return 0;
  const uint8_t selector = data[0];
  double rate = kCommonRates[selector % (sizeof kCommonRates / sizeof kCommonRates[0])];
  if (selector >= 128) {
    const int32_t num = Int32At(data + 1);
    const int32_t den = Int32At(data + 5);
    if (num > 0 && den > 0) rate = static_cast<double>(num) / den;
  }
  const int32_t count = Int32At(data + 9);
  const std::string text(reinterpret_cast<const char*>(data + 13), size - 13);

  TimeCode timeCode(rate);
  const int32_t packed = timeCode.Parse(text.c_str());
  const int32_t frames = timeCode.PackedToFrames(packed, rate);
  char formatted[TimeCode::kTextSize];
  // A later frame than the parsed one, kept inside int32 when the text
  // already names a count near its limit.
  const int64_t later = static_cast<int64_t>(frames) + (count & 0xffff);
  const int32_t laterFrame = later > INT32_MAX ? INT32_MAX : static_cast<int32_t>(later);
  if (timeCode.Format(timeCode.FramesToPacked(laterFrame, rate), formatted)) {
    Check(std::strlen(formatted) < sizeof formatted);
  }
  timeCode.Format(timeCode.FramesToPacked(count, rate), formatted);

  // What Format writes, Parse reads back (hours are counted modulo 24).
  if (timeCode.Format(packed, formatted)) {
    TimeCode reader(rate);
    Check(reader.Parse(formatted) == packed % 24000000);
  }

  // Drop-frame labels and real frames convert both ways without loss.
  const int32_t day = count % kDayOfDropFrames;
  const int32_t real = day < 0 ? -day : day;
  Check(TimeCode::DropLabelToFrame(TimeCode::DropFrameToLabel(real)) == real);
  TimeCode::DropLabelToFrame(count);
  TimeCode::DropFrameToLabel(count);
  return 0;
}
