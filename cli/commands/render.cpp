// corvalis render PROJECT.json -o OUT: renders the effect into a media file.
#include <unistd.h>

#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

#include "cli/commands/commands.h"
#include "cli/commands/render_job.h"

namespace cli {

void AddRenderCommand(CLI::App& app) {
  auto* command = app.add_subcommand("render", "Render every output frame of a project into OUT");
  auto project = std::make_shared<std::string>();
  auto job = std::make_shared<RenderJob>();
  auto range = std::make_shared<std::string>();
  auto verbose = std::make_shared<bool>(false);
  command->add_option("project", *project, "Project file (JSON)")->required();
  command
      ->add_option("-o,--output", job->output,
                   "Output media file; container from the extension; - discards the frames")
      ->required();
  command->add_flag("-y,--overwrite", job->writer.overwrite, "Replace OUT if it exists");
  command->add_option("--jobs", job->jobs, "Render with N instances on N threads")
      ->check(CLI::Range(1, 64));
  command->add_option("--range", *range, "Render only output frames A-B (inclusive)");
  command->add_option("--console", job->consolePath, "Write the plug-in's console lines to FILE");
  command->add_flag("-v,--verbose", *verbose, "Print the plug-in's console lines on stderr");
  auto* codec =
      command->add_option("--codec", job->writer.codec, "Encoder (default ffv1, bit-exact RGB)");
  command->add_option("--crf", job->writer.crf, "Constant rate factor for encoders that have one");
  command->add_option("--pix-fmt", job->writer.pixelFormat, "Pixel format of the output stream");
  command->callback([=] {
    InstallInterruptHandlers();
    if (*verbose) av_log_set_level(AV_LOG_WARNING);
    // The threads the render may use may also index the source.
    MediaReaderOptions readerOptions;
    readerOptions.indexThreads = job->jobs;
    Session session(LoadProject(*project), readerOptions);
    RenderJob run = *job;
    // Discarded frames need no encoding unless an encoder is asked for.
    if (run.output == kDiscardOutput && codec->count() == 0) run.writer.codec = kDiscardCodec;
    run.consoleToStderr = *verbose;
    run.progress = isatty(STDERR_FILENO) != 0;
    if (!IsLavfiSource(session.GetProject().source)) {
      run.writer.sourcePaths.push_back(session.GetProject().source);
    }
    if (session.GetProject().trackBelow && !IsLavfiSource(*session.GetProject().trackBelow)) {
      run.writer.sourcePaths.push_back(*session.GetProject().trackBelow);
    }
    if (!range->empty()) ParseRange(*range, session.Settings().totalFrames, run.first, run.last);
    const int sourceFrames = session.Source().FrameCount();
    if (session.Settings().totalFrames > sourceFrames) {
      // As on an editor's timeline, there is nothing past the end of the media.
      std::fprintf(stderr,
                   "%s: the effect (%d frames) is longer than its source (%d frames); source "
                   "frames past its end show black\n",
                   session.GetProject().path.c_str(), session.Settings().totalFrames,
                   sourceFrames);
    }
    int frames = RunRenderJob(session, run);
    std::fprintf(stderr, "%s: %d frames written\n", run.output.c_str(), frames);
  });
}

}  // namespace cli
