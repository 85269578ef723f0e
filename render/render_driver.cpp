// The render request: refresh everything that depends on the host's current
// situation, locate the source for this output and build the output image.
#include "host/corvalis.h"
#include "host/module_state.h"

bool Corvalis::Render(avxRenderArgs*) {
  firstRenderPending = false;

  for (const std::string& line : pendingMessages) ConsolePrintf("%s", line.c_str());
  pendingMessages.clear();

  renderField = GetField();
  fieldDominance = GetFieldDominance();
  // The view never owns the host's pixels and is discarded without release.
  HostImageView output(GetOutput(0));
  frameBased = GetVideoType() == 0;

  LoadPhases();
  RebuildKeyTable();
  BuildTimeline();

  sourceImages.clear();
  sourcePosition = 0.0;
  sourceSpeed = 0.0;
  sourceStrobe = 0.0;
  sourceField = -1;
  LocateCurrentSource(GetCurrentFrame(), true);

  return GenerateOutput(output.buffer());
}
