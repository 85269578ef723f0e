// The tool's project file: any bytes as a project. Loading either gives a
// project or throws the tool's one error type (a line naming the file);
// nothing else may escape. A project that loads is saved and loaded again,
// and must come back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cli/media_error.h"
#include "cli/project_file.h"
#include "cli/tests/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const cli::TempDir folder("corvalis-fuzz-project");
  static const std::string savedPath = folder.File("saved.json");
  const std::string path = folder.Write("project.json", std::string(data, data + size));

  cli::Project project;
  try {
    project = cli::LoadProject(path);
  } catch (const cli::MediaError&) {
    return 0;
  }
  cli::SaveProject(project, savedPath);
  cli::Project again = cli::LoadProject(savedPath);
  if (again.document != project.document || again.instanceData != project.instanceData ||
      again.source != project.source || again.keys.has_value() != project.keys.has_value()) {
    std::abort();
  }
  return 0;
}
