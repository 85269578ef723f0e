// The status label: the time code of the source field on screen.
#pragma once

#include <cstdint>
#include <string>

struct SourceImageList;

// The source field the current output shows: of a mix of exactly two fields
// the first that carries more than half of the picture, otherwise the field
// the lookup named (−1 for black).
int32_t ShownSourceField(const SourceImageList& images, int32_t sourceField);

// "HH:MM:SS:FF.1" (".2" for the second field; ";" before the frames in drop
// frame) for a source field counted from the time code of the first source
// frame; "--:--:--.-" for no field; empty when the time code is out of range.
std::string StatusText(const std::string& startTimeCode, double frameRate, int32_t sourceField);
