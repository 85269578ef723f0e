// Setting up an effect as a user states it, for every front end of the
// reference host (the command-line tool's project files and options, the MLT
// link's properties): parameters by their ids with the values a user writes
// (a number, true or false, a text, a list item by its label), and the speed
// keys as waypoints placed at output frames, units or effect times.
//
// Every function checks what it is given against the effect before changing
// anything, and throws SettingError naming the problem in the user's terms;
// the front end says where the setting came from.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>


namespace refhost {

class EffectHost;

// A value as a user writes it; kOther is anything else a front end was given
// (a JSON list, say), which fits no parameter.
struct SettingValue {
  enum class Kind { kNumber, kBoolean, kText, kOther };
  Kind kind = Kind::kNumber;
  double number = 0.0;
  bool boolean = false;
  std::string text;

  static SettingValue Number(double value) { return {Kind::kNumber, value, false, {}}; }
  static SettingValue Boolean(bool value) { return {Kind::kBoolean, 0.0, value, {}}; }
  static SettingValue Text(std::string value) {
    return {Kind::kText, 0.0, false, std::move(value)};
  }
  static SettingValue Other() { return {Kind::kOther, 0.0, false, {}}; }
};

// A setting that does not fit the effect. `field` names the part of the
// setting at fault when there is one (a waypoint's "speed"), `index` the
// waypoint it belongs to.
class SettingError : public std::runtime_error {
 public:
  explicit SettingError(const std::string& problem, std::string field = "",
                        std::optional<size_t> waypoint = std::nullopt)
      : std::runtime_error(problem), field_(std::move(field)), waypoint_(waypoint) {}
  const std::string& Field() const { return field_; }
  const std::optional<size_t>& Waypoint() const { return waypoint_; }

 private:
  std::string field_;
  std::optional<size_t> waypoint_;
};

// The ids of the effect's parameters (not its groups), in the effect's order.
std::vector<std::string> ParameterIds(EffectHost& host);

// Sets parameter `id` to one value over the whole effect: its value without
// keys and the value of every key it has. A list takes an item's label (or
// its index as a number), a number must lie within its range, a text within
// 255 characters.
void SetParameter(EffectHost& host, const std::string& id, const SettingValue& value);

// A waypoint: where its key stands and what it holds.
struct Waypoint {
  enum class Place { kUnit, kFrame, kTime };
  Place place = Place::kTime;
  double at = 0.0;  // a unit or frame number, or an effect time 0..1
  // Absent values take the parameter's value at the key's time; an absent
  // order is the waypoint's 1-based place in the list.
  std::optional<double> speed;
  std::optional<double> strobe;
  std::optional<double> hold;
  std::optional<double> order;
};

// Replaces the keys of "speed", "strobe", "hold" and "order" by one key per
// waypoint. A waypoint at a frame stands at the unit of the frame's first
// field; two waypoints may not share a time.
void SetWaypoints(EffectHost& host, const std::vector<Waypoint>& waypoints);

}  // namespace refhost
