// Effect instances for renders that run at the same time, as an editor keeps
// one per render thread: a render takes a host of its own for as long as it
// needs it and hands it back for the next one, so that no instance ever
// serves two renders at once. Hosts are made when no idle one is left, one at
// a time (making an instance touches process-wide state of the effect).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "refhost/effect_host.h"

namespace refhost {

class HostPool {
 public:
  using Factory = std::function<std::unique_ptr<EffectHost>()>;

  // A host taken from the pool; it goes back when the lease ends.
  class Lease {
   public:
    Lease(HostPool& pool, std::unique_ptr<EffectHost> host)
        : pool_(&pool), host_(std::move(host)) {}
    Lease(Lease&& other) noexcept = default;
    Lease& operator=(Lease&&) = delete;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() {
      if (host_) pool_->Return(std::move(host_));
    }
    EffectHost& operator*() const { return *host_; }
    EffectHost* operator->() const { return host_.get(); }

   private:
    HostPool* pool_;
    std::unique_ptr<EffectHost> host_;
  };

  explicit HostPool(Factory make) : make_(std::move(make)) {}

  // An idle host, or a new one; what the factory throws passes on.
  Lease Acquire() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.empty()) return Lease(*this, make_());
    std::unique_ptr<EffectHost> host = std::move(idle_.back());
    idle_.pop_back();
    return Lease(*this, std::move(host));
  }

  // Makes hosts until `count` are idle: errors in setting up an instance
  // then come before any render.
  void Prepare(size_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (idle_.size() < count) idle_.push_back(make_());
  }

 private:
  void Return(std::unique_ptr<EffectHost> host) {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(host));
  }

  Factory make_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<EffectHost>> idle_;
};

}  // namespace refhost
