// What a corvalis link's properties say about the effect, read once per
// change: a project file (`project`, its effect part; the chain is the
// source), parameters by the effect's ids with texts a user writes (numbers,
// 0/1 or true/false, list labels: `deinterlace=Adaptive`), the speed keys as
// MLT animations on `speed`, `strobe`, `hold` and `order`
// (`speed="0=100;30=25;60=100"`: waypoints at output frames), and
// `video_type`, `field_dominance`, `frames` and `instance_data`. Properties
// override the project file; animated keys replace its keys.
#pragma once

#include <framework/mlt.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mlt/upstream.h"
#include "refhost/effect_host.h"
#include "refhost/effect_settings.h"

namespace mltlink {

// The link's properties a user sets, as text, in one string: two readings
// differ exactly when the effect must be set up anew.
std::string SettingsSignature(mlt_properties link);

class LinkSettings {
 public:
  // Reads the properties (and the project file they name). Throws
  // std::runtime_error with one line naming the property or file at fault.
  LinkSettings(mlt_properties link, const SourceFacts& source);

  const refhost::ProjectSettings& Project() const { return settings_; }

  // A new effect instance reading `clip`, set up as the properties say.
  // Throws std::runtime_error as the constructor does.
  std::unique_ptr<refhost::EffectHost> NewHost(refhost::Plugin& plugin,
                                               std::shared_ptr<refhost::Clip> clip) const;

 private:
  struct Setting {
    std::string id;
    refhost::SettingValue value;
    std::string where;
  };
  struct Keys {
    std::vector<refhost::Waypoint> waypoints;
    // Where each waypoint and each of its values came from, for messages.
    std::vector<std::string> where;
    std::map<std::string, std::string> valueWhere;  // by value name, "" when per waypoint
  };

  void ReadProject(const std::string& path);
  void ReadAnimations();
  std::string Property(const std::string& name) const;
  void ApplyKeys(refhost::EffectHost& host, const Keys& keys) const;

  std::map<std::string, std::string> properties_;
  refhost::ProjectSettings settings_;
  std::vector<Setting> projectParameters_;
  std::optional<Keys> projectKeys_;
  std::optional<Keys> propertyKeys_;  // replace the project's keys
  std::optional<std::string> instanceData_;
};

}  // namespace mltlink
