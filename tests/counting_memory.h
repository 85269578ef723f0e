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
    return *live_.insert(heap_.Allocate(size)).first;
  }
  void Free(void* block) override {
    if (block == nullptr) return;
    strayFrees_ += live_.erase(block) != 1;
    heap_.Free(block);
  }
  // Refuses the n-th allocation from now on (0: none), and restarts the count.
  void RunOutAt(int n) { budget_ = n, allocations_ = 0; }
  int Allocations() const { return allocations_; }
  size_t Live() const { return live_.size(); }
  int StrayFrees() const { return strayFrees_; }

 private:
  MemHandler heap_;
  int budget_ = 0, allocations_ = 0, strayFrees_ = 0;
  std::set<void*> live_;
};

}  // namespace testmemory
