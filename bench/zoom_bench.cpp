// Throughput of the zoom driver on the overlay's typical sizes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "fx/zoom/zoom.h"

namespace {

FrameRef RandomFrame(int32_t width, int32_t height) {
  FrameRef image = NewImage(width, height);
  std::mt19937 random(5);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < 4 * width; ++x) image->Row(y)[x] = static_cast<uint8_t>(random());
  }
  return image;
}

// Scales a whole frame onto a whole frame with "catrom"; bytes processed are
// the source and destination pixels of each zoom.
void ZoomCatrom(benchmark::State& state) {
  const auto sourceWidth = static_cast<int32_t>(state.range(0));
  const auto sourceHeight = static_cast<int32_t>(state.range(1));
  const auto destinationWidth = static_cast<int32_t>(state.range(2));
  const auto destinationHeight = static_cast<int32_t>(state.range(3));
  FrameRef source = RandomFrame(sourceWidth, sourceHeight);
  FrameRef destination = NewImage(destinationWidth, destinationHeight);
  const zoom::Filter* catrom = zoom::FindFilter("catrom");
  const zoom::ZoomWindow a = zoom::MakeWindow(0, 0, sourceWidth - 1, sourceHeight - 1);
  const zoom::ZoomWindow b = zoom::MakeWindow(0, 0, destinationWidth - 1, destinationHeight - 1);
  for (auto _ : state) {
    zoom::ZoomWindows(zoom::ImagePicture(*source), a, zoom::ImagePicture(*destination), b, catrom,
                      catrom);
    benchmark::DoNotOptimize(destination->data);
    benchmark::ClobberMemory();
  }
  const int64_t bytesPerZoom = 4LL * (static_cast<int64_t>(sourceWidth) * sourceHeight +
                                      static_cast<int64_t>(destinationWidth) * destinationHeight);
  state.SetBytesProcessed(state.iterations() * bytesPerZoom);
}

BENCHMARK(ZoomCatrom)
    ->Args({720, 486, 1920, 1080})
    ->Args({1920, 1080, 640, 360})
    ->Unit(benchmark::kMillisecond);

}  // namespace
