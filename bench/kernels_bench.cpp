// Throughput of the line and pixel kernels on whole fields. Bytes processed
// are the field's pixel bytes (width × height × 4) per call.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench_images.h"
#include "render/line_kernels.h"

namespace {

using benchimages::FieldSizes;
using benchimages::ImageBytes;
using benchimages::RandomImage;

struct Field {
  int32_t width;
  int32_t height;
  explicit Field(const benchmark::State& state)
      : width(static_cast<int32_t>(state.range(0))), height(static_cast<int32_t>(state.range(1))) {}
};

void Finish(benchmark::State& state, const Field& field) {
  state.SetBytesProcessed(state.iterations() * ImageBytes(field.width, field.height));
}

// The physical reference: one plain block copy of a field.
void MemcpyField(benchmark::State& state) {
  const Field field(state);
  const size_t bytes = static_cast<size_t>(ImageBytes(field.width, field.height));
  std::vector<uint8_t> source(bytes, 1);
  std::vector<uint8_t> destination(bytes);
  for (auto _ : state) {
    std::memcpy(destination.data(), source.data(), bytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  Finish(state, field);
}
BENCHMARK(MemcpyField)->Apply(FieldSizes);

// The same copy from memory rather than cache: each thread walks its own
// 1920x540 fields through blocks four times the size of the last-level cache
// here, as a render does with decoded frames. One thread against two shows how
// far copy-bound work can scale on this machine's memory.
void MemcpyFieldFromMemory(benchmark::State& state) {
  constexpr size_t kFieldBytes = size_t{1920} * 540 * 4;
  constexpr size_t kFields = 32;  // 133 MB each way
  std::vector<uint8_t> source(kFieldBytes * kFields, 1);
  std::vector<uint8_t> destination(kFieldBytes * kFields, 0);
  size_t next = 0;
  for (auto _ : state) {
    std::memcpy(destination.data() + next * kFieldBytes, source.data() + next * kFieldBytes,
                kFieldBytes);
    benchmark::ClobberMemory();
    next = (next + 1) % kFields;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kFieldBytes));
}
BENCHMARK(MemcpyFieldFromMemory)->Threads(1)->Threads(2)->UseRealTime();

void CopyImageField(benchmark::State& state) {
  const Field field(state);
  FrameRef source = RandomImage(field.width, field.height, 1);
  FrameRef destination = NewImage(field.width, field.height);
  for (auto _ : state) {
    CopyImage(*destination, *source);
    benchmark::ClobberMemory();
  }
  Finish(state, field);
}
BENCHMARK(CopyImageField)->Apply(FieldSizes);

void AccumulateScaledField(benchmark::State& state) {
  const Field field(state);
  FrameRef source = RandomImage(field.width, field.height, 2);
  FrameRef destination = RandomImage(field.width, field.height, 3);
  for (auto _ : state) {
    AccumulateScaled(*destination, *source, 0.37);
    benchmark::ClobberMemory();
  }
  Finish(state, field);
}
BENCHMARK(AccumulateScaledField)->Apply(FieldSizes);

// Two- and six-tap line interpolation over a whole field (InterpolateField).
void InterpolateFieldTaps(benchmark::State& state, bool sixTap) {
  const Field field(state);
  FrameRef source = RandomImage(field.width, field.height, 4);
  FrameRef destination = NewImage(field.width, field.height);
  for (auto _ : state) {
    InterpolateField(*source, *destination, true, sixTap);
    benchmark::ClobberMemory();
  }
  Finish(state, field);
}
void InterpolateTwoTap(benchmark::State& state) { InterpolateFieldTaps(state, false); }
void InterpolateSixTap(benchmark::State& state) { InterpolateFieldTaps(state, true); }
BENCHMARK(InterpolateTwoTap)->Apply(FieldSizes);
BENCHMARK(InterpolateSixTap)->Apply(FieldSizes);

void SmoothVerticalField(benchmark::State& state) {
  const Field field(state);
  FrameRef image = RandomImage(field.width, field.height, 5);
  for (auto _ : state) {
    SmoothVertical(*image);
    benchmark::ClobberMemory();
  }
  Finish(state, field);
}
BENCHMARK(SmoothVerticalField)->Apply(FieldSizes);

void ShiftUpOneLineField(benchmark::State& state) {
  const Field field(state);
  FrameRef image = RandomImage(field.width, field.height, 6);
  for (auto _ : state) {
    ShiftUpOneLine(*image);
    benchmark::ClobberMemory();
  }
  Finish(state, field);
}
BENCHMARK(ShiftUpOneLineField)->Apply(FieldSizes);

}  // namespace
