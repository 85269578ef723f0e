// The resampler users would pick instead of the zoom driver: swscale's
// bicubic scaler on the same pictures as ZoomCatrom (4-byte pixels in and
// out), with the same bytes-processed count.
#include <benchmark/benchmark.h>

extern "C" {
#include <libswscale/swscale.h>
}

#include <cstdint>
#include <random>
#include <vector>

namespace {

void SwscaleBicubic(benchmark::State& state) {
  const auto sourceWidth = static_cast<int>(state.range(0));
  const auto sourceHeight = static_cast<int>(state.range(1));
  const auto destinationWidth = static_cast<int>(state.range(2));
  const auto destinationHeight = static_cast<int>(state.range(3));
  std::vector<uint8_t> source(static_cast<size_t>(sourceWidth) * sourceHeight * 4);
  std::mt19937 random(5);
  for (uint8_t& byte : source) byte = static_cast<uint8_t>(random());
  std::vector<uint8_t> destination(static_cast<size_t>(destinationWidth) * destinationHeight * 4);
  SwsContext* context =
      sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGRA, destinationWidth,
                     destinationHeight, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (context == nullptr) {
    state.SkipWithError("swscale refused the sizes");
    return;
  }
  const uint8_t* sourcePlanes[4] = {source.data(), nullptr, nullptr, nullptr};
  const int sourceStrides[4] = {sourceWidth * 4, 0, 0, 0};
  uint8_t* destinationPlanes[4] = {destination.data(), nullptr, nullptr, nullptr};
  const int destinationStrides[4] = {destinationWidth * 4, 0, 0, 0};
  for (auto _ : state) {
    sws_scale(context, sourcePlanes, sourceStrides, 0, sourceHeight, destinationPlanes,
              destinationStrides);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  sws_freeContext(context);
  const int64_t bytesPerScale = 4LL * (static_cast<int64_t>(sourceWidth) * sourceHeight +
                                       static_cast<int64_t>(destinationWidth) * destinationHeight);
  state.SetBytesProcessed(state.iterations() * bytesPerScale);
}

BENCHMARK(SwscaleBicubic)
    ->Args({720, 486, 1920, 1080})
    ->Args({1920, 1080, 640, 360})
    ->Unit(benchmark::kMillisecond);

}  // namespace
