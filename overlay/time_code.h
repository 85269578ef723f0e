// Time code: text HH:MM:SS:FF (HH:MM:SS;FF for drop frame), a packed decimal
// value whose digits read HHMMSSFF, and counts of real frames from
// 00:00:00:00, with SMPTE drop-frame counting in the NTSC band.
#pragma once

#include <cstdint>

class TimeCode {
 public:
  explicit TimeCode(double rate) : frameRate(rate) {}

  // Packed value of a text; sets dropFrame from a ";" in the NTSC band.
  int32_t Parse(const char* text);
  int32_t PackedToFrames(int32_t packed, double rate) const;
  int32_t FramesToPacked(int32_t count, double rate) const;
  // Writes the text into a buffer of at least kTextSize bytes; false (and an
  // empty text) when the value is outside 0 … 24:00:00:00.
  bool Format(int32_t packed, char* text) const;

  // A label of the 30-per-second count to the real frame it names.
  static int32_t DropLabelToFrame(int32_t label);
  // A real frame count to its label.
  static int32_t DropFrameToLabel(int32_t count);

  static constexpr int kTextSize = 16;

  double frameRate;
  bool dropFrame = false;
};
