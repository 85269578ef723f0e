// Golden pictures for tests: a hash of a buffer's bytes to compare, and the
// buffer as a PNG file that a person can look at. The PNG is written without
// compression (stored deflate blocks), so its bytes follow from the pixels
// alone and need no library.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace golden {

// FNV-1a, 64 bits.
inline uint64_t HashBytes(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
  return hash;
}

inline uint32_t Crc32(const std::string& data) {
  uint32_t crc = ~0u;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return ~crc;
}

inline void PutBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

inline void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  out += typed;
  PutBigEndian(out, Crc32(typed));
}

// The PNG (8-bit RGBA) of width × height pixels stored blue, green, red,
// alpha, rows rowBytes apart.
inline std::string EncodePng(const uint8_t* bgra, int width, int height, int rowBytes) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    const uint8_t* row = bgra + static_cast<size_t>(y) * rowBytes;
    for (const uint8_t* p = row; p < row + 4 * width; p += 4) {
      raw += {char(p[2]), char(p[1]), char(p[0]), char(p[3])};
    }
  }
  std::string zlib("\x78\x01", 2);
  constexpr size_t kBlock = 65535;
  size_t at = 0;
  do {
    const size_t length = std::min(kBlock, raw.size() - at);
    zlib += {char(at + length >= raw.size()), char(length & 0xFF), char(length >> 8),
             char(~length & 0xFF), char((~length >> 8) & 0xFF)};
    zlib.append(raw, at, length);
    at += length;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
  PutBigEndian(zlib, (b << 16) | a);

  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(width));
  PutBigEndian(header, static_cast<uint32_t>(height));
  header +=
      std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter or interlace
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace golden
