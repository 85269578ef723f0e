#include "cli/pixel_buffer.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace cli {

namespace {

constexpr size_t kHugePage = size_t{2} << 20;
// Below two huge pages the padding would cost more than the faults saved.
constexpr size_t kSmallest = 2 * kHugePage;

size_t Padded(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* AllocatePixelBlock(size_t bytes) {
  if (bytes < kSmallest) return ::operator new(bytes);
  const size_t padded = Padded(bytes);
  void* block = ::operator new(padded, std::align_val_t{kHugePage});
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only a hint: when it is refused the block is as good, only slower to fault in.
  madvise(block, padded, MADV_HUGEPAGE);
#endif
  return block;
}

void FreePixelBlock(void* block, size_t bytes) {
  if (bytes < kSmallest) {
    ::operator delete(block);
    return;
  }
  ::operator delete(block, std::align_val_t{kHugePage});
}

}  // namespace cli
