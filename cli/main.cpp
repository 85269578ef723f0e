// corvalis: retime video with the Corvalis effect through the reference host.
#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

#include "cli/commands/commands.h"
#include "cli/commands/render_job.h"
#include "cli/library_messages.h"
#include "cli/media_error.h"

namespace cli {
int commandExitCode = 0;
}

int main(int argc, char** argv) {
  CLI::App app{"corvalis: field-accurate speed ramps (render, timeline, locate, demo)"};
  app.require_subcommand(1);
  // Our own messages name the file and the problem; the libraries' chatter
  // would only repeat them in their words.
  av_log_set_level(AV_LOG_FATAL);
  cli::CatchLibraryMessages();
  cli::AddRenderCommand(app);
  cli::AddTimelineCommand(app);
  cli::AddLocateCommand(app);
  cli::AddDemoCommand(app);
  cli::AddPhaseCommand(app);
  cli::AddOverlayCommand(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error);
  } catch (const cli::RenderInterrupted& error) {
    std::fprintf(stderr, "corvalis: %s\n", error.what());
    return error.ExitCode();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "corvalis: %s\n", error.what());
    return 1;
  }
  return cli::commandExitCode;
}
