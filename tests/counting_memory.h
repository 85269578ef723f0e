// An allocator for tests that counts the blocks in use, notes frees of
// blocks it never gave (or gave and took back already), and can be told to
// refuse one allocation, as a host out of memory would.
#pragma once

#include <cstdint>
#include <set>

#include "fx/memory_handler.h"

namespace testmemory {

class CountingHandler final : public fx::MemoryHandler {
 public:
  void* Allocate(uint32_t size) override {
    if (++allocations_ == budget_) throw fx::BadAllocation();
    void* block = heap_.Allocate(size);
    live_.insert(block);
    lastSize_ = size;
    return block;
  }
  void Free(void* block) override {
    if (block == nullptr) return;
    if (live_.erase(block) != 1) ++strayFrees_;
    heap_.Free(block);
  }
  // Refuses the n-th allocation from now on (0: none), and restarts the count.
  void RunOutAt(int n) {
    budget_ = n;
    allocations_ = 0;
  }
  int Allocations() const { return allocations_; }
  size_t Live() const { return live_.size(); }
  int StrayFrees() const { return strayFrees_; }
  uint32_t LastSize() const { return lastSize_; }

 private:
  MemHandler heap_;
  int budget_ = 0;
  int allocations_ = 0;
  int strayFrees_ = 0;
  uint32_t lastSize_ = 0;
  std::set<void*> live_;
};

}  // namespace testmemory
