// One whole field render through the reference host, per deinterlace mode:
// the plug-in's Render with its source fetches, as a host runs it. The clip
// plays at half speed and the field measured is one whose source field has
// the other parity, so that every mode does its work (shift, line
// interpolation, motion-adaptive interpolation). Bytes processed are the
// field's pixel bytes per render.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

#include "bench_images.h"
#include "refhost/clip.h"
#include "refhost/effect_host.h"

namespace {

constexpr int32_t kFrames = 4;
// Output frame 2's second field shows frame 1's first field at half speed.
constexpr int32_t kRenderedFrame = 2;
const char* const kModeNames[] = {"None", "TapeSim", "Interpolated", "Adaptive"};

// A still noise picture with a band a fifth of the width wide that changes
// every frame: enough motion to run every adaptive step, too little for the
// adaptive step to give up.
std::shared_ptr<refhost::MemoryClip> MovingBandClip(int32_t width, int32_t height) {
  auto clip = std::make_shared<refhost::MemoryClip>(width, height);
  std::mt19937 random(11);
  std::vector<uint8_t> still(static_cast<size_t>(width) * height * 4);
  for (uint8_t& byte : still) byte = static_cast<uint8_t>(random());
  const int32_t bandWidth = width / 5;
  for (int32_t frame = 0; frame < kFrames; ++frame) {
    std::vector<uint8_t> pixels = still;
    const int32_t bandLeft = (frame * bandWidth / 2) % (width - bandWidth);
    for (int32_t y = 0; y < height; ++y) {
      uint8_t* row = pixels.data() + static_cast<size_t>(y) * width * 4;
      for (int32_t x = 4 * bandLeft; x < 4 * (bandLeft + bandWidth); ++x) {
        row[x] = static_cast<uint8_t>(random());
      }
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

// The same band over a picture with film grain: every pixel differs a
// little between frames (never enough to count as moving at the default
// threshold), so that the motion mask is nowhere wholly still.
std::shared_ptr<refhost::MemoryClip> GrainyMovingBandClip(int32_t width, int32_t height) {
  auto band = MovingBandClip(width, height);
  auto clip = std::make_shared<refhost::MemoryClip>(width, height);
  std::mt19937 random(12);
  for (int32_t frame = 0; frame < kFrames; ++frame) {
    std::vector<uint8_t> pixels = band->FramePixels(frame);
    for (uint8_t& byte : pixels) {
      byte =
          static_cast<uint8_t>(std::clamp<int>(byte + static_cast<int>(random() % 17) - 8, 0, 255));
    }
    clip->AddFrame(std::move(pixels));
  }
  return clip;
}

void RenderFieldOf(benchmark::State& state, int32_t timelineFrames, bool grain = false) {
  const auto width = static_cast<int32_t>(state.range(0));
  const auto fieldHeight = static_cast<int32_t>(state.range(1));
  const auto mode = static_cast<int32_t>(state.range(2));
  state.SetLabel(kModeNames[mode]);

  refhost::ProjectSettings settings;
  settings.width = width;
  settings.height = 2 * fieldHeight;
  settings.totalFrames = timelineFrames;
  refhost::Plugin plugin;
  refhost::EffectHost host(plugin, settings);
  host.SetInput(1, grain ? GrainyMovingBandClip(width, 2 * fieldHeight)
                         : MovingBandClip(width, 2 * fieldHeight));
  for (const char* id : {"speed", "strobe", "hold", "order"}) host.Parameter(id)->ClearKeys();
  host.SetKey("speed", 0.0, 50.0);
  host.SetKey("strobe", 0.0, 1);
  host.SetKey("hold", 0.0, 0);
  host.SetKey("order", 0.0, 1);
  host.SetList("deinterlace", mode);

  const avxField second = settings.fieldDominance == kAvxFieldOdd ? kAvxFieldEven : kAvxFieldOdd;
  host.SetPosition(kRenderedFrame, second, 1);
  refhost::Picture picture;
  const refhost::EffectHost::RenderTimes before = host.TimeSpent();
  for (auto _ : state) {
    host.ConsoleLines().clear();
    if (!host.RenderOnce(width, fieldHeight, picture)) {
      state.SkipWithError("the render failed");
      break;
    }
    benchmark::DoNotOptimize(picture.pixels.data());
  }
  state.SetBytesProcessed(state.iterations() * benchimages::ImageBytes(width, fieldHeight));
  // The effect's own time per field: its Render call less the host's
  // delivery of the source fields it asked for. The rest of the time above
  // is the host's (clearing its output, delivering, copying the picture out).
  const refhost::EffectHost::RenderTimes& after = host.TimeSpent();
  const double effectMs = 1e3 * ((after.renderSeconds - before.renderSeconds) -
                                 (after.deliverySeconds - before.deliverySeconds));
  const double deliveryMs = 1e3 * (after.deliverySeconds - before.deliverySeconds);
  state.counters["effect_ms"] = benchmark::Counter(effectMs, benchmark::Counter::kAvgIterations);
  state.counters["delivery_ms"] =
      benchmark::Counter(deliveryMs, benchmark::Counter::kAvgIterations);
}

void RenderField(benchmark::State& state) { RenderFieldOf(state, kFrames); }

// The same field in a two-hour timeline: what every render spends on the
// timeline beyond the pixels.
void RenderFieldOfLongTimeline(benchmark::State& state) {
  constexpr int32_t kTwoHoursOfFrames = 2 * 60 * 60 * 30;
  RenderFieldOf(state, kTwoHoursOfFrames);
}

// "Adaptive" where little of the mask stays 0.
void RenderGrainyField(benchmark::State& state) { RenderFieldOf(state, kFrames, true); }

void RenderSizes(benchmark::internal::Benchmark* benchmark) {
  for (int64_t mode = 0; mode < 4; ++mode) {
    benchmark->Args({720, 243, mode})->Args({1920, 540, mode});
  }
  benchmark->ArgNames({"width", "height", "mode"})->Unit(benchmark::kMillisecond);
}
BENCHMARK(RenderField)->Apply(RenderSizes);
BENCHMARK(RenderGrainyField)
    ->Args({1920, 540, 3})
    ->ArgNames({"width", "height", "mode"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(RenderFieldOfLongTimeline)
    ->Args({720, 243, 0})
    ->ArgNames({"width", "height", "mode"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
