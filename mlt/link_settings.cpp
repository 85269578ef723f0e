#include "mlt/link_settings.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <stdexcept>

#include "cli/project_file.h"

namespace mltlink {

namespace {

// The keyed parameters, which take MLT animations.
const char* const kKeyed[] = {"speed", "strobe", "hold", "order"};

bool IsAnimation(const std::string& text) { return text.find('=') != std::string::npos; }

std::optional<double> WholeText(const std::string& text, bool wholeOnly) {
  if (text.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || *end != 0 || errno == ERANGE) return std::nullopt;
  if (wholeOnly && std::floor(value) != value) return std::nullopt;
  return value;
}

// A property's text as the parameter it sets takes it; what fits no form of
// the parameter goes on as text, and the effect's check names the problem.
refhost::SettingValue FromText(const avxParameter& parameter, const std::string& text) {
  switch (parameter.Kind()) {
    case avxParamKind::kNumber:
      if (auto number = WholeText(text, false)) return refhost::SettingValue::Number(*number);
      break;
    case avxParamKind::kList:
      if (auto index = WholeText(text, true)) return refhost::SettingValue::Number(*index);
      break;
    case avxParamKind::kBoolean:
      if (text == "1" || text == "true" || text == "yes" || text == "on") {
        return refhost::SettingValue::Boolean(true);
      }
      if (text == "0" || text == "false" || text == "no" || text == "off") {
        return refhost::SettingValue::Boolean(false);
      }
      break;
    default:
      break;
  }
  return refhost::SettingValue::Text(text);
}

// One of two texts: 0 for the first, 1 for the second.
int Choice(const std::string& name, const std::string& text, const char* first,
           const char* second) {
  if (text != first && text != second) {
    throw std::runtime_error("property " + name + ": must be \"" + first + "\" or \"" + second +
                             "\", not \"" + text + "\"");
  }
  return text == first ? 0 : 1;
}

// An animation parsed on its own, so that reading it changes no property.
class Animation {
 public:
  Animation(const std::string& name, const std::string& text, int length, double fps)
      : animation_(mlt_animation_new()), item_{0, 0, mlt_property_init(), mlt_keyframe_linear} {
    if (mlt_animation_parse(animation_, text.c_str(), length, fps, nullptr) != 0 ||
        mlt_animation_key_count(animation_) < 1) {
      mlt_animation_close(animation_);
      mlt_property_close(item_.property);
      throw std::runtime_error("property " + name + ": cannot read keys from \"" + text +
                               "\" (write FRAME=VALUE;FRAME=VALUE...)");
    }
    fps_ = fps;
  }
  ~Animation() {
    mlt_animation_close(animation_);
    mlt_property_close(item_.property);
  }
  Animation(const Animation&) = delete;
  Animation& operator=(const Animation&) = delete;

  std::vector<int> KeyFrames() {
    std::vector<int> frames;
    for (int i = 0; i < mlt_animation_key_count(animation_); ++i) {
      if (mlt_animation_key_get(animation_, &item_, i) == 0) frames.push_back(item_.frame);
    }
    return frames;
  }
  // The value at `frame`, between keys as MLT interpolates it.
  double At(int frame) {
    mlt_animation_get_item(animation_, &item_, frame);
    return mlt_property_get_double(item_.property, fps_, nullptr);
  }

 private:
  mlt_animation animation_;
  mlt_animation_item_s item_;
  double fps_ = 25.0;
};

}  // namespace

std::string SettingsSignature(mlt_properties link) {
  std::string signature;
  for (int i = 0; i < mlt_properties_count(link); ++i) {
    const char* name = mlt_properties_get_name(link, i);
    if (name == nullptr || name[0] == '_') continue;
    const char* value = mlt_properties_get(link, name);
    if (value == nullptr) continue;  // data, not a setting
    signature.append(name).append("=").append(value).append("\n");
  }
  return signature;
}

LinkSettings::LinkSettings(mlt_properties link, const SourceFacts& source) {
  for (int i = 0; i < mlt_properties_count(link); ++i) {
    const char* name = mlt_properties_get_name(link, i);
    const char* value = name ? mlt_properties_get(link, name) : nullptr;
    if (value != nullptr && name[0] != '_') properties_[name] = value;
  }
  settings_.width = source.width;
  settings_.height = source.height;
  settings_.frameRate = static_cast<double>(source.rateNum) / source.rateDen;
  settings_.totalFrames = source.frameCount;
  settings_.videoType = source.progressive ? 0 : 1;
  settings_.fieldDominance = source.topFieldFirst ? kAvxFieldOdd : kAvxFieldEven;
  settings_.fieldTopness = kAvxFieldOdd;

  if (!Property("project").empty()) ReadProject(Property("project"));
  if (const std::string frames = Property("frames"); !frames.empty()) {
    const auto count = WholeText(frames, true);
    if (!count || *count < 1 || *count > 2147483647.0) {
      throw std::runtime_error("property frames: must be a whole number, 1 or more, not \"" +
                               frames + "\"");
    }
    settings_.totalFrames = static_cast<int32_t>(*count);
  }
  if (const std::string type = Property("video_type"); !type.empty()) {
    settings_.videoType = Choice("video_type", type, "progressive", "interlaced");
  }
  if (const std::string dominance = Property("field_dominance"); !dominance.empty()) {
    settings_.fieldDominance =
        Choice("field_dominance", dominance, "top", "bottom") == 0 ? kAvxFieldOdd : kAvxFieldEven;
  }
  if (properties_.count("instance_data")) instanceData_ = Property("instance_data");
  if (settings_.totalFrames < 1) {
    throw std::runtime_error("the source has no frames; give the effect's length as frames=N");
  }
  ReadAnimations();
}

std::string LinkSettings::Property(const std::string& name) const {
  auto found = properties_.find(name);
  return found == properties_.end() ? "" : found->second;
}

void LinkSettings::ReadProject(const std::string& path) {
  cli::Project project;
  try {
    project = cli::LoadProject(path);
  } catch (const std::exception& error) {
    throw std::runtime_error(error.what());
  }
  if (project.frames) settings_.totalFrames = *project.frames;
  project.ApplyScan(settings_);
  if (project.instanceData) instanceData_ = project.instanceData;
  for (const cli::ProjectParameter& parameter : project.parameters) {
    projectParameters_.push_back(
        {parameter.id, parameter.Setting(), path + ": " + parameter.jsonPath});
  }
  if (project.keys) {
    Keys keys;
    for (const cli::ProjectKey& key : *project.keys) {
      keys.waypoints.push_back(key.AsWaypoint());
      keys.where.push_back(path + ": " + key.jsonPath);
    }
    projectKeys_ = std::move(keys);
  }
}

void LinkSettings::ReadAnimations() {
  const double fps = settings_.frameRate;
  std::map<std::string, std::unique_ptr<Animation>> animations;
  std::set<int> frames;
  for (const char* name : kKeyed) {
    const std::string text = Property(name);
    if (!IsAnimation(text)) continue;
    auto animation = std::make_unique<Animation>(name, text, settings_.totalFrames, fps);
    for (int frame : animation->KeyFrames()) frames.insert(frame);
    animations[name] = std::move(animation);
  }
  if (animations.empty()) return;
  Keys keys;
  for (int frame : frames) {
    refhost::Waypoint waypoint;
    waypoint.place = refhost::Waypoint::Place::kFrame;
    waypoint.at = frame;
    for (auto& [name, animation] : animations) {
      const double value = animation->At(frame);
      if (name == "speed") waypoint.speed = value;
      if (name == "strobe") waypoint.strobe = value;
      if (name == "hold") waypoint.hold = value;
      if (name == "order") waypoint.order = value;
    }
    keys.waypoints.push_back(waypoint);
    keys.where.push_back("the key at frame " + std::to_string(frame));
  }
  for (auto& [name, animation] : animations) keys.valueWhere[name] = "property " + name;
  propertyKeys_ = std::move(keys);
}

void LinkSettings::ApplyKeys(refhost::EffectHost& host, const Keys& keys) const {
  try {
    refhost::SetWaypoints(host, keys.waypoints);
  } catch (const refhost::SettingError& error) {
    const size_t index = error.Waypoint().value_or(0);
    std::string where = index < keys.where.size() ? keys.where[index] : "keys";
    if (!error.Field().empty()) {
      auto named = keys.valueWhere.find(error.Field());
      where = named != keys.valueWhere.end() ? named->second + ", " + where
                                             : where + "." + error.Field();
    }
    throw std::runtime_error(where + ": " + error.what());
  }
}

std::unique_ptr<refhost::EffectHost> LinkSettings::NewHost(
    refhost::Plugin& plugin, std::shared_ptr<refhost::Clip> clip) const {
  auto host = std::make_unique<refhost::EffectHost>(plugin, settings_);
  host->SetInput(1, std::move(clip));
  auto set = [&host](const std::string& id, const refhost::SettingValue& value,
                     const std::string& where) {
    try {
      refhost::SetParameter(*host, id, value);
    } catch (const refhost::SettingError& error) {
      throw std::runtime_error(where + ": " + error.what());
    }
  };
  for (const Setting& setting : projectParameters_) set(setting.id, setting.value, setting.where);
  if (projectKeys_) ApplyKeys(*host, *projectKeys_);
  for (const std::string& id : refhost::ParameterIds(*host)) {
    auto property = properties_.find(id);
    if (property == properties_.end() || IsAnimation(property->second)) continue;
    set(id, FromText(*host->Parameter(id), property->second), "property " + id);
  }
  if (propertyKeys_) ApplyKeys(*host, *propertyKeys_);
  if (instanceData_) {
    std::vector<uint8_t> block(instanceData_->begin(), instanceData_->end());
    block.push_back(0);
    host->SetInstanceDataBlock(block);
  }
  host->RefreshStorage();
  return host;
}

}  // namespace mltlink
