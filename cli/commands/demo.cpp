// corvalis demo: the main job on an embedded default — a moving interlaced
// test clip, slowed from 100 % to 25 % with a hold, and back, "Adaptive".
#include <sys/stat.h>

#include <cstdio>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "cli/commands/commands.h"
#include "cli/atomic_file.h"
#include "cli/commands/render_job.h"

namespace cli {

namespace {

// 720x486 at 60000/1001 progressive, woven into 30000/1001 top field first.
constexpr const char* kDemoProject = R"({
  "source": "lavfi:testsrc2=size=720x486:rate=60000/1001:duration=4,interlace=scan=tff",
  "videoType": "interlaced",
  "fieldDominance": "top",
  "parameters": {
    "deinterlace": "Adaptive",
    "afterEnd": "Hold Speed",
    "timeCode": "01:00:00;00"
  },
  "keys": [
    { "frame": 0, "speed": 100 },
    { "frame": 30, "speed": 25, "hold": 20 },
    { "frame": 45, "speed": 100 }
  ]
})";

}  // namespace

void AddDemoCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "demo", "Retime a built-in interlaced test clip (100 % -> 25 % -> 100 %, Adaptive)");
  auto folder = std::make_shared<std::string>("out");
  auto jobs = std::make_shared<int>(2);
  command->add_option("-o,--output-dir", *folder, "Folder for demo.mkv and demo.json");
  command->add_option("--jobs", *jobs, "Render threads")->check(CLI::Range(1, 64));
  command->callback([=] {
    InstallInterruptHandlers();
    if (mkdir(folder->c_str(), 0777) != 0 && errno != EEXIST) {
      throw FileError(*folder, std::strerror(errno));
    }
    // The project is written next to the clip so the user can edit and
    // re-render it with `corvalis render`.
    const std::string projectPath = *folder + "/demo.json";
    WriteFileAtomically(projectPath, std::string(kDemoProject) + "\n");
    Session session(LoadProject(projectPath));
    RenderJob job;
    job.output = *folder + "/demo.mkv";
    job.writer.overwrite = true;  // the demo's own output, made anew each run
    job.jobs = *jobs;
    job.progress = isatty(STDERR_FILENO) != 0;
    int frames = RunRenderJob(session, job);
    std::printf("wrote %s (%d frames, %dx%d, FFV1) from the project %s\n", job.output.c_str(),
                frames, session.Settings().width, session.Settings().height, projectPath.c_str());
  });
}

}  // namespace cli
