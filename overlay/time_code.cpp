#include "overlay/time_code.h"

#include <cctype>
#include <cstdint>
#include <cstdio>

namespace {

// The NTSC band, counted with base 30 (and drop frame when asked).
bool InNtscBand(double rate) { return rate > 29.96 && rate < 29.98; }

// Frames per second of the count. Rates below one frame a second (and
// rates that are not numbers) count as one, so that no division by zero can
// occur; rates beyond what a count can hold count as the largest it can.
int32_t CountBase(double rate) {
  if (InNtscBand(rate)) return 30;
  if (!(rate >= 1.0)) return 1;
  if (rate >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(rate);
}

// Digits are assembled in a scratch text of this many characters with its
// terminator; anything longer is cut off, as the count could not hold it.
constexpr int kScratchSize = 52;

constexpr int32_t kTenMinuteFrames = 17982;
constexpr int32_t kTenMinuteLabels = 18000;
constexpr int32_t kMinuteLabels = 1800;
constexpr int32_t kDroppingMinuteFrames = 1798;
constexpr int32_t kLargestPacked = 24000000;

void Split(int32_t packed, int32_t& hours, int32_t& minutes, int32_t& seconds, int32_t& frames) {
  hours = (packed / 1000000) % 24;
  minutes = (packed / 10000) % 100;
  seconds = (packed / 100) % 100;
  frames = packed % 100;
}

}  // namespace

int32_t TimeCode::Parse(const char* text) {
  dropFrame = false;
  char scratch[kScratchSize];
  int length = 0;
  auto put = [&](char c) {
    if (length < kScratchSize - 1) scratch[length++] = c;
  };
  for (const char* c = text; c != nullptr && *c != 0; ++c) {
    if (*c == ':') continue;
    if (*c == ';') {
      dropFrame = frameRate > 29.96;
      continue;
    }
    if (*c == '.') {
      put('0');
      put('0');
      continue;
    }
    put(*c);
  }
  scratch[length] = 0;

  const char* p = scratch;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    // Saturates rather than overflowing; such values fail to format anyway.
    value = value * 10 + (*p++ - '0');
    if (value > INT32_MAX) value = INT32_MAX;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

int32_t TimeCode::PackedToFrames(int32_t packed, double rate) const {
  int32_t hours, minutes, seconds, frames;
  Split(packed, hours, minutes, seconds, frames);
  const int64_t label =
      (static_cast<int64_t>(hours * 60 + minutes) * 60 + seconds) * CountBase(rate) + frames;
  if (InNtscBand(rate) && dropFrame) return DropLabelToFrame(static_cast<int32_t>(label));
  return static_cast<int32_t>(label);
}

int32_t TimeCode::FramesToPacked(int32_t count, double rate) const {
  // In 64 bits: an hour of frames at a rate a host may report, and frames
  // beyond the base, overflow 32. The result is cut to 32 bits as the
  // callers store it; no time code within a day comes near that.
  const int64_t base = CountBase(rate);
  if (InNtscBand(rate) && dropFrame) count = DropFrameToLabel(count);
  const int64_t hours = (count / (3600 * base)) % 24;
  const int64_t minutes = (count / (60 * base)) % 60;
  const int64_t seconds = (count / base) % 60;
  const int64_t frames = count % base;
  return static_cast<int32_t>(((hours * 100 + minutes) * 100 + seconds) * 100 + frames);
}

bool TimeCode::Format(int32_t packed, char* text) const {
  if (packed < 0 || packed > kLargestPacked) {
    text[0] = 0;
    return false;
  }
  int32_t hours, minutes, seconds, frames;
  Split(packed, hours, minutes, seconds, frames);
  std::snprintf(text, kTextSize, dropFrame ? "%02d:%02d:%02d;%02d" : "%02d:%02d:%02d:%02d", hours,
                minutes, seconds, frames);
  return true;
}

int32_t TimeCode::DropFrameToLabel(int32_t count) {
  const int32_t tens = count / kTenMinuteFrames;
  const int32_t within = count % kTenMinuteFrames;
  const int32_t minute = within / kDroppingMinuteFrames;
  const int32_t rest = within - kDroppingMinuteFrames * minute;
  // Counts of more than 33 hours give labels beyond 32 bits: cut as above.
  int64_t label = (10 * static_cast<int64_t>(tens) + minute) * kMinuteLabels + rest;
  if (rest < 2 && within > 1) label -= 2;
  return static_cast<int32_t>(label);
}

int32_t TimeCode::DropLabelToFrame(int32_t label) {
  const int32_t tens = label / kTenMinuteLabels;
  const int32_t within = label - kTenMinuteLabels * tens;
  const int32_t minute = within / kMinuteLabels;
  const int32_t frame = within - kMinuteLabels * minute;
  int32_t count = kTenMinuteFrames * tens + kDroppingMinuteFrames * minute + frame;
  if (label % kMinuteLabels == 0 && label % kTenMinuteLabels > 0) count += 1;
  return count;
}
