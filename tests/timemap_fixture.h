// An effect instance in the reference host, keyed as a user would key it,
// for the time-remapping tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/corvalis.h"
#include "refhost/effect_host.h"
#include "refhost/plugin.h"
#include "tests/test_clips.h"

namespace timemaptest {

// One key of the effect: its unit, the three curve values and its order.
struct Waypoint {
  int32_t unit = 0;
  double speed = 100.0, strobe = 1.0, hold = 0.0, order = 1.0;
};

constexpr int32_t kWidth = 8, kHeight = 4;

class KeyedEffect {
 public:
  explicit KeyedEffect(int32_t totalFrames, int32_t videoType = 1,
                       const std::string& pluginPath = CORVALIS_DEFAULT_PLUGIN)
      : plugin_(pluginPath) {
    refhost::ProjectSettings settings = testclips::Settings(kWidth, kHeight, totalFrames);
    settings.videoType = videoType;
    host_ = std::make_unique<refhost::EffectHost>(plugin_, settings);
    host_->SetInput(1, testclips::CodedClip(kWidth, kHeight, totalFrames));
    // The tests key the waypoints themselves.
    for (const char* id : {"speed", "strobe", "hold", "order"}) host_->Parameter(id)->ClearKeys();
    // No line interpolation: these tests are about which fields are chosen.
    SetList("deinterlace", kDeinterlaceNone);
  }

  // A constant setting: the same value at every key the host holds for it.
  void SetList(const std::string& id, int32_t value) {
    for (double time : KeyTimes(id)) host_->SetKeyList(id, time, value);
    host_->SetList(id, value);
  }
  void SetBool(const std::string& id, bool value) {
    for (double time : KeyTimes(id)) host_->SetKeyBool(id, time, value);
    host_->SetBool(id, value);
  }

  // The 3:2 phases as the effect stores them: "input,output" codes.
  void StorePhases(const std::string& codes) {
    host_->SetInstanceDataBlock(
        std::vector<uint8_t>(codes.c_str(), codes.c_str() + codes.size() + 1));
  }

  refhost::EffectHost& host() { return *host_; }
  Corvalis& effect() { return static_cast<Corvalis&>(host_->Instance()); }
  int32_t Units() const { return host_->UnitCount(); }

  void Key(const Waypoint& w) {
    const std::pair<const char*, double> values[] = {
        {"speed", w.speed}, {"strobe", w.strobe}, {"hold", w.hold}, {"order", w.order}};
    for (const auto& [id, value] : values) host_->SetKey(id, host_->UnitTime(w.unit), value);
  }
  void Keys(std::initializer_list<Waypoint> waypoints) {
    for (const Waypoint& waypoint : waypoints) Key(waypoint);
  }
  // Keys the waypoints, sets "After End" and builds the timeline by a render.
  Corvalis& Build(std::initializer_list<Waypoint> waypoints,
                  int32_t afterEnd = kAfterEndHoldSpeed) {
    Keys(waypoints);
    SetList("afterEnd", afterEnd);
    Render(0);
    return effect();
  }
  // At 100 % these are the keys of a newly applied effect.
  void ConstantSpeed(double percent, double strobe = 1.0) {
    Keys({{0, percent, strobe}, {Units() - 1, percent, strobe}});
  }

  // One render of frame `frame`: selector 1 is the dominant field, 2 the
  // other one, 0 a whole-frame request.
  void Render(int32_t frame, int32_t selector = 1) {
    const refhost::ProjectSettings& settings = host_->Settings();
    const avxField other = settings.fieldDominance == kAvxFieldOdd ? kAvxFieldEven : kAvxFieldOdd;
    const bool whole = settings.videoType == 0 || selector == 0;
    if (whole) host_->SetPosition(frame, kAvxFieldBoth, 0);
    if (!whole) host_->SetPosition(frame, selector == 1 ? settings.fieldDominance : other, 1);
    refhost::Picture picture;
    host_->RenderOnce(kWidth, whole ? kHeight : kHeight / 2, picture);
  }

 private:
  std::vector<double> KeyTimes(const std::string& id) {
    std::vector<double> times;
    avxParameter* parameter = host_->Parameter(id);
    for (int32_t i = 0; i < parameter->GetNumKeys(); ++i)
      times.push_back(parameter->GetKey(i)->GetTime());
    return times;
  }

  refhost::Plugin plugin_;
  std::unique_ptr<refhost::EffectHost> host_;
};

}  // namespace timemaptest
