#include "refhost/win32_dialog_resource.h"

#if defined(_WIN32)

#include <cstring>

namespace refhost {
namespace {

constexpr uint16_t kExtendedSignature = 0xFFFF;
constexpr uint16_t kOrdinalMark = 0xFFFF;
constexpr DWORD kSetFont = DS_SETFONT | DS_SHELLFONT;
// RT_DIALOG, spelled for the ANSI calls whatever UNICODE says.
const LPCSTR kDialogType = MAKEINTRESOURCEA(5);

// Walks a template's bytes; reads past the end leave `failed` set and yield
// zeros.
class TemplateReader {
 public:
  TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  template <typename T>
  T Read() {
    T value{};
    if (offset_ + sizeof(T) > size_) {
      failed = true;
      offset_ = size_;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof(T));
    offset_ += sizeof(T);
    return value;
  }

  // A zero-terminated UTF-16 string, kept as its low bytes (the templates
  // here hold ASCII text).
  std::string ReadString() {
    std::string text;
    for (uint16_t c = Read<uint16_t>(); c != 0 && !failed; c = Read<uint16_t>()) {
      text += static_cast<char>(c);
    }
    return text;
  }

  // A class or menu: nothing, an ordinal, or a name.
  void ReadNameOrOrdinal(uint16_t& ordinal, std::string& name) {
    const uint16_t first = Read<uint16_t>();
    if (first == 0) return;
    if (first == kOrdinalMark) {
      ordinal = Read<uint16_t>();
      return;
    }
    name = static_cast<char>(first) + ReadString();
  }

  void Skip(size_t bytes) { offset_ = offset_ + bytes > size_ ? size_ : offset_ + bytes; }
  void AlignToDword() { Skip((4 - offset_ % 4) % 4); }

  bool failed = false;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
};

}  // namespace

bool ReadDialogResource(HMODULE module, int32_t id, DialogResource& dialog) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), kDialogType);
  if (found == nullptr) return false;
  HGLOBAL loaded = LoadResource(module, found);
  const auto* bytes = static_cast<const uint8_t*>(LockResource(loaded));
  if (bytes == nullptr) return false;
  TemplateReader reader(bytes, SizeofResource(module, found));

  if (reader.Read<uint16_t>() != 1 || reader.Read<uint16_t>() != kExtendedSignature) return false;
  dialog = DialogResource{};
  dialog.id = id;
  reader.Read<uint32_t>();  // help id
  reader.Read<uint32_t>();  // extended style
  dialog.style = reader.Read<uint32_t>();
  const uint16_t itemCount = reader.Read<uint16_t>();
  dialog.x = reader.Read<int16_t>();
  dialog.y = reader.Read<int16_t>();
  dialog.width = reader.Read<int16_t>();
  dialog.height = reader.Read<int16_t>();
  uint16_t ordinal = 0;
  std::string name;
  reader.ReadNameOrOrdinal(ordinal, name);  // menu
  reader.ReadNameOrOrdinal(ordinal, name);  // window class
  dialog.caption = reader.ReadString();
  if (dialog.style & kSetFont) {
    dialog.pointSize = reader.Read<uint16_t>();
    reader.Read<uint16_t>();  // weight
    reader.Read<uint8_t>();   // italic
    reader.Read<uint8_t>();   // character set
    dialog.font = reader.ReadString();
  }
  for (uint16_t i = 0; i < itemCount && !reader.failed; ++i) {
    reader.AlignToDword();
    DialogItemResource item;
    reader.Read<uint32_t>();  // help id
    reader.Read<uint32_t>();  // extended style
    item.style = reader.Read<uint32_t>();
    item.x = reader.Read<int16_t>();
    item.y = reader.Read<int16_t>();
    item.width = reader.Read<int16_t>();
    item.height = reader.Read<int16_t>();
    item.id = reader.Read<int32_t>();
    reader.ReadNameOrOrdinal(item.classAtom, item.className);
    uint16_t textOrdinal = 0;
    reader.ReadNameOrOrdinal(textOrdinal, item.text);
    reader.Skip(reader.Read<uint16_t>());  // creation data
    dialog.items.push_back(item);
  }
  return !reader.failed;
}

namespace {

// A named function, not a lambda: the system calls it stdcall, which 32-bit
// Windows tells apart from a lambda's cdecl.
BOOL CALLBACK CollectResourceId(HMODULE, LPCSTR, LPSTR name, LONG_PTR list) {
  if (IS_INTRESOURCE(name)) {
    reinterpret_cast<std::vector<int32_t>*>(list)->push_back(
        static_cast<int32_t>(reinterpret_cast<uintptr_t>(name)));
  }
  return TRUE;
}

}  // namespace

std::vector<int32_t> DialogResourceIds(HMODULE module) {
  std::vector<int32_t> ids;
  EnumResourceNamesA(module, kDialogType, CollectResourceId, reinterpret_cast<LONG_PTR>(&ids));
  return ids;
}

}  // namespace refhost

#endif  // _WIN32
