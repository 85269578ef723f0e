// Process-wide host queries.
#pragma once

#include <cstdint>

#include "avx/avx_types.h"

class AVX_API avxGlobal {
 public:
  // Fills the host's name, version, product and build strings (each cut to
  // its buffer and zero-terminated; empty without a host).
  static void GetHostDescription(char* name, uint32_t nameSize, char* version,
                                 uint32_t versionSize, char* product, uint32_t productSize,
                                 char* build, uint32_t buildSize);
};
