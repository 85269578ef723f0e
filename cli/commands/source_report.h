// What `corvalis render` says before it renders: one line with what it
// assumed about the source and the effect, and notes on what the render does
// not carry over as the source has it (sound, variable frame rate, turned
// pictures, precision beyond 8 bits).
#pragma once

#include <string>
#include <vector>

#include "cli/commands/session.h"

namespace cli {

// "clip.mov: 1920x1080 at 25 fps, interlaced, top field first (the frames'
// flags); 10 source frames; effect 20 frames".
std::string AssumptionLine(Session& session, int renderedFrames);

// One line per thing the output will not keep as the source has it.
std::vector<std::string> SourceNotes(Session& session, const std::string& output);

}  // namespace cli
