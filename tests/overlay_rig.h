// An effect instance in the reference host with the plug-in's overlay open
// on it, for the overlay tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/corvalis.h"
#include "overlay/corvalis_overlay.h"
#include "overlay/draw.h"
#include "refhost/effect_host.h"
#include "refhost/plugin.h"
#include "test_clips.h"

namespace overlaytest {

class OverlayRig {
 public:
  // An interlaced effect of `frames` frames on a clip of the given size with
  // a moving square, top field first, without keys of its own and without
  // line interpolation.
  OverlayRig(int32_t frames, int32_t width = 8, int32_t height = 4)
      : settings_(testclips::Settings(width, height, frames)) {
    host_ = std::make_unique<refhost::EffectHost>(plugin_, settings_);
    host_->SetInput(1, testclips::MovingSquareClip(width, height, frames));
    for (const char* id : {"speed", "strobe", "hold", "order"}) host_->Parameter(id)->ClearKeys();
    SetList("deinterlace", kDeinterlaceNone);
  }

  refhost::EffectHost& host() { return *host_; }
  Corvalis& effect() { return static_cast<Corvalis&>(host_->Instance()); }
  CorvalisOverlay& overlay() { return *overlay_; }
  double UnitTime(double unit) const { return unit / (settings_.totalFrames * 2 - 1); }

  // A setting that holds over the whole effect, at every key it has too.
  void SetList(const std::string& id, int32_t value) {
    for (double time : KeyTimes(id)) host_->SetKeyList(id, time, value);
    host_->SetList(id, value);
  }
  void SetBool(const std::string& id, bool value) {
    for (double time : KeyTimes(id)) host_->SetKeyBool(id, time, value);
    host_->SetBool(id, value);
  }
  std::vector<double> KeyTimes(const std::string& id) {
    avxParameter* parameter = host_->Parameter(id);
    std::vector<double> times;
    for (int32_t i = 0; i < parameter->GetNumKeys(); ++i) {
      times.push_back(parameter->GetKey(i)->GetTime());
    }
    return times;
  }

  // A key of all four curve parameters at a time of the effect.
  void KeyAt(double time, double speed, int32_t order, double hold = 0.0) {
    host_->SetKey("speed", time, speed);
    host_->SetKey("strobe", time, 1.0);
    host_->SetKey("hold", time, hold);
    host_->SetKey("order", time, order);
  }
  void Key(int32_t unit, double speed, int32_t order, double hold = 0.0) {
    KeyAt(UnitTime(unit), speed, order, hold);
  }

  // Renders the first (selector 1) or second (2) field of a frame, which
  // also leaves the host at that position.
  void Render(int32_t frame, int32_t selector = 1) {
    const avxField first = settings_.fieldDominance;
    const avxField second = first == kAvxFieldOdd ? kAvxFieldEven : kAvxFieldOdd;
    const avxField field = selector == 1 ? first : second;
    host_->SetPosition(frame, field, 1);
    const int32_t height =
        field == settings_.fieldTopness ? (settings_.height + 1) / 2 : settings_.height / 2;
    refhost::Picture picture;
    host_->RenderOnce(settings_.width, height, picture);
  }

  void Open(int32_t width, int32_t height) {
    overlay_ = static_cast<CorvalisOverlay*>(&host_->OpenOverlay(width, height));
  }
  void Draw() { host_->DrawOverlay(); }

  Colour At(int32_t x, int32_t y) { return LoadPixel(host_->OverlayImage()->GetRowPtr(x, y)); }
  // The buffer's bytes, row after row.
  std::vector<uint8_t> Bytes() {
    avxImage* image = host_->OverlayImage();
    const uint8_t* first = image->GetRowPtr(0, 0);
    return std::vector<uint8_t>(
        first, first + static_cast<size_t>(image->GetRowDelta(0)) * image->GetHeight());
  }

  // The order numbers of the key table, in key order.
  std::vector<int32_t> Orders() {
    std::vector<int32_t> orders;
    for (const SpeedKey& record : effect().keyTable) orders.push_back(record.order);
    return orders;
  }
  // The values of the hidden order parameter's keys, in key order.
  std::vector<int32_t> OrderKeys() {
    auto* order = dynamic_cast<avxPNumber*>(host_->Parameter("order"));
    std::vector<int32_t> values;
    for (double time : KeyTimes("order"))
      values.push_back(static_cast<int32_t>(order->GetValue(time)));
    return values;
  }

 private:
  refhost::Plugin plugin_;
  refhost::ProjectSettings settings_;
  std::unique_ptr<refhost::EffectHost> host_;
  CorvalisOverlay* overlay_ = nullptr;
};

}  // namespace overlaytest
