// corvalis render INPUT -o OUT: renders the effect into a media file. INPUT is
// a project file, or a clip for a simple job keyed on the command line.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

extern "C" {
#include <libavutil/log.h>
}

#include "cli/commands/commands.h"
#include "cli/commands/render_job.h"
#include "cli/commands/source_report.h"
#include "refhost/timeline_probe.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// What the command line says besides the project or clip.
struct JobOptions {
  std::string input;
  std::vector<double> speed;  // at most one
  std::vector<std::string> keys;
  std::vector<std::string> settings;
  std::vector<std::string> codecOptions;
  int frames = 0;  // 0: not given
  std::string saveProject;
  std::string range;
  bool verbose = false;
  bool quiet = false;
};

// A project file is JSON: an object, so its first character is "{". Anything
// else is taken to be media.
bool IsProjectFile(const std::string& input) {
  if (IsLavfiSource(input)) return false;
  if (std::filesystem::path(input).extension() == ".json") return true;
  std::ifstream file(input, std::ios::binary);
  char first = 0;
  while (file.get(first) && std::isspace(static_cast<unsigned char>(first))) {
  }
  return file && first == '{';
}

// "true", "false", a number, or a text (a list item's label, a time code).
Json SettingJson(const std::string& value) {
  if (value == "true") return true;
  if (value == "false") return false;
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (!value.empty() && end == value.c_str() + value.size() && std::isfinite(number)) {
    return number;
  }
  return value;
}

// "id=value" into the document's parameters.
void AddSetting(Json& document, const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) {
    throw MediaError("--set " + text + ": expected ID=VALUE, e.g. deinterlace=None");
  }
  document["parameters"][text.substr(0, equals)] = SettingJson(text.substr(equals + 1));
}

// "SOURCE_FRAME:SPEED[:hold=N][:strobe=N]" as a project key.
Json KeyJson(const std::string& text) {
  const std::string usage =
      "--key " + text + ": expected SOURCE_FRAME:SPEED[:hold=N][:strobe=N], e.g. 48:25:hold=10";
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  auto number = [&](const std::string& part) {
    char* end = nullptr;
    const double value = std::strtod(part.c_str(), &end);
    if (part.empty() || end != part.c_str() + part.size() || !std::isfinite(value)) {
      throw MediaError(usage);
    }
    return value;
  };
  if (parts.size() < 2) throw MediaError(usage);
  const double frame = number(parts[0]);
  if (frame < 0 || frame != std::floor(frame) || frame > 2147483647.0) throw MediaError(usage);
  Json key = {{"frame", static_cast<int>(frame)}, {"speed", number(parts[1])}};
  for (size_t i = 2; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.rfind("hold=", 0) == 0) {
      key["hold"] = number(part.substr(5));
    } else if (part.rfind("strobe=", 0) == 0) {
      key["strobe"] = number(part.substr(7));
    } else {
      throw MediaError(usage);
    }
  }
  return key;
}

// The project a command line means. A clip's keys are waypoints at source
// frames, the first of them where playback starts; --speed alone is one
// waypoint at the clip's first frame.
Project CommandLineProject(const JobOptions& options) {
  if (!IsProjectFile(options.input)) {
    Json document;
    const std::filesystem::path clip(options.input);
    document["source"] = IsLavfiSource(options.input) || clip.is_absolute()
                             ? options.input
                             : std::filesystem::absolute(clip).lexically_normal().string();
    for (const std::string& setting : options.settings) AddSetting(document, setting);
    Json keys = Json::array();
    if (!options.speed.empty()) keys.push_back({{"frame", 0}, {"speed", options.speed[0]}});
    int lastKeyFrame = 0;
    for (const std::string& key : options.keys) {
      keys.push_back(KeyJson(key));
      lastKeyFrame = std::max(lastKeyFrame, keys.back()["frame"].get<int>());
    }
    if (!keys.empty()) document["keys"] = keys;
    // Until the clip's length is known, an effect that holds every key; the
    // keys are then checked against the clip and the length computed.
    document["frames"] = options.frames > 0 ? options.frames : lastKeyFrame + 1;
    return ProjectFromJson(document, options.input);
  }
  if (!options.speed.empty() || !options.keys.empty()) {
    throw MediaError(options.input +
                     ": --speed and --key key a clip; a project keys the effect in its \"keys\"");
  }
  Project project = LoadProject(options.input);
  for (const std::string& setting : options.settings) AddSetting(project.document, setting);
  if (options.frames > 0) project.document["frames"] = options.frames;
  return ProjectFromJson(project.document, project.path);
}

// Writes what the command line meant as the project file FILE.
void SaveJobProject(const Project& project, const std::string& file) {
  Project saved = project;
  if (!IsLavfiSource(project.source)) {
    // Media paths in a project start from the project's folder.
    const std::filesystem::path folder = std::filesystem::absolute(file).parent_path();
    saved.document["source"] =
        std::filesystem::absolute(project.source).lexically_relative(folder).string();
  }
  SaveProject(saved, file);
}

// True when an output unit of frames first..last shows a position within
// the effect but past the source's last field: there the effect, longer
// than its media, shows black.
bool ShowsPastTheSource(Session& session, int first, int last) {
  std::unique_ptr<refhost::EffectHost> host = session.NewHost();
  const std::vector<double> positions = refhost::BuildTimeline(*host).positions;
  const int unitsPerFrame = session.Settings().videoType == 0 ? 1 : 2;
  const double lastSourceUnit = session.Source().FrameCount() * unitsPerFrame - 1.0;
  const double lastEffectUnit = static_cast<double>(positions.size()) - 1.0;
  for (size_t u = static_cast<size_t>(first) * unitsPerFrame;
       u < positions.size() && u < static_cast<size_t>(last + 1) * unitsPerFrame; ++u) {
    // A hair below a whole unit shows that unit, as in the effect's lookup.
    const double position = positions[u];
    if (std::floor(position + 0.01) > lastSourceUnit && position <= lastEffectUnit) return true;
  }
  return false;
}

}  // namespace

void AddRenderCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "render",
      "Render every output frame of a project, or of a clip keyed on the command line, into OUT");
  auto options = std::make_shared<JobOptions>();
  auto job = std::make_shared<RenderJob>();
  command
      ->add_option("input", options->input,
                   "Project file (JSON), or a clip to retime with --speed, --key and --set")
      ->required();
  command
      ->add_option("-o,--output", job->output,
                   "Output media file; container from the extension; - discards the frames")
      ->required();
  command->add_flag("-y,--overwrite", job->writer.overwrite, "Replace OUT if it exists");
  command->add_option("--speed", options->speed, "A clip's speed in percent, from its first frame")
      ->expected(1);
  command->add_option("--key", options->keys,
                      "A clip's waypoint SOURCE_FRAME:SPEED[:hold=N][:strobe=N] (repeatable; "
                      "played in the order given)");
  command->add_option("--set", options->settings,
                      "Parameter ID=VALUE, e.g. deinterlace=None (repeatable; over the project's)");
  command
      ->add_option("--frames", options->frames,
                   "The effect's length in frames (default: a clip plays once; a project's "
                   "own \"frames\", else the source's length)")
      ->check(CLI::PositiveNumber);
  command->add_option("--save-project", options->saveProject,
                      "Write the project this command line means to FILE");
  command->add_option("--jobs", job->jobs, "Render with N instances on N threads")
      ->check(CLI::Range(1, 64));
  command->add_option("--range", options->range, "Render only output frames A-B (inclusive)");
  command->add_option("--console", job->consolePath, "Write the plug-in's console lines to FILE");
  command->add_flag("-v,--verbose", options->verbose,
                    "Print the plug-in's console lines on stderr");
  command->add_flag("-q,--quiet", options->quiet,
                    "Do not print what was assumed, progress or the frame count");
  auto* codec = command->add_option(
      "--codec", job->writer.codec,
      "Encoder or codec name (h264, prores, dnxhd, ffv1...); default: the container's own");
  command->add_option("--codec-option", options->codecOptions,
                      "Encoder setting KEY=VALUE, e.g. b=50M, g=12, profile=hq (repeatable)");
  command->add_option("--crf", job->writer.crf, "Constant rate factor for encoders that have one");
  command->add_option("--pix-fmt", job->writer.pixelFormat, "Pixel format of the output stream");
  command->callback([=] {
    InstallInterruptHandlers();
    if (options->verbose) av_log_set_level(AV_LOG_WARNING);
    // The threads the render may use may also index the source.
    MediaReaderOptions readerOptions;
    readerOptions.indexThreads = job->jobs;
    const bool fromClip = !IsProjectFile(options->input);
    Session session(CommandLineProject(*options), readerOptions);
    Project& project = session.GetProject();
    const int sourceLength = session.Source().FrameCount();
    if (fromClip) {
      for (size_t i = 0; i < options->keys.size(); ++i) {
        const int frame = (*project.keys)[i + options->speed.size()].at;
        if (frame > sourceLength - 1) {
          throw MediaError("--key " + options->keys[i] + ": source frame " + std::to_string(frame) +
                           " is past the clip's last frame (" + std::to_string(sourceLength - 1) +
                           ")");
        }
      }
    }
    const bool playOnce = fromClip && options->frames == 0;
    if (playOnce) {
      // The effect's length follows from the keys: long enough for the
      // whole clip to play once.
      refhost::PlayOnceLength length;
      try {
        length = refhost::FindPlayOnceLength(
            [&](int32_t frames) {
              session.SetEffectFrames(frames);
              return session.NewHost();
            },
            session.Source().FrameCount());
      } catch (const refhost::NeverEnds& error) {
        throw MediaError(options->input + ": " + error.what() + "; give the length with --frames");
      }
      session.SetEffectFrames(length.effectFrames);
      project.frames = length.effectFrames;
      project.document["frames"] = length.effectFrames;
      if (length.outputFrames != length.effectFrames) {
        project.outputFrames = length.outputFrames;
        project.document["outputFrames"] = length.outputFrames;
      }
    }
    if (!options->saveProject.empty()) SaveJobProject(project, options->saveProject);

    RenderJob run = *job;
    for (const std::string& option : options->codecOptions) {
      run.writer.codecOptions.push_back(ParseCodecOption(option));
    }
    // Discarded frames need no encoding unless an encoder is asked for.
    if (run.output == kDiscardOutput && codec->count() == 0) run.writer.codec = kDiscardCodec;
    run.consoleToStderr = options->verbose;
    run.progress = !options->quiet && isatty(STDERR_FILENO) != 0;
    if (!IsLavfiSource(project.source)) run.writer.sourcePaths.push_back(project.source);
    if (project.trackBelow && !IsLavfiSource(*project.trackBelow)) {
      run.writer.sourcePaths.push_back(*project.trackBelow);
    }
    const int effectFrames = session.Settings().totalFrames;
    const int rendered =
        project.outputFrames ? std::min(*project.outputFrames, effectFrames) : effectFrames;
    run.last = rendered - 1;
    if (!options->range.empty()) ParseRange(options->range, rendered, run.first, run.last);
    run.writer.tags = session.TagsForOutput(run.first);

    if (!options->quiet) std::fprintf(stderr, "%s\n", AssumptionLine(session, rendered).c_str());
    for (const std::string& note : SourceNotes(session, run.output)) {
      std::fprintf(stderr, "%s\n", note.c_str());
    }
    if (!playOnce && effectFrames > sourceLength &&
        ShowsPastTheSource(session, run.first, run.last)) {
      // As on an editor's timeline, there is nothing past the end of the media.
      std::fprintf(stderr,
                   "%s: the effect (%d frames) is longer than its source (%d frames); source "
                   "frames past its end show black\n",
                   project.path.c_str(), effectFrames, sourceLength);
    }
    int frames = RunRenderJob(session, run);
    if (!options->quiet)
      std::fprintf(stderr, "%s: %d frames written\n", run.output.c_str(), frames);
  });
}

}  // namespace cli
