#include "source/source_fetch.h"

FrameRef FindCached(const SourceCache& cache, int32_t input, int32_t frame, avxField field) {
  for (const CacheEntry& entry : cache.entries) {
    if (entry.input == input && entry.frame == frame && entry.field == field) return entry.image;
  }
  return FrameRef();
}

FrameRef BufferFor(const FrameRef& into, int32_t width, int32_t height) {
  const bool fits = into && into->data != nullptr && into->width == width &&
                    into->height == height && into->rowBytes == 4 * width;
  return fits ? into : NewImage(width, height);
}

FrameRef FetchSourceField(avxInstance_v1& instance, SourceCache& cache, int32_t input,
                          int32_t frame, avxField field, const FrameRef& into) {
  if (FrameRef cached = FindCached(cache, input, frame, field)) return cached;

  int32_t width = 0;
  int32_t height = 0;
  instance.GetAlternateFrameSize(field, &width, &height);
  FrameRef buffer = BufferFor(into, width, height);

  avxImage* image = avxImage::New();
  if (avxImage* source = instance.GetInput(input)) image->SetFormat(source->GetFormat());
  image->SetSize(width, height);
  image->SetData(buffer->data);
  bool delivered = instance.GetAlternateFrame(static_cast<uint16_t>(input),
                                              static_cast<uint16_t>(frame), image, field);
  avxImage::Delete(image);
  if (!delivered) buffer->ClearToZero();

  cache.entries.push_back(CacheEntry{input, frame, field, buffer});
  return buffer;
}
