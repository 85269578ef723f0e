#include "fx/memory_handler.h"

#include <cstddef>
#include <cstdlib>

// The build keeps the pool below in optimised builds and leaves it out
// wherever a memory checker watches (the sanitizer, memcheck and fuzzing
// builds), where the plain heap form at the end of this file is used.
#if defined(CORVALIS_POOLED_MEMORY)

namespace {

// Every render allocates and frees the same few large blocks (fields, masks,
// the blended result). A general heap returns blocks that large to the system
// on free and the next render faults every page in again, which costs more
// than the render's arithmetic. So each thread keeps its last few freed large
// blocks and hands them out again for requests of the same size; pixels are
// never initialised on creation, so a reused block is as good as a new one.
// (Per thread, so that instances rendering on different threads never share
// state, and without locks.)
constexpr uint32_t kKeptFromBytes = 64u << 10;
constexpr int kKeptBlocks = 8;
constexpr size_t kKeptBytesAtMost = size_t{96} << 20;

// Each block starts with its size, so that Free knows whether to keep it;
// 16 bytes keep the pixels as aligned as the heap's own blocks.
constexpr size_t kHeaderBytes = 16;

uint32_t& SizeOf(void* block) {
  return *reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(block) - kHeaderBytes);
}

void* HeapAllocate(uint32_t size) {
  void* raw = std::malloc(kHeaderBytes + size);
  if (raw == nullptr) throw fx::BadAllocation();
  void* block = static_cast<unsigned char*>(raw) + kHeaderBytes;
  SizeOf(block) = size;
  return block;
}

void HeapFree(void* block) { std::free(static_cast<unsigned char*>(block) - kHeaderBytes); }

// Plain data, so that it stays usable while the thread ends (buffers released
// by other thread-exit code after the flusher below has run).
struct KeptBlocks {
  void* blocks[kKeptBlocks];
  int count;
  size_t bytes;
  bool closed;
};
thread_local KeptBlocks kept = {};

// Gives the kept blocks back to the heap when the thread ends; what is freed
// after that goes straight to the heap.
struct KeptBlocksFlusher {
  KeptBlocksFlusher() = default;
  KeptBlocksFlusher(const KeptBlocksFlusher&) = delete;
  KeptBlocksFlusher& operator=(const KeptBlocksFlusher&) = delete;
  ~KeptBlocksFlusher() {
    for (int i = 0; i < kept.count; ++i) HeapFree(kept.blocks[i]);
    kept.count = 0;
    kept.bytes = 0;
    kept.closed = true;
  }
};

void* TakeKept(uint32_t size) {
  // Newest first: the block freed last is the likeliest to be in the cache.
  for (int i = kept.count - 1; i >= 0; --i) {
    void* block = kept.blocks[i];
    if (SizeOf(block) != size) continue;
    for (int j = i + 1; j < kept.count; ++j) kept.blocks[j - 1] = kept.blocks[j];
    --kept.count;
    kept.bytes -= size;
    return block;
  }
  return nullptr;
}

bool Keep(void* block) {
  if (kept.closed) return false;
  thread_local KeptBlocksFlusher flusher;
  const uint32_t size = SizeOf(block);
  if (size > kKeptBytesAtMost) return false;
  // The oldest blocks make room for the new one.
  while (kept.count > 0 && (kept.count == kKeptBlocks || kept.bytes + size > kKeptBytesAtMost)) {
    kept.bytes -= SizeOf(kept.blocks[0]);
    HeapFree(kept.blocks[0]);
    for (int j = 1; j < kept.count; ++j) kept.blocks[j - 1] = kept.blocks[j];
    --kept.count;
  }
  kept.blocks[kept.count++] = block;
  kept.bytes += size;
  return true;
}

}  // namespace

void* MemHandler::Allocate(uint32_t size) {
  if (size >= kKeptFromBytes) {
    if (void* block = TakeKept(size)) return block;
  }
  return HeapAllocate(size);
}

void MemHandler::Free(void* block) {
  if (block == nullptr) return;
  if (SizeOf(block) >= kKeptFromBytes && Keep(block)) return;
  HeapFree(block);
}

#else

// Every block straight from the heap and straight back, exactly its size: a
// memory checker then sees a read past a block, or of a freed one.
void* MemHandler::Allocate(uint32_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw fx::BadAllocation();
  return block;
}

void MemHandler::Free(void* block) { std::free(block); }

#endif

namespace {
fx::MemoryHandler* replacement = nullptr;
}

fx::MemoryHandler* GetMemHandler() {
  if (replacement != nullptr) return replacement;
  // Built once and never destroyed, so buffers released during process exit
  // still find their allocator.
  static MemHandler* const handler = new MemHandler();
  return handler;
}

fx::MemoryHandler* SetMemHandlerForTesting(fx::MemoryHandler* handler) {
  fx::MemoryHandler* previous = replacement != nullptr ? replacement : GetMemHandler();
  replacement = handler;
  return previous;
}
