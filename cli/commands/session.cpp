#include "cli/commands/session.h"

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <sstream>

namespace cli {

std::string PluginPath() {
  if (const char* fromEnvironment = std::getenv("CORVALIS_PLUGIN")) return fromEnvironment;
  char executable[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
  if (length > 0) {
    executable[length] = 0;
    std::string folder(executable);
    folder = folder.substr(0, folder.rfind('/'));
    std::string beside = folder + "/../lib/corvalis.so";
    if (access(beside.c_str(), R_OK) == 0) return beside;
  }
  return CORVALIS_DEFAULT_PLUGIN;
}

bool ReaderClip::ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows,
                          int32_t pixels, uint8_t* dest, int32_t destRowBytes) {
  if (frame < 0 || frame >= reader_->FrameCount()) return false;
  reader_->ReadRows(frame, firstRow, step, rows, pixels, dest, destRowBytes);
  return true;
}

Session::Session(Project project, MediaReaderOptions readerOptions)
    : project_(std::move(project)) {
  try {
    plugin_ = std::make_unique<refhost::Plugin>(PluginPath());
  } catch (const std::exception& error) {
    throw MediaError(error.what());
  }
  source_ = std::make_shared<MediaReader>(project_.source, readerOptions);
  if (project_.trackBelow) below_ = std::make_shared<MediaReader>(*project_.trackBelow, readerOptions);

  settings_.width = source_->Width();
  settings_.height = source_->Height();
  settings_.frameRate = source_->FrameRateValue();
  settings_.totalFrames = project_.frames ? *project_.frames : source_->FrameCount();
  if (settings_.totalFrames < 1) {
    throw ProjectError(project_, project_.frames ? "frames" : "source",
                       "the effect needs at least one frame");
  }
  const FieldOrder order = source_->GetFieldOrder();
  const bool progressive = project_.videoType ? *project_.videoType == VideoType::kProgressive
                                              : order == FieldOrder::kProgressive;
  settings_.videoType = progressive ? 0 : 1;
  const bool bottomFirst = project_.fieldDominance
                               ? *project_.fieldDominance == FieldDominance::kBottom
                               : order == FieldOrder::kBottomFirst;
  settings_.fieldDominance = bottomFirst ? kAvxFieldEven : kAvxFieldOdd;
  settings_.fieldTopness = kAvxFieldOdd;

  // Check the project against the effect once, so that errors come before work.
  NewHost();
}

Session::~Session() = default;

FieldOrder Session::OutputFieldOrder() const {
  if (settings_.videoType == 0) return FieldOrder::kProgressive;
  return settings_.fieldDominance == kAvxFieldOdd ? FieldOrder::kTopFirst
                                                  : FieldOrder::kBottomFirst;
}

std::unique_ptr<refhost::EffectHost> Session::NewHost() {
  auto host = std::make_unique<refhost::EffectHost>(*plugin_, settings_);
  host->SetInput(1, std::make_shared<ReaderClip>(source_));
  if (below_) host->SetInput(0, std::make_shared<ReaderClip>(below_));
  ApplyParameters(*host);
  ApplyKeys(*host);
  if (project_.instanceData) {
    std::vector<uint8_t> block(project_.instanceData->begin(), project_.instanceData->end());
    block.push_back(0);
    host->SetInstanceDataBlock(block);
  }
  return host;
}

namespace {

std::string Number(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// Sets a parameter to one value over the whole effect.
void SetEverywhere(avxParameter& parameter, const std::vector<uint8_t>& bytes) {
  parameter.SetStaticBytes(bytes);
  for (int32_t i = 0; i < parameter.GetNumKeys(); ++i) parameter.GetKey(i)->SetValueBytes(bytes);
}

std::vector<uint8_t> DoubleBytes(double value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

void CheckRange(const Project& project, const std::string& path, const avxPNumber& number,
                double value) {
  if (!std::isfinite(value) || value < number.Lower() || value > number.Upper()) {
    throw ProjectError(project, path,
                       Number(value) + " is out of range (" + Number(number.Lower()) + " to " +
                           Number(number.Upper()) + ")");
  }
}

}  // namespace

void Session::ApplyParameters(refhost::EffectHost& host) const {
  for (const ProjectParameter& setting : project_.parameters) {
    avxParameter* parameter = host.Parameter(setting.id);
    if (parameter == nullptr || parameter->Kind() == avxParamKind::kGroup) {
      std::string known;
      for (int32_t i = 0; i < host.Instance().ParameterCount(); ++i) {
        avxParameter* candidate = host.Instance().ParameterAt(i);
        if (candidate->Kind() == avxParamKind::kGroup) continue;
        known += (known.empty() ? "" : ", ") + candidate->Id();
      }
      throw ProjectError(project_, setting.jsonPath,
                         "unknown parameter id \"" + setting.id + "\" (known: " + known + ")");
    }
    const nlohmann::ordered_json& value = setting.value;
    switch (parameter->Kind()) {
      case avxParamKind::kNumber: {
        if (!value.is_number()) throw ProjectError(project_, setting.jsonPath, "must be a number");
        double number = value.get<double>();
        CheckRange(project_, setting.jsonPath, *dynamic_cast<avxPNumber*>(parameter), number);
        SetEverywhere(*parameter, DoubleBytes(number));
        break;
      }
      case avxParamKind::kList: {
        auto* list = dynamic_cast<avxPList*>(parameter);
        std::string labels;
        for (const std::string& item : list->Items()) {
          labels += (labels.empty() ? "\"" : ", \"") + item + "\"";
        }
        if (!value.is_string()) {
          throw ProjectError(project_, setting.jsonPath, "must be one of " + labels);
        }
        const std::string label = value.get<std::string>();
        int32_t index = -1;
        for (size_t i = 0; i < list->Items().size(); ++i) {
          if (list->Items()[i] == label) index = static_cast<int32_t>(i);
        }
        if (index < 0) {
          throw ProjectError(project_, setting.jsonPath,
                             "unknown label \"" + label + "\" (labels: " + labels + ")");
        }
        std::vector<uint8_t> bytes(4);
        std::memcpy(bytes.data(), &index, 4);
        SetEverywhere(*parameter, bytes);
        break;
      }
      case avxParamKind::kBoolean:
        if (!value.is_boolean()) {
          throw ProjectError(project_, setting.jsonPath, "must be true or false");
        }
        SetEverywhere(*parameter, {static_cast<uint8_t>(value.get<bool>() ? 1 : 0)});
        break;
      case avxParamKind::kString: {
        if (!value.is_string()) throw ProjectError(project_, setting.jsonPath, "must be a text");
        std::string text = value.get<std::string>();
        if (text.size() >= 256u) {
          throw ProjectError(project_, setting.jsonPath, "is longer than 255 characters");
        }
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        SetEverywhere(*parameter, bytes);
        break;
      }
      case avxParamKind::kGroup:
        break;
    }
  }
  host.RefreshStorage();
}

void Session::ApplyKeys(refhost::EffectHost& host) const {
  if (!project_.keys) return;
  const int32_t units = host.UnitCount();
  const int32_t unitsPerFrame = settings_.videoType == 0 ? 1 : 2;
  struct Placed {
    double time, speed, strobe, hold, order;
  };
  std::vector<Placed> placed;
  auto* speed = dynamic_cast<avxPNumber*>(host.Parameter("speed"));
  auto* strobe = dynamic_cast<avxPNumber*>(host.Parameter("strobe"));
  auto* hold = dynamic_cast<avxPNumber*>(host.Parameter("hold"));
  auto* order = dynamic_cast<avxPNumber*>(host.Parameter("order"));
  const std::vector<ProjectKey>& keys = *project_.keys;
  for (size_t i = 0; i < keys.size(); ++i) {
    const ProjectKey& key = keys[i];
    double time = key.at;
    if (key.place != ProjectKey::Place::kTime) {
      double unit = key.place == ProjectKey::Place::kUnit ? key.at : key.at * unitsPerFrame;
      if (unit > units - 1) {
        throw ProjectError(project_, key.jsonPath,
                           "lies outside the effect (" + std::to_string(units) + " units, " +
                               std::to_string(settings_.totalFrames) + " frames)");
      }
      time = units > 1 ? unit / (units - 1) : 0.0;
    }
    if (!(time >= 0.0 && time <= 1.0)) {
      throw ProjectError(project_, key.jsonPath, "time " + Number(time) + " lies outside 0 to 1");
    }
    for (const Placed& earlier : placed) {
      if (earlier.time == time) {
        throw ProjectError(project_, key.jsonPath, "another key already stands at that time");
      }
    }
    Placed p{time, key.speed ? *key.speed : speed->GetValue(time),
             key.strobe ? *key.strobe : strobe->GetValue(time),
             key.hold ? *key.hold : hold->GetValue(time),
             key.order ? static_cast<double>(*key.order) : static_cast<double>(i + 1)};
    CheckRange(project_, key.jsonPath + ".speed", *speed, p.speed);
    CheckRange(project_, key.jsonPath + ".strobe", *strobe, p.strobe);
    CheckRange(project_, key.jsonPath + ".hold", *hold, p.hold);
    CheckRange(project_, key.jsonPath + ".order", *order, p.order);
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

void ParseRange(const std::string& text, int frameCount, int& first, int& last) {
  char* end = nullptr;
  long a = std::strtol(text.c_str(), &end, 10);
  long b = a;
  if (end != text.c_str() && *end == '-') {
    const char* rest = end + 1;
    b = std::strtol(rest, &end, 10);
    if (end == rest) end = nullptr;
  }
  if (end == nullptr || end == text.c_str() || *end != 0 || a < 0 || b < a ||
      b >= frameCount) {
    throw MediaError("--range " + text + ": expected A-B with 0 <= A <= B <= " +
                     std::to_string(frameCount - 1));
  }
  first = static_cast<int>(a);
  last = static_cast<int>(b);
}

}  // namespace cli
