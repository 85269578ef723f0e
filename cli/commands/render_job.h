// Rendering output frames of a session into a media file: the part of
// `corvalis render` that `corvalis demo` shares.
#pragma once

#include <atomic>
#include <string>

#include "cli/commands/session.h"
#include "cli/media_error.h"
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
// The signal that asked for the stop (SIGINT or SIGTERM), 0 before one came.
extern std::atomic<int> interruptSignal;
// Installs SIGINT/SIGTERM handlers that set interruptRequested.
void InstallInterruptHandlers();

// A render stopped by a signal. The tool then exits with 128 + the signal's
// number, as a shell reports a program the signal ended, so that scripts
// calling it stop as well.
class RenderInterrupted : public MediaError {
 public:
  RenderInterrupted(const std::string& output, int signal);
  int ExitCode() const { return 128 + signal_; }

 private:
  int signal_;
};

// Renders frames first..last in order; returns the number written. Throws
// MediaError on failure and RenderInterrupted on a signal, leaving no output
// (neither OUT nor the console file, nor their temporary files).
int RunRenderJob(Session& session, const RenderJob& job);

}  // namespace cli
