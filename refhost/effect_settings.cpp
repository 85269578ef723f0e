#include "refhost/effect_settings.h"

#include <cmath>
#include <cstring>
#include <sstream>

#include "refhost/effect_host.h"

namespace refhost {

namespace {

// Texts the effect stores keep their terminating zero within this.
constexpr size_t kLongestText = 255;

std::string Number(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

std::vector<uint8_t> DoubleBytes(double value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

void CheckRange(const avxPNumber& number, double value, const std::string& field = "",
                std::optional<size_t> waypoint = std::nullopt) {
  if (!std::isfinite(value) || value < number.Lower() || value > number.Upper()) {
    throw SettingError(Number(value) + " is out of range (" + Number(number.Lower()) + " to " +
                           Number(number.Upper()) + ")",
                       field, waypoint);
  }
}

void SetEverywhere(EffectHost& host, avxParameter& parameter, const std::vector<uint8_t>& bytes) {
  parameter.SetStaticBytes(bytes);
  for (int32_t i = 0; i < parameter.GetNumKeys(); ++i) parameter.GetKey(i)->SetValueBytes(bytes);
  host.RefreshStorage();
}

int32_t ListIndex(const avxPList& list, const SettingValue& value) {
  std::string labels;
  for (const std::string& item : list.Items()) {
    labels += (labels.empty() ? "\"" : ", \"") + item + "\"";
  }
  const int32_t count = static_cast<int32_t>(list.Items().size());
  if (value.kind == SettingValue::Kind::kNumber) {
    if (value.number >= 0 && value.number < count && std::floor(value.number) == value.number) {
      return static_cast<int32_t>(value.number);
    }
    throw SettingError("must be one of " + labels);
  }
  if (value.kind != SettingValue::Kind::kText) throw SettingError("must be one of " + labels);
  for (int32_t i = 0; i < count; ++i) {
    if (list.Items()[static_cast<size_t>(i)] == value.text) return i;
  }
  throw SettingError("unknown label \"" + value.text + "\" (labels: " + labels + ")");
}

}  // namespace

std::vector<std::string> ParameterIds(EffectHost& host) {
  std::vector<std::string> ids;
  for (int32_t i = 0; i < host.Instance().ParameterCount(); ++i) {
    avxParameter* parameter = host.Instance().ParameterAt(i);
    if (parameter->Kind() != avxParamKind::kGroup) ids.push_back(parameter->Id());
  }
  return ids;
}

void SetParameter(EffectHost& host, const std::string& id, const SettingValue& value) {
  avxParameter* parameter = host.Parameter(id);
  if (parameter == nullptr || parameter->Kind() == avxParamKind::kGroup) {
    std::string known;
    for (const std::string& candidate : ParameterIds(host)) {
      known += (known.empty() ? "" : ", ") + candidate;
    }
    throw SettingError("unknown parameter id \"" + id + "\" (known: " + known + ")");
  }
  switch (parameter->Kind()) {
    case avxParamKind::kNumber: {
      if (value.kind != SettingValue::Kind::kNumber) throw SettingError("must be a number");
      CheckRange(*static_cast<avxPNumber*>(parameter), value.number);
      SetEverywhere(host, *parameter, DoubleBytes(value.number));
      break;
    }
    case avxParamKind::kList: {
      const int32_t index = ListIndex(*static_cast<avxPList*>(parameter), value);
      std::vector<uint8_t> bytes(sizeof index);
      std::memcpy(bytes.data(), &index, sizeof index);
      SetEverywhere(host, *parameter, bytes);
      break;
    }
    case avxParamKind::kBoolean:
      if (value.kind != SettingValue::Kind::kBoolean) throw SettingError("must be true or false");
      SetEverywhere(host, *parameter, {static_cast<uint8_t>(value.boolean ? 1 : 0)});
      break;
    case avxParamKind::kString: {
      if (value.kind != SettingValue::Kind::kText) throw SettingError("must be a text");
      if (value.text.size() > kLongestText) {
        throw SettingError("is longer than " + std::to_string(kLongestText) + " characters");
      }
      std::vector<uint8_t> bytes(value.text.begin(), value.text.end());
      bytes.push_back(0);
      SetEverywhere(host, *parameter, bytes);
      break;
    }
    case avxParamKind::kGroup:
      break;
  }
}

void SetWaypoints(EffectHost& host, const std::vector<Waypoint>& waypoints) {
  const int32_t units = host.UnitCount();
  const int32_t unitsPerFrame = host.Settings().videoType == 0 ? 1 : 2;
  auto* speed = static_cast<avxPNumber*>(host.Parameter("speed"));
  auto* strobe = static_cast<avxPNumber*>(host.Parameter("strobe"));
  auto* hold = static_cast<avxPNumber*>(host.Parameter("hold"));
  auto* order = static_cast<avxPNumber*>(host.Parameter("order"));
  struct Placed {
    double time, speed, strobe, hold, order;
  };
  std::vector<Placed> placed;
  for (size_t i = 0; i < waypoints.size(); ++i) {
    const Waypoint& waypoint = waypoints[i];
    double time = waypoint.at;
    if (waypoint.place != Waypoint::Place::kTime) {
      const double unit =
          waypoint.place == Waypoint::Place::kUnit ? waypoint.at : waypoint.at * unitsPerFrame;
      if (!(unit >= 0) || unit > units - 1) {
        throw SettingError("lies outside the effect (" + std::to_string(units) + " units, " +
                               std::to_string(host.Settings().totalFrames) + " frames)",
                           "", i);
      }
      time = units > 1 ? unit / (units - 1) : 0.0;
    }
    if (!(time >= 0.0 && time <= 1.0)) {
      throw SettingError("time " + Number(time) + " lies outside 0 to 1", "", i);
    }
    for (const Placed& earlier : placed) {
      if (earlier.time == time)
        throw SettingError("another key already stands at that time", "", i);
    }
    const Placed p{time, waypoint.speed ? *waypoint.speed : speed->GetValue(time),
                   waypoint.strobe ? *waypoint.strobe : strobe->GetValue(time),
                   waypoint.hold ? *waypoint.hold : hold->GetValue(time),
                   waypoint.order ? *waypoint.order : static_cast<double>(i + 1)};
    CheckRange(*speed, p.speed, "speed", i);
    CheckRange(*strobe, p.strobe, "strobe", i);
    CheckRange(*hold, p.hold, "hold", i);
    CheckRange(*order, p.order, "order", i);
    placed.push_back(p);
  }
  for (avxPNumber* parameter : {speed, strobe, hold, order}) parameter->ClearKeys();
  for (const Placed& p : placed) {
    speed->SetKeyBytes(p.time, DoubleBytes(p.speed));
    strobe->SetKeyBytes(p.time, DoubleBytes(p.strobe));
    hold->SetKeyBytes(p.time, DoubleBytes(p.hold));
    order->SetKeyBytes(p.time, DoubleBytes(p.order));
  }
  host.RefreshStorage();
}

}  // namespace refhost
