// The dialog stand-in's template equals the resource script Windows builds
// compile.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "win32/dialog_template.h"

namespace {

const std::string kPulldownDir = std::string(CORVALIS_SOURCE_DIR) + "/pulldown/";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Symbols of the script: resource.h's #defines and the system's own ids.
std::map<std::string, int32_t> Symbols() {
  std::map<std::string, int32_t> symbols = {{"IDOK", 1}, {"IDCANCEL", 2}};
  std::istringstream header(ReadFile(kPulldownDir + "resource.h"));
  std::string line;
  while (std::getline(header, line)) {
    std::istringstream words(line);
    std::string directive, name, value;
    if (words >> directive >> name >> value && directive == "#define" && name.rfind("ID", 0) == 0) {
      if (value.front() == '(') value = value.substr(1, value.size() - 2);
      symbols[name] = std::atoi(value.c_str());
    }
  }
  return symbols;
}

// Splits "a, "b,c", d" on commas outside quotes, trimming blanks.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& field : fields) {
    field.erase(0, field.find_first_not_of(" \t"));
    field.erase(field.find_last_not_of(" \t\r") + 1);
  }
  return fields;
}

std::string Unquoted(const std::string& text) { return text.substr(1, text.size() - 2); }

uint32_t Styles(const std::string& text) {
  static const std::map<std::string, uint32_t> kStyles = {
      {"CBS_DROPDOWNLIST", win32::kStyleDropDownList},
      {"CBS_SORT", win32::kStyleSort},
      {"WS_TABSTOP", win32::kStyleTabStop},
      {"WS_VSCROLL", win32::kStyleVerticalScroll}};
  uint32_t style = 0;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    if (word != "|") style |= kStyles.at(word);
  }
  return style;
}

TEST(PhaseDialogResource, StandInTemplateMirrorsTheResourceScript) {
  const std::map<std::string, int32_t> symbols = Symbols();
  const win32::DialogTemplate* dialog = win32::FindDialogTemplate(symbols.at("IDD_PHASE_DIALOG"));
  ASSERT_NE(dialog, nullptr);

  std::istringstream script(ReadFile(kPulldownDir + "phase_dialog.rc"));
  ASSERT_TRUE(script.good());
  std::vector<win32::ControlTemplate> controls;
  std::vector<std::string> texts;
  std::string line;
  bool sawHeader = false;
  while (std::getline(script, line)) {
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    std::string rest;
    std::getline(words, rest);
    if (keyword == "IDD_PHASE_DIALOG") {
      sawHeader = true;
      std::string kind;
      std::istringstream(rest) >> kind;
      const std::vector<std::string> size = Fields(rest.substr(rest.find(kind) + kind.size()));
      ASSERT_EQ(size.size(), 4u);
      EXPECT_EQ(std::stoi(size[2]), dialog->width);
      EXPECT_EQ(std::stoi(size[3]), dialog->height);
    } else if (keyword == "CAPTION") {
      EXPECT_EQ(Unquoted(Fields(rest)[0]), dialog->caption);
    } else if (keyword == "FONT") {
      const std::vector<std::string> font = Fields(rest);
      EXPECT_EQ(std::stoi(font[0]), dialog->pointSize);
      EXPECT_EQ(Unquoted(font[1]), dialog->font);
    } else if (keyword == "GROUPBOX" || keyword == "PUSHBUTTON" || keyword == "DEFPUSHBUTTON") {
      const std::vector<std::string> f = Fields(rest);
      ASSERT_EQ(f.size(), 6u) << line;
      const auto kind = keyword == "GROUPBOX"     ? win32::ControlKind::kGroupBox
                        : keyword == "PUSHBUTTON" ? win32::ControlKind::kPushButton
                                                  : win32::ControlKind::kDefPushButton;
      // Buttons are tab stops unless a script says otherwise.
      const uint32_t style = keyword == "GROUPBOX" ? 0 : win32::kStyleTabStop;
      texts.push_back(Unquoted(f[0]));
      controls.push_back({kind, symbols.at(f[1]), nullptr, std::stoi(f[2]), std::stoi(f[3]),
                          std::stoi(f[4]), std::stoi(f[5]), style});
    } else if (keyword == "COMBOBOX") {
      const std::vector<std::string> f = Fields(rest);
      ASSERT_EQ(f.size(), 6u) << line;
      texts.push_back("");
      controls.push_back({win32::ControlKind::kComboBox, symbols.at(f[0]), nullptr, std::stoi(f[1]),
                          std::stoi(f[2]), std::stoi(f[3]), std::stoi(f[4]), Styles(f[5])});
    }
  }
  EXPECT_TRUE(sawHeader);
  ASSERT_EQ(static_cast<int32_t>(controls.size()), dialog->controlCount);
  for (size_t i = 0; i < controls.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    const win32::ControlTemplate& mirrored = dialog->controls[i];
    EXPECT_EQ(mirrored.kind, controls[i].kind);
    EXPECT_EQ(mirrored.id, controls[i].id);
    EXPECT_EQ(mirrored.text, texts[i]);
    EXPECT_EQ(mirrored.x, controls[i].x);
    EXPECT_EQ(mirrored.y, controls[i].y);
    EXPECT_EQ(mirrored.width, controls[i].width);
    EXPECT_EQ(mirrored.height, controls[i].height);
    EXPECT_EQ(mirrored.style, controls[i].style);
  }
}

}  // namespace
