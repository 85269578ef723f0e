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

namespace overlaytest {

// A picture a person can read when it is scaled up: a diagonal gradient, a
// bright square that moves one column a frame and an opaque fourth byte.
inline std::shared_ptr<refhost::MemoryClip> GradientClip(int32_t width, int32_t height,
                                                         int32_t frames) {
  auto clip = std::make_shared<refhost::MemoryClip>(width, height);
  for (int32_t f = 0; f < frames; ++f) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
        const bool square = x >= 4 + f && x < 12 + f && y >= height / 2 - 4 && y < height / 2 + 4;
        p[0] = static_cast<uint8_t>(square ? 250 : 40 + 4 * y);
        p[1] = static_cast<uint8_t>(square ? 250 : 30 + 2 * x);
        p[2] = static_cast<uint8_t>(square ? 250 : 200 - 3 * x);
        p[3] = 255;
      }
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

class OverlayRig {
 public:
  // An interlaced effect of `frames` frames on a clip of the given size,
  // top field first, without keys of its own and without line interpolation.
  OverlayRig(int32_t frames, int32_t width = 8, int32_t height = 4) {
    settings_.width = width;
    settings_.height = height;
    settings_.totalFrames = frames;
    host_ = std::make_unique<refhost::EffectHost>(plugin_, settings_);
    host_->SetInput(1, GradientClip(width, height, frames));
    for (const char* id : {"speed", "strobe", "hold", "order"}) host_->Parameter(id)->ClearKeys();
    SetList("deinterlace", kDeinterlaceNone);
  }

  refhost::EffectHost& host() { return *host_; }
  Corvalis& effect() { return static_cast<Corvalis&>(host_->Instance()); }
  CorvalisOverlay& overlay() { return *overlay_; }
  int32_t Units() const { return settings_.totalFrames * 2; }
  double UnitTime(double unit) const { return unit / (Units() - 1); }

  // A setting that holds over the whole effect, at every key it has too.
  void SetList(const std::string& id, int32_t value) {
    avxParameter* parameter = host_->Parameter(id);
    for (int32_t i = 0; i < parameter->GetNumKeys(); ++i) {
      host_->SetKeyList(id, parameter->GetKey(i)->GetTime(), value);
    }
    host_->SetList(id, value);
  }
  void SetBool(const std::string& id, bool value) {
    avxParameter* parameter = host_->Parameter(id);
    for (int32_t i = 0; i < parameter->GetNumKeys(); ++i) {
      host_->SetKeyBool(id, parameter->GetKey(i)->GetTime(), value);
    }
    host_->SetBool(id, value);
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
    for (int32_t i = 0; i < order->GetNumKeys(); ++i) {
      values.push_back(static_cast<int32_t>(order->GetValue(order->GetKey(i)->GetTime())));
    }
    return values;
  }

 private:
  refhost::Plugin plugin_;
  refhost::ProjectSettings settings_;
  std::unique_ptr<refhost::EffectHost> host_;
  CorvalisOverlay* overlay_ = nullptr;
};

}  // namespace overlaytest
