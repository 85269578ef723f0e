// Throughput of the steps of motion-adaptive interpolation on whole fields,
// with the effect's default settings (threshold 32, smooth 4). Bytes
// processed are the field's pixel bytes (width × height × 4) per call, so
// that every step compares with the kernels and the full render.
#include <benchmark/benchmark.h>

#include <cstring>

#include "bench_images.h"
#include "source/motion_mask.h"

namespace {

using benchimages::BlobMask;
using benchimages::FieldSizes;
using benchimages::ImageBytes;
using benchimages::MovingAreasMask;
using benchimages::RandomImage;

constexpr int32_t kThreshold = 32;
constexpr int32_t kSmooth = 4;

int32_t Width(const benchmark::State& state) { return static_cast<int32_t>(state.range(0)); }
int32_t Height(const benchmark::State& state) { return static_cast<int32_t>(state.range(1)); }

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(state.iterations() * ImageBytes(Width(state), Height(state)));
}

void MotionMaskStep(benchmark::State& state) {
  FrameRef a = RandomImage(Width(state), Height(state), 1);
  FrameRef b = RandomImage(Width(state), Height(state), 2);
  FrameRef mask = NewMask(Width(state), Height(state));
  for (auto _ : state) {
    benchmark::DoNotOptimize(ComputeMotionMask(*mask, *a, *b, kThreshold));
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(MotionMaskStep)->Apply(FieldSizes);

void MedianStep(benchmark::State& state) {
  FrameRef mask = BlobMask(Width(state), Height(state), 3);
  for (auto _ : state) {
    FrameRef filtered = MedianFilter3x3(*mask);
    benchmark::DoNotOptimize(filtered->data);
  }
  Finish(state);
}
BENCHMARK(MedianStep)->Apply(FieldSizes);

// Dilation and blur work in place; each call starts again from the same mask
// (the copy is a small part of the time and is the same for both).
void DilateStep(benchmark::State& state) {
  FrameRef original = BlobMask(Width(state), Height(state), 4);
  FrameRef mask = NewMask(Width(state), Height(state));
  const size_t bytes = static_cast<size_t>(Width(state)) * Height(state);
  for (auto _ : state) {
    std::memcpy(mask->data, original->data, bytes);
    DilateMask(*mask, kSmooth, kSmooth / 2);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(DilateStep)->Apply(FieldSizes);

void BlurStep(benchmark::State& state) {
  FrameRef original = BlobMask(Width(state), Height(state), 5);
  FrameRef mask = NewMask(Width(state), Height(state));
  const size_t bytes = static_cast<size_t>(Width(state)) * Height(state);
  for (auto _ : state) {
    std::memcpy(mask->data, original->data, bytes);
    BoxBlurMask(*mask, kSmooth, kSmooth / 2);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BlurStep)->Apply(FieldSizes);

void BlendStep(benchmark::State& state) {
  FrameRef current = RandomImage(Width(state), Height(state), 6);
  FrameRef neighbour = RandomImage(Width(state), Height(state), 7);
  FrameRef mask = MovingAreasMask(Width(state), Height(state), 8);
  FrameRef out = NewImage(Width(state), Height(state));
  for (auto _ : state) {
    BlendByMask(*current, *neighbour, *mask, *out);
    benchmark::ClobberMemory();
  }
  Finish(state);
}
BENCHMARK(BlendStep)->Apply(FieldSizes);

// Median, dilation, blur and blend one after the other, each over the whole
// mask or field, against the one pass down the rows that gives the same
// bytes. The raw mask is noisy all over, as motion between grainy fields
// leaves it (after the median little of it stays); the still variant is the
// same field with a few moving patches, where the one pass skips what stays 0.
FrameRef StillMaskWithPatches(int32_t width, int32_t height, uint32_t seed) {
  FrameRef mask = BlobMask(width, height, seed);
  FrameRef patches = MovingAreasMask(width, height, seed + 1);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      mask->Row(y)[x] = patches->Row(y)[x] != 0 ? mask->Row(y)[x] : 0;
    }
  }
  return mask;
}

// The inputs of the filtering and the blend, the same for both ways.
struct FilterInputs {
  explicit FilterInputs(const benchmark::State& state)
      : raw(state.range(2) == 0 ? BlobMask(Width(state), Height(state), 9)
                                : StillMaskWithPatches(Width(state), Height(state), 9)),
        current(RandomImage(Width(state), Height(state), 10)),
        neighbour(RandomImage(Width(state), Height(state), 11)),
        out(NewImage(Width(state), Height(state))) {}
  FrameRef raw;
  FrameRef current;
  FrameRef neighbour;
  FrameRef out;
};

void StepsOneByOne(benchmark::State& state) {
  FilterInputs in(state);
  for (auto _ : state) {
    FrameRef mask = MedianFilter3x3(*in.raw);
    DilateMask(*mask, kSmooth, kSmooth / 2);
    BoxBlurMask(*mask, kSmooth, kSmooth / 2);
    BlendByMask(*in.current, *in.neighbour, *mask, *in.out);
    benchmark::ClobberMemory();
  }
  Finish(state);
}

void OnePass(benchmark::State& state) {
  FilterInputs in(state);
  for (auto _ : state) {
    FrameRef mask = NewMask(Width(state), Height(state));
    FilterMaskAndBlend(*in.raw, kSmooth, mask.get(), *in.current, *in.neighbour, *in.out);
    benchmark::ClobberMemory();
  }
  Finish(state);
}

void MaskKinds(benchmark::internal::Benchmark* benchmark) {
  for (int64_t still = 0; still < 2; ++still) {
    benchmark->Args({720, 243, still})->Args({1920, 540, still});
  }
  benchmark->ArgNames({"width", "height", "still"});
}
BENCHMARK(StepsOneByOne)->Apply(MaskKinds);
BENCHMARK(OnePass)->Apply(MaskKinds);

}  // namespace
