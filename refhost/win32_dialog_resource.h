// Dialog templates as the resource compiler stored them in a Windows module,
// decoded (extended templates only, the form resource scripts produce for
// DIALOGEX).
#pragma once

#if defined(_WIN32)

#include <cstdint>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace refhost {

struct DialogItemResource {
  uint16_t classAtom = 0;  // 0x0080 button, 0x0085 combo box, ...; 0 when named
  std::string className;   // when named instead
  int32_t id = 0;
  std::string text;
  int16_t x = 0, y = 0, width = 0, height = 0;  // dialog units
  uint32_t style = 0;
};

struct DialogResource {
  int32_t id = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, width = 0, height = 0;
  std::string caption;
  uint16_t pointSize = 0;  // with the font, when the template sets one
  std::string font;
  std::vector<DialogItemResource> items;
};

// Reads dialog template `id` of the module; false when it is missing or not
// an extended template.
bool ReadDialogResource(HMODULE module, int32_t id, DialogResource& dialog);

// The ids of the module's dialog templates that have numeric ids.
std::vector<int32_t> DialogResourceIds(HMODULE module);

}  // namespace refhost

#endif  // _WIN32
