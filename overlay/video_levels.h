// The video level table: what the overlay passes every picture byte through
// so that the source and motion views stay within video levels (16 to 235).
#pragma once

#include <cstdint>

// The byte limited to 16 … 235.
uint8_t VideoLevel(uint8_t value);
