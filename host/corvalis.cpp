#include "host/corvalis.h"

#include <cstdarg>
#include <cstdio>

void SourceImageList::clear() {
  frame.clear();
  level.clear();
  second.clear();
  interp.clear();
}

void SourceImageList::Append(const SourceImage& image) {
  frame.push_back(image.frame);
  level.push_back(image.level);
  second.push_back(image.second ? 1 : 0);
  interp.push_back(image.interp ? 1 : 0);
}

SourceImage SourceImageList::at(size_t index) const {
  return SourceImage{frame[index], level[index], second[index] != 0, interp[index] != 0};
}

Corvalis::Corvalis() {
  // The two records of a newly applied effect: a waypoint at the start with
  // the default speed, strobe and hold, and an unordered key at the end.
  keyTable.push_back(SpeedKey{0.0, static_cast<double>(speed), static_cast<double>(strobe),
                              static_cast<double>(hold), 1});
  keyTable.push_back(SpeedKey{1.0, 0.0, 0.0, 0.0, 0});
}

Corvalis::~Corvalis() = default;

void Corvalis::QueueMessage(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  // Longer lines are cut at the buffer; a line that cannot be formatted at
  // all queues as empty rather than as whatever the buffer held.
  if (std::vsnprintf(line, sizeof line, format, args) < 0) line[0] = '\0';
  va_end(args);
  pendingMessages.emplace_back(line);
}
