#include "platform/library.h"

#include <windows.h>

#include "platform/windows/error_text.h"

namespace tqla::platform {

LibraryHandle OpenLibrary(const char* path, std::string& error) {
  HMODULE module = LoadLibraryA(path);
  if (!module) error = ErrorText(GetLastError());
  return reinterpret_cast<LibraryHandle>(module);
}

void* LibrarySymbol(LibraryHandle library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace tqla::platform
