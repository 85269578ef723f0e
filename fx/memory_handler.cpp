#include "fx/memory_handler.h"

#include <cstdlib>

void* MemHandler::Allocate(uint32_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw fx::BadAllocation();
  return block;
}

void MemHandler::Free(void* block) { std::free(block); }

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
