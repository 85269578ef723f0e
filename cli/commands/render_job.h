// Rendering output frames of a session into a media file: the part of
// `corvalis render` that `corvalis demo` shares.
#pragma once

#include <atomic>
#include <string>

#include "cli/commands/session.h"
#include "cli/media_writer.h"

namespace cli {

struct RenderJob {
  std::string output;
  MediaWriterOptions writer;
  int jobs = 1;
  int first = 0;
  int last = -1;  // -1: the effect's last frame
  std::string consolePath;  // console lines of the plug-in go here when set
  bool consoleToStderr = false;
  bool progress = false;  // a progress line on stderr
};

// Set from a signal handler: stops a render, which then removes its
// temporary output.
extern std::atomic<bool> interruptRequested;
// Installs SIGINT/SIGTERM handlers that set interruptRequested.
void InstallInterruptHandlers();

// Renders frames first..last in order; returns the number written. Throws
// MediaError on failure (including an interruption), leaving no output.
int RunRenderJob(Session& session, const RenderJob& job);

}  // namespace cli
