#include "cli/project_file.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/atomic_file.h"
#include "cli/media_reader.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// The fields a project and its keys may hold: a misspelt one would be
// ignored and its setting lost without a word, so any other is an error.
const std::vector<std::string> kProjectFields = {"source",         "trackBelow", "videoType",
                                                 "fieldDominance", "frames",     "outputFrames",
                                                 "parameters",     "keys",       "instanceData"};
const std::vector<std::string> kKeyFields = {"unit",   "frame", "time", "speed",
                                             "strobe", "hold",  "order"};

std::string Listed(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "\"" : ", \"") + name + "\"";
  return text;
}

// Reports the value found, shortened so one line stays readable.
std::string Shown(const Json& value) {
  std::string text = value.dump();
  constexpr size_t kLongest = 40;
  if (text.size() > kLongest) text = text.substr(0, kLongest) + "...";
  return text;
}

class Checker {
 public:
  explicit Checker(Project& project) : project_(project) {}

  [[noreturn]] void Fail(const std::string& jsonPath, const std::string& problem) const {
    throw ProjectError(project_, jsonPath, problem);
  }

  std::string Text(const Json& value, const std::string& jsonPath) const {
    if (!value.is_string()) Fail(jsonPath, "must be a text, not " + Shown(value));
    return value.get<std::string>();
  }

  double Number(const Json& value, const std::string& jsonPath) const {
    if (!value.is_number()) Fail(jsonPath, "must be a number, not " + Shown(value));
    return value.get<double>();
  }

  int WholeNumber(const Json& value, const std::string& jsonPath, int lowest) const {
    std::string wanted = lowest == 0 ? "a whole number, 0 or more"
                                     : "a whole number, " + std::to_string(lowest) + " or more";
    if (!value.is_number()) Fail(jsonPath, "must be " + wanted + ", not " + Shown(value));
    double number = value.get<double>();
    if (number != std::floor(number) || number < lowest || number > 2147483647.0) {
      Fail(jsonPath, "must be " + wanted + ", not " + Shown(value));
    }
    return static_cast<int>(number);
  }

  // 0 for the first of two allowed texts, 1 for the second.
  int Choice(const Json& value, const std::string& jsonPath, const std::string& first,
             const std::string& second) const {
    std::string text = Text(value, jsonPath);
    if (text != first && text != second) {
      Fail(jsonPath, "must be \"" + first + "\" or \"" + second + "\", not " + Shown(value));
    }
    return text == first ? 0 : 1;
  }

  // A media path: relative ones are taken from the project file's folder.
  std::string MediaPath(const Json& value, const std::string& jsonPath) const {
    std::string text = Text(value, jsonPath);
    if (text.empty()) Fail(jsonPath, "must name a clip or lavfi:<filtergraph>");
    if (IsLavfiSource(text)) return text;
    std::filesystem::path media(text);
    if (media.is_absolute()) return text;
    return (std::filesystem::path(project_.path).parent_path() / media).lexically_normal().string();
  }

  ProjectKey Key(const Json& value, const std::string& jsonPath) {
    if (!value.is_object())
      Fail(jsonPath, "must be an object such as {\"frame\": 0, \"speed\": 100}");
    ProjectKey key;
    key.jsonPath = jsonPath;
    int placements = 0;
    for (const auto& [name, field] : value.items()) {
      std::string fieldPath = jsonPath + "." + name;
      if (name == "unit" || name == "frame") {
        key.place = name == "unit" ? ProjectKey::Place::kUnit : ProjectKey::Place::kFrame;
        key.at = WholeNumber(field, fieldPath, 0);
        ++placements;
      } else if (name == "time") {
        key.place = ProjectKey::Place::kTime;
        key.at = Number(field, fieldPath);
        ++placements;
      } else if (name == "speed") {
        key.speed = Number(field, fieldPath);
      } else if (name == "strobe") {
        key.strobe = Number(field, fieldPath);
      } else if (name == "hold") {
        key.hold = Number(field, fieldPath);
      } else if (name == "order") {
        key.order = WholeNumber(field, fieldPath, 0);
      } else {
        Fail(fieldPath, "unknown field (a key has " + Listed(kKeyFields) + ")");
      }
    }
    if (placements == 0) Fail(jsonPath, "needs one of \"unit\", \"frame\" or \"time\"");
    if (placements > 1) Fail(jsonPath, "give only one of \"unit\", \"frame\" or \"time\"");
    return key;
  }

  void Top(const std::string& name, const Json& value) {
    if (name == "source") {
      project_.source = MediaPath(value, name);
    } else if (name == "trackBelow") {
      project_.trackBelow = MediaPath(value, name);
    } else if (name == "videoType") {
      project_.videoType = Choice(value, name, "interlaced", "progressive") == 0
                               ? VideoType::kInterlaced
                               : VideoType::kProgressive;
    } else if (name == "fieldDominance") {
      project_.fieldDominance = Choice(value, name, "top", "bottom") == 0 ? FieldDominance::kTop
                                                                          : FieldDominance::kBottom;
    } else if (name == "frames") {
      project_.frames = WholeNumber(value, name, 1);
    } else if (name == "parameters") {
      if (!value.is_object()) Fail(name, "must be an object of parameter ids and values");
      for (const auto& [id, setting] : value.items()) {
        std::string path = name + "." + id;
        if (!setting.is_number() && !setting.is_boolean() && !setting.is_string()) {
          Fail(path, "must be a number, true/false or a text, not " + Shown(setting));
        }
        project_.parameters.push_back({id, setting, path});
      }
    } else if (name == "keys") {
      if (!value.is_array()) Fail(name, "must be a list of keys");
      std::vector<ProjectKey> keys;
      for (size_t i = 0; i < value.size(); ++i) {
        keys.push_back(Key(value[i], name + "[" + std::to_string(i) + "]"));
      }
      project_.keys = std::move(keys);
    } else if (name == "outputFrames") {
      project_.outputFrames = WholeNumber(value, name, 1);
    } else if (name == "instanceData") {
      project_.instanceData = Text(value, name);
    } else {
      Fail(name, "unknown field (a project has " + Listed(kProjectFields) + ")");
    }
  }

 private:
  Project& project_;
};

// "line L, column C" of a byte position counted from 1, as editors count.
std::string LineAndColumn(const std::string& text, size_t byte) {
  size_t end = std::min(byte == 0 ? 0 : byte - 1, text.size());
  size_t line = 1;
  size_t column = 1;
  for (size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The parser's own explanation without its numbering and position prefix.
std::string ParseProblem(const nlohmann::json::parse_error& error) {
  std::string message = error.what();
  size_t start = message.find("syntax error");
  if (start == std::string::npos) start = message.rfind(": ");
  if (start == std::string::npos) return message;
  if (message.compare(start, 2, ": ") == 0) start += 2;
  return message.substr(start);
}

}  // namespace

MediaError ProjectError(const Project& project, const std::string& jsonPath,
                        const std::string& problem) {
  return MediaError(project.path + ": " + jsonPath + ": " + problem);
}

Project LoadProject(const std::string& path) {
  Project project;
  project.path = path;
  std::ifstream stream(path, std::ios::binary);
  if (!stream) throw FileError(path, std::strerror(errno));
  std::ostringstream contents;
  contents << stream.rdbuf();
  if (stream.bad()) throw FileError(path, std::string("cannot read: ") + std::strerror(errno));
  std::string text = contents.str();
  try {
    // Comments are allowed so that a project can explain its own settings.
    project.document = Json::parse(text, nullptr, true, true);
  } catch (const nlohmann::json::parse_error& error) {
    throw FileError(path, LineAndColumn(text, error.byte) + ": " + ParseProblem(error));
  } catch (const nlohmann::json::out_of_range&) {
    // The parser's only range error: a number beyond what a double holds.
    throw FileError(path, "a number is too large to read");
  }
  return ProjectFromJson(std::move(project.document), path);
}

Project ProjectFromJson(nlohmann::ordered_json document, const std::string& path) {
  Project project;
  project.path = path;
  project.document = std::move(document);
  if (!project.document.is_object()) {
    throw FileError(path, "must hold a JSON object such as {\"source\": \"clip.mov\"}");
  }
  Checker checker(project);
  for (const auto& [name, value] : project.document.items()) checker.Top(name, value);
  if (!project.document.contains("source")) {
    checker.Fail("source", "missing; name a clip or lavfi:<filtergraph>");
  }
  return project;
}

void SaveProject(const Project& project, const std::string& path) {
  Json document = project.document;
  if (project.instanceData) {
    document["instanceData"] = *project.instanceData;
  } else if (document.is_object()) {
    document.erase("instanceData");
  }
  WriteFileAtomically(path, document.dump(2) + "\n");
}

refhost::SettingValue ProjectParameter::Setting() const {
  if (value.is_number()) return refhost::SettingValue::Number(value.get<double>());
  if (value.is_boolean()) return refhost::SettingValue::Boolean(value.get<bool>());
  if (value.is_string()) return refhost::SettingValue::Text(value.get<std::string>());
  return refhost::SettingValue::Other();
}

refhost::Waypoint ProjectKey::AsWaypoint() const {
  refhost::Waypoint waypoint;
  waypoint.place = place;
  waypoint.at = at;
  waypoint.speed = speed;
  waypoint.strobe = strobe;
  waypoint.hold = hold;
  if (order) waypoint.order = *order;
  return waypoint;
}

void Project::ApplyScan(refhost::ProjectSettings& settings) const {
  if (videoType) settings.videoType = *videoType == VideoType::kProgressive ? 0 : 1;
  if (fieldDominance) {
    settings.fieldDominance =
        *fieldDominance == FieldDominance::kTop ? kAvxFieldOdd : kAvxFieldEven;
  }
}

}  // namespace cli
