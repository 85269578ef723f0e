// Dialog templates of the module's resources, as the stand-in reads them.
//
// On Windows the resource compiler puts a module's dialog templates into the
// module; here each template is a constant table that the module registers
// when it is loaded, kept equal to the module's resource script.
#pragma once

#include <cstdint>

namespace win32 {

enum class ControlKind : int32_t {
  kGroupBox,
  kComboBox,
  kPushButton,
  kDefPushButton,
};

// Control styles the stand-in knows (values as in resource scripts).
constexpr uint32_t kStyleDropDownList = 0x0003;
constexpr uint32_t kStyleSort = 0x0100;
constexpr uint32_t kStyleTabStop = 0x00010000;
constexpr uint32_t kStyleVerticalScroll = 0x00200000;

// The id resource scripts give controls that nobody addresses.
constexpr int32_t kStaticId = -1;

// Positions and sizes are in dialog units.
struct ControlTemplate {
  ControlKind kind;
  int32_t id;
  const char* text;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  uint32_t style;
};

struct DialogTemplate {
  int32_t id;
  const char* caption;
  int32_t width;
  int32_t height;
  const char* font;
  int32_t pointSize;
  const ControlTemplate* controls;
  int32_t controlCount;
};

// Adds a template to the module's resources; the table must outlive the
// module. Returns true so that it can initialise a namespace-scope constant.
bool RegisterDialogTemplate(const DialogTemplate& dialog);
// The registered template with that id, or null.
const DialogTemplate* FindDialogTemplate(int32_t id);

}  // namespace win32
