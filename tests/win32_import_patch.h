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

namespace importpatch {

class ImportPatch {
 public:
  // Patches `module`'s import of `function` from `library` (by name); does
  // nothing when the module does not import it so.
  ImportPatch(HMODULE module, const char* library, const char* function, void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  bool Applied() const { return slot_ != nullptr; }
  // The function the import led to before the patch.
  void* Original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

}  // namespace importpatch
