#include "cli/commands/session.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>

#include "refhost/effect_settings.h"

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

Session::Session(Project project, MediaReaderOptions readerOptions) : project_(std::move(project)) {
  try {
    plugin_ = std::make_unique<refhost::Plugin>(PluginPath());
  } catch (const std::exception& error) {
    throw MediaError(error.what());
  }
  source_ = std::make_shared<MediaReader>(project_.source, readerOptions);
  if (project_.trackBelow)
    below_ = std::make_shared<MediaReader>(*project_.trackBelow, readerOptions);

  settings_.width = source_->Width();
  settings_.height = source_->Height();
  settings_.frameRate = source_->FrameRateValue();
  settings_.totalFrames = project_.frames ? *project_.frames : source_->FrameCount();
  if (settings_.totalFrames < 1) {
    throw ProjectError(project_, project_.frames ? "frames" : "source",
                       "the effect needs at least one frame");
  }
  const FieldOrder order = source_->GetFieldOrder();
  settings_.videoType = order == FieldOrder::kProgressive ? 0 : 1;
  settings_.fieldDominance = order == FieldOrder::kBottomFirst ? kAvxFieldEven : kAvxFieldOdd;
  project_.ApplyScan(settings_);
  settings_.fieldTopness = kAvxFieldOdd;

  if (!IsLavfiSource(project_.source)) sourceInfo_ = ReadMediaInfo(project_.source);

  // Check the project against the effect once, so that errors come before work.
  std::unique_ptr<refhost::EffectHost> host = NewHost();
  constexpr int32_t kOutputProgressive = 1;
  auto* outputMode = static_cast<avxPList*>(host->Parameter("outputMode"));
  outputProgressive_ = outputMode && outputMode->GetValue(0.0) == kOutputProgressive;
}

Session::~Session() = default;

FieldOrder Session::OutputFieldOrder() const {
  if (settings_.videoType == 0 || outputProgressive_) return FieldOrder::kProgressive;
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

// "Source TC Start" of a newly applied effect.
constexpr const char* kNoTimeCode = "00:00:00:00";

const char* OrderName(FieldOrder order) {
  switch (order) {
    case FieldOrder::kTopFirst:
      return "top field first";
    case FieldOrder::kBottomFirst:
      return "bottom field first";
    default:
      return "progressive";
  }
}

}  // namespace

std::string Session::ScanDescription() const {
  const FieldOrder read = source_->GetFieldOrder();
  const FieldOrder declared = source_->GetDeclaredFieldOrder();
  std::string origin;
  switch (source_->GetFieldOrderOrigin()) {
    case FieldOrderOrigin::kFrameFlags:
      origin = "the frames' flags";
      if (declared != FieldOrder::kProgressive && declared != read) {
        origin += std::string("; the container says ") + OrderName(declared);
      }
      break;
    case FieldOrderOrigin::kContainer:
      origin = "the container";
      break;
    case FieldOrderOrigin::kNone:
      origin = "neither the frames nor the container mark it interlaced";
      break;
  }
  const bool fromProject = project_.videoType || project_.fieldDominance;
  std::string scan;
  if (settings_.videoType == 0) {
    scan = "progressive";
  } else {
    scan = std::string("interlaced, ") +
           (settings_.fieldDominance == kAvxFieldOdd ? "top" : "bottom") + " field first";
  }
  return scan + " (" +
         (fromProject
              ? "the project; the source: " + std::string(OrderName(read)) + " from " + origin
              : origin) +
         ")";
}

std::string Session::EffectTimeCode() {
  std::unique_ptr<refhost::EffectHost> host = NewHost();
  auto* parameter = static_cast<avxPString*>(host->Parameter("timeCode"));
  char text[256] = {};
  if (parameter) parameter->GetValue(0.0, text, sizeof text);
  return text;
}

OutputTags Session::TagsForOutput(int firstFrame) {
  OutputTags tags;
  tags.colorPrimaries = sourceInfo_.colorPrimaries;
  tags.colorTransfer = sourceInfo_.colorTransfer;
  tags.colorSpace = sourceInfo_.colorSpace;
  tags.colorRange = sourceInfo_.colorRange;
  tags.sampleAspect = sourceInfo_.sampleAspect;
  tags.displayMatrix = sourceInfo_.displayMatrix;
  // A time code is written when there is one to keep: the source's, or one
  // the project gives.
  const std::string timeCode = EffectTimeCode();
  if (!sourceInfo_.timeCode.empty() || timeCode != kNoTimeCode) {
    tags.timeCode = TimeCodeAfter(timeCode, FrameRate(), firstFrame);
  }
  return tags;
}

void Session::ApplyParameters(refhost::EffectHost& host) const {
  // The source's own time code is where "Source TC Start" starts, unless the
  // project says otherwise below.
  if (!sourceInfo_.timeCode.empty()) {
    refhost::SetParameter(host, "timeCode", refhost::SettingValue::Text(sourceInfo_.timeCode));
  }
  for (const ProjectParameter& setting : project_.parameters) {
    try {
      refhost::SetParameter(host, setting.id, setting.Setting());
    } catch (const refhost::SettingError& error) {
      throw ProjectError(project_, setting.jsonPath, error.what());
    }
  }
  host.RefreshStorage();
}

void Session::ApplyKeys(refhost::EffectHost& host) const {
  if (!project_.keys) return;
  std::vector<refhost::Waypoint> waypoints;
  for (const ProjectKey& key : *project_.keys) waypoints.push_back(key.AsWaypoint());
  try {
    refhost::SetWaypoints(host, waypoints);
  } catch (const refhost::SettingError& error) {
    const ProjectKey& key = (*project_.keys)[error.Waypoint().value_or(0)];
    throw ProjectError(project_, key.jsonPath + (error.Field().empty() ? "" : "." + error.Field()),
                       error.what());
  }
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
  if (end == nullptr || end == text.c_str() || *end != 0 || a < 0 || b < a || b >= frameCount) {
    throw MediaError("--range " + text +
                     ": expected A-B with 0 <= A <= B <= " + std::to_string(frameCount - 1));
  }
  first = static_cast<int>(a);
  last = static_cast<int>(b);
}

}  // namespace cli
