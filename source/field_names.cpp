#include "source/field_names.h"

const char* FieldName(int32_t field) {
  static const char* const kNames[] = {"Odd", "Even", "Both"};
  return field >= 0 && field <= 2 ? kNames[field] : "?";
}
