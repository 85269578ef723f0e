// Still pictures as PNG, for frames the user wants to look at one by one.
#pragma once

#include <cstdint>
#include <string>

namespace cli {

// Writes width × height 4-byte pixels (blue, green, red, alpha; rows rowBytes
// apart) to `path` as PNG, with the alpha channel or without it. The file is
// replaced atomically; failures throw MediaError naming the path.
void WritePng(const std::string& path, const uint8_t* bgraPixels, int width, int height,
              int rowBytes, bool withAlpha);

}  // namespace cli
