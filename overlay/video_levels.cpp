#include "overlay/video_levels.h"

#include <array>

namespace {

constexpr int kBlackLevel = 16;
constexpr int kWhiteLevel = 235;

constexpr std::array<uint8_t, 256> BuildLevelTable() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const int level = i < kBlackLevel ? kBlackLevel : (i > kWhiteLevel ? kWhiteLevel : i);
    table[i] = static_cast<uint8_t>(level);
  }
  return table;
}

// Built at compile time: a constant of the process before any draw.
constexpr std::array<uint8_t, 256> kLevelTable = BuildLevelTable();

}  // namespace

uint8_t VideoLevel(uint8_t value) { return kLevelTable[value]; }
