// The project file of the command-line tool: a JSON object naming the source
// clip, the effect's settings and its keys. Loading checks the shape of the
// file (types, required fields, no unknown fields, one placement per key);
// whether parameter ids,
// list labels and key positions fit the effect is for the caller to check,
// reporting through ProjectError() so that every message has the same form:
// "project.json: keys[1].speed: must be a number".
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/media_error.h"
#include "refhost/effect_settings.h"
#include "refhost/project_settings.h"

namespace cli {

enum class VideoType { kInterlaced, kProgressive };
enum class FieldDominance { kTop, kBottom };

struct ProjectParameter {
  std::string id;
  // As written: a number, true/false or a text (a list item's label).
  nlohmann::ordered_json value;
  std::string jsonPath;  // "parameters.<id>"

  // The value as the reference host takes it (a JSON list or object fits no
  // parameter, and the effect's check says so).
  refhost::SettingValue Setting() const;
};

struct ProjectKey {
  using Place = refhost::Waypoint::Place;
  Place place = Place::kTime;
  // A unit or frame number (whole, not negative) or a time.
  double at = 0.0;
  std::optional<double> speed;
  std::optional<double> strobe;
  std::optional<double> hold;
  std::optional<int> order;
  std::string jsonPath;  // "keys[<index>]"

  refhost::Waypoint AsWaypoint() const;
};

struct Project {
  std::string path;  // the project file as given
  // Media paths are resolved against the project file's folder; "lavfi:"
  // sources are kept as written.
  std::string source;
  std::optional<std::string> trackBelow;
  std::optional<VideoType> videoType;
  std::optional<FieldDominance> fieldDominance;
  std::optional<int> frames;
  // How many of the effect's frames are rendered, from its first; all when
  // absent. A job that plays a clip once at more than 100 % needs an effect
  // as long as the clip (positions past the effect's length are outside its
  // source) but ends where the clip's last frame has played.
  std::optional<int> outputFrames;
  std::vector<ProjectParameter> parameters;  // in file order
  std::optional<std::vector<ProjectKey>> keys;
  std::optional<std::string> instanceData;
  // The whole file as read; saving writes it back with instanceData updated.
  nlohmann::ordered_json document;

  // The project's scan, where it gives one, over what `settings` took from
  // the source: the video type and the field shown first.
  void ApplyScan(refhost::ProjectSettings& settings) const;
};

// Reads and checks a project file; throws MediaError.
Project LoadProject(const std::string& path);

// Checks a project held in memory as if read from `path`, which names it in
// messages and is the folder relative media paths start from.
Project ProjectFromJson(nlohmann::ordered_json document, const std::string& path);

// Writes `project.document` to `path` atomically, with "instanceData" set
// from project.instanceData (or removed when it has none). Every other field
// is written back as it was read.
void SaveProject(const Project& project, const std::string& path);

// "<project file>: <jsonPath>: <problem>".
MediaError ProjectError(const Project& project, const std::string& jsonPath,
                        const std::string& problem);

}  // namespace cli
