// Names of the host's field values in console text.
#pragma once

#include <cstdint>

// "Odd", "Even" or "Both" for field values 0, 1, 2; "?" for any other.
const char* FieldName(int32_t field);
