// Points a module's import of one function at a replacement while the object
// lives, through the module's import address table: how the Windows tests
// watch or fail the system calls a loaded DLL makes.
#pragma once

#if !defined(_WIN32)
#error "import patches are for Windows"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace importpatch {

class ImportPatch {
 public:
  // Patches `module`'s import of `function` from `library` (by name); does
  // nothing when the module does not import it so.
  ImportPatch(HMODULE module, const char* library, const char* function, void* replacement) {
    if (module == nullptr) return;
    slot_ = ImportSlot(reinterpret_cast<uint8_t*>(module), library, function);
    if (slot_ == nullptr) return;
    original_ = *slot_;
    WriteSlot(replacement);
  }
  ~ImportPatch() {
    if (slot_ != nullptr) WriteSlot(original_);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  bool Applied() const { return slot_ != nullptr; }
  // The function the import led to before the patch.
  void* Original() const { return original_; }

 private:
  // The import address table entry through which the module calls `function`
  // of `library`; null when it does not import it by name.
  static void** ImportSlot(uint8_t* base, const char* library, const char* function) {
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return nullptr;
    for (auto* entry =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), library) != 0) continue;
      const auto* names =
          reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
      auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
      for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
        const auto* byName =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
          return reinterpret_cast<void**>(&addresses->u1.Function);
        }
      }
    }
    return nullptr;
  }
  // The table may lie in read-only pages once the loader has filled it.
  void WriteSlot(void* value) {
    DWORD protection = 0;
    VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
    *slot_ = value;
    VirtualProtect(slot_, sizeof *slot_, protection, &protection);
  }

  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace importpatch
