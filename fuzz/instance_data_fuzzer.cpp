// The per-instance data the host stores with the effect: the two 3:2 phase
// codes as text. Any block of bytes may come back from a host or a project
// file; each is loaded by a render of a 3:2 source into a 3:2 output, which
// turns the codes into cadence positions, and the render must succeed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "refhost/effect_host.h"
#include "refhost/plugin.h"

extern "C" avxModel_v1* avxNewModel_v1();
extern "C" avxOverlay_v1* avxNewOverlay_v1();

namespace {

constexpr int32_t kWidth = 8;
constexpr int32_t kHeight = 6;
constexpr int32_t kFrames = 10;

struct Setup {
  Setup() : plugin("linked-in corvalis", avxNewModel_v1, avxNewOverlay_v1) {
    refhost::ProjectSettings settings;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.totalFrames = kFrames;
    host = std::make_unique<refhost::EffectHost>(plugin, settings);
    auto clip = std::make_shared<refhost::MemoryClip>(kWidth, kHeight);
    for (int32_t f = 0; f < kFrames; ++f) {
      clip->AddFrame(std::vector<uint8_t>(kWidth * kHeight * 4, static_cast<uint8_t>(20 * f)));
    }
    host->SetInput(1, clip);
    host->SetInput(0, clip);
    host->SetList("inputMode", 2);   // 3:2
    host->SetList("outputMode", 2);  // 3:2
    host->SetKey("speed", 0.0, 73);
  }
  refhost::Plugin plugin;
  std::unique_ptr<refhost::EffectHost> host;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  refhost::EffectHost& host = *setup.host;
  host.SetInstanceDataBlock(std::vector<uint8_t>(data, data + size));
  refhost::Picture picture;
  for (int32_t frame : {0, 4, kFrames - 1}) {
    if (!host.RenderFrame(frame, picture)) std::abort();
  }
  // What a run allocates it frees again: libFuzzer looks for leaks (a slow
  // scan of the heap) after every run whose counts differ.
  host.ConsoleLines().clear();
  return 0;
}
