#include "avx/avx_global.h"

#include <atomic>

#include "avx/avx_host.h"

namespace {
std::atomic<avxHostBackend*> processHost{nullptr};

void Clear(char* buffer, uint32_t size) {
  if (buffer != nullptr && size > 0) buffer[0] = 0;
}
}  // namespace

avxHostBackend::~avxHostBackend() = default;

void avxSetProcessHost(avxHostBackend* host) { processHost.store(host); }

avxHostBackend* avxGetProcessHost() { return processHost.load(); }

void avxGlobal::GetHostDescription(char* name, uint32_t nameSize, char* version,
                                   uint32_t versionSize, char* product, uint32_t productSize,
                                   char* build, uint32_t buildSize) {
  Clear(name, nameSize);
  Clear(version, versionSize);
  Clear(product, productSize);
  Clear(build, buildSize);
  if (avxHostBackend* host = avxGetProcessHost()) {
    host->HostDescription(name, nameSize, version, versionSize, product, productSize, build,
                          buildSize);
  }
}
