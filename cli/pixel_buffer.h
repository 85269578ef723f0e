// Storage for whole decoded pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace cli {

// Blocks of many megabytes are placed on 2 MiB boundaries, padded to whole
// 2 MiB units and marked for transparent huge pages, so that first touching
// them costs one page fault per 2 MiB instead of one per 4 KiB: for 1080p
// frames the faults of a fresh frame otherwise cost more than converting its
// pixels. A kernel without such pages leaves them ordinary pages.
void* AllocatePixelBlock(size_t bytes);
void FreePixelBlock(void* block, size_t bytes);

template <class T>
struct PixelAllocator {
  using value_type = T;
  PixelAllocator() = default;
  template <class U>
  PixelAllocator(const PixelAllocator<U>&) {}
  T* allocate(size_t count) { return static_cast<T*>(AllocatePixelBlock(count * sizeof(T))); }
  void deallocate(T* block, size_t count) { FreePixelBlock(block, count * sizeof(T)); }
  template <class U>
  bool operator==(const PixelAllocator<U>&) const {
    return true;
  }
  template <class U>
  bool operator!=(const PixelAllocator<U>&) const {
    return false;
  }
};

using PixelBuffer = std::vector<uint8_t, PixelAllocator<uint8_t>>;

}  // namespace cli
