// corvalis: retime video with the Corvalis effect through the reference host.
#include <cstdio>
#include <string>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/log.h>
}

#include "cli/commands/commands.h"
#include "cli/commands/render_job.h"
#include "cli/library_messages.h"
#include "cli/media_error.h"

namespace cli {
int commandExitCode = 0;
}

namespace {

std::string VersionText() {
  return std::string("corvalis ") + CORVALIS_VERSION + " (FFmpeg " + av_version_info() + ")";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app;
  app.require_subcommand(1);
  app.set_version_flag("--version", VersionText(), "Print the version and exit");
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
  // The top line names every command there is.
  std::string commands;
  for (const CLI::App* command : app.get_subcommands({})) {
    commands += (commands.empty() ? "" : ", ") + command->get_name();
  }
  app.description("corvalis: field-accurate speed ramps (" + commands + ")");
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
