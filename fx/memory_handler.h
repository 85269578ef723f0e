// The process-wide allocator of pixel memory and frame buffers.
//
// Allocate never returns null: exhaustion throws std::bad_alloc whose what()
// is "bad allocation". Free ignores null.
#pragma once

#include <cstdint>
#include <new>

namespace fx {

class MemoryHandler {
 public:
  virtual void* Allocate(uint32_t size) = 0;
  virtual void Free(void* block) = 0;

 protected:
  ~MemoryHandler() = default;
};

// The exception an exhausted allocator throws.
class BadAllocation : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "bad allocation"; }
};

}  // namespace fx

// The general-purpose heap behind every pixel block and frame buffer.
class MemHandler final : public fx::MemoryHandler {
 public:
  void* Allocate(uint32_t size) override;
  void Free(void* block) override;
};

// The allocator everyone uses: the MemHandler singleton, built on first use,
// unless a test has put another handler in its place.
fx::MemoryHandler* GetMemHandler();

// Replaces the allocator (fault-injection tests); null restores MemHandler.
// Returns the previous one.
fx::MemoryHandler* SetMemHandlerForTesting(fx::MemoryHandler* handler);
