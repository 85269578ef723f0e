// The phase dialog's template as the plug-in carries it is the resource
// script's: on Windows as the resource compiler put it into the DLL,
// elsewhere as the dialog stand-in's table that mirrors the script.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pulldown/resource.h"
#if defined(_WIN32)
#include "refhost/win32_dialog_resource.h"
#else
#include "win32/dialog_template.h"
#endif

namespace {

// The dialog's header and its controls, a line each in one form for both.
std::string Line(const std::string& kind, int32_t id, const std::string& text, int32_t x,
                 int32_t y, int32_t width, int32_t height, uint32_t style) {
  std::ostringstream line;
  line << kind << " " << id << " \"" << text << "\" " << x << "," << y << "," << width << ","
       << height << " style 0x" << std::hex << style;
  return line.str();
}

std::string Header(int32_t id, const std::string& caption, int32_t width, int32_t height,
                   int32_t pointSize, const std::string& font) {
  std::ostringstream line;
  line << "DIALOGEX " << id << " \"" << caption << "\" " << width << "x" << height << " font "
       << pointSize << " \"" << font << "\"";
  return line.str();
}

// Control styles scripts set, as the system numbers them.
constexpr uint32_t kDropDownList = 0x0003;
constexpr uint32_t kSort = 0x0100;
constexpr uint32_t kTabStop = 0x00010000;
constexpr uint32_t kVerticalScroll = 0x00200000;

// Splits "a, "b,c", d" on commas outside quotes, trimming blanks and quotes.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      fields.emplace_back();
    } else if (c != '"') {
      fields.back() += c;
    }
  }
  for (std::string& field : fields) {
    field.erase(0, field.find_first_not_of(" \t"));
    field.erase(field.find_last_not_of(" \t\r") + 1);
  }
  return fields;
}

std::vector<std::string> ScriptTemplate() {
  const std::map<std::string, int32_t> ids = {
      {"IDD_PHASE_DIALOG", IDD_PHASE_DIALOG}, {"IDC_STATIC", IDC_STATIC},
      {"IDOK", 1}, {"IDCANCEL", 2},
      {"IDC_INPUT_PHASE", IDC_INPUT_PHASE}, {"IDC_OUTPUT_PHASE", IDC_OUTPUT_PHASE},
      {"IDC_DETECT_INPUT", IDC_DETECT_INPUT}, {"IDC_DETECT_OUTPUT", IDC_DETECT_OUTPUT},
      {"IDC_MANUAL_INPUT", IDC_MANUAL_INPUT}, {"IDC_MANUAL_OUTPUT", IDC_MANUAL_OUTPUT}};
  const std::map<std::string, uint32_t> styles = {{"CBS_DROPDOWNLIST", kDropDownList},
                                                  {"CBS_SORT", kSort},
                                                  {"WS_TABSTOP", kTabStop},
                                                  {"WS_VSCROLL", kVerticalScroll}};
  std::ifstream script(std::string(CORVALIS_SOURCE_DIR) + "/pulldown/phase_dialog.rc");
  std::vector<std::string> lines;
  std::string line, kind, caption;
  std::vector<std::string> size;
  int32_t id = 0;
  while (std::getline(script, line)) {
    std::istringstream words(line);
    std::string keyword, rest;
    words >> keyword >> kind;
    std::getline(words, rest);
    const std::vector<std::string> f = Fields(kind + rest);
    if (kind == "DIALOGEX") {
      id = ids.at(keyword);
      size = Fields(rest);  // x, y, width, height
    } else if (keyword == "CAPTION") {
      caption = f[0];
    } else if (keyword == "FONT") {
      lines.push_back(Header(id, caption, std::stoi(size[2]), std::stoi(size[3]),
                             std::stoi(f[0]), f[1]));
    } else if (keyword == "GROUPBOX" || keyword == "PUSHBUTTON" || keyword == "DEFPUSHBUTTON") {
      // Buttons are tab stops unless a script says otherwise.
      lines.push_back(Line(keyword, ids.at(f[1]), f[0], std::stoi(f[2]), std::stoi(f[3]),
                           std::stoi(f[4]), std::stoi(f[5]),
                           keyword == "GROUPBOX" ? 0 : kTabStop));
    } else if (keyword == "COMBOBOX") {
      uint32_t style = 0;
      std::istringstream flags(f[5]);
      for (std::string flag; flags >> flag;) style |= flag == "|" ? 0 : styles.at(flag);
      lines.push_back(Line(keyword, ids.at(f[0]), "", std::stoi(f[1]), std::stoi(f[2]),
                           std::stoi(f[3]), std::stoi(f[4]), style));
    }
  }
  return lines;
}

TEST(PhaseDialogResource, ThePluginCarriesTheScriptsTemplate) {
  const std::vector<std::string> script = ScriptTemplate();
  ASSERT_EQ(script.size(), 11u) << "the header and ten controls";
  std::vector<std::string> carried;
#if defined(_WIN32)
  HMODULE plugin = LoadLibraryA(CORVALIS_DEFAULT_PLUGIN);
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(refhost::DialogResourceIds(plugin), std::vector<int32_t>{IDD_PHASE_DIALOG});
  refhost::DialogResource dialog;
  ASSERT_TRUE(refhost::ReadDialogResource(plugin, IDD_PHASE_DIALOG, dialog));
  const uint32_t modalPopup = DS_MODALFRAME | WS_POPUP | WS_CAPTION;
  EXPECT_EQ(dialog.style & (modalPopup | WS_CHILD), modalPopup);
  carried.push_back(Header(IDD_PHASE_DIALOG, dialog.caption, dialog.width, dialog.height,
                          dialog.pointSize, dialog.font));
  for (const refhost::DialogItemResource& item : dialog.items) {
    EXPECT_NE(item.style & WS_CHILD, 0u) << item.text;
    const bool combo = item.classAtom == 0x0085;
    const uint32_t buttonKind = item.style & 0x000F;
    const char* kind = combo                           ? "COMBOBOX"
                       : buttonKind == BS_GROUPBOX      ? "GROUPBOX"
                       : buttonKind == BS_DEFPUSHBUTTON ? "DEFPUSHBUTTON"
                       : buttonKind == BS_PUSHBUTTON    ? "PUSHBUTTON"
                                                        : "?";
    if (!combo) EXPECT_EQ(item.classAtom, 0x0080) << item.text << " is a button";
    const uint32_t shown = kTabStop | kVerticalScroll | (combo ? kDropDownList | kSort : 0);
    carried.push_back(Line(kind, item.id, item.text, item.x, item.y, item.width, item.height,
                           item.style & shown));
  }
#else
  const win32::DialogTemplate* dialog = win32::FindDialogTemplate(IDD_PHASE_DIALOG);
  ASSERT_NE(dialog, nullptr);
  carried.push_back(Header(dialog->id, dialog->caption, dialog->width, dialog->height,
                          dialog->pointSize, dialog->font));
  const char* const kinds[] = {"GROUPBOX", "COMBOBOX", "PUSHBUTTON", "DEFPUSHBUTTON"};
  for (int32_t i = 0; i < dialog->controlCount; ++i) {
    const win32::ControlTemplate& control = dialog->controls[i];
    carried.push_back(Line(kinds[static_cast<int>(control.kind)], control.id, control.text,
                           control.x, control.y, control.width, control.height, control.style));
  }
#endif
  EXPECT_EQ(carried, script);
}

}  // namespace
