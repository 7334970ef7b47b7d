// Libraries loaded at run time (the packet engine's add-in decoder).
#pragma once

#include <string>

namespace tqla::platform {

// An opaque handle of a loaded library; null when none.
using LibraryHandle = void*;

// Loads the library at path; null, with the system's reason in error, when
// it cannot be loaded.
LibraryHandle OpenLibrary(const char* path, std::string& error);
// The address of the exported function name, or null.
void* LibrarySymbol(LibraryHandle library, const char* name);
void CloseLibrary(LibraryHandle library);

}  // namespace tqla::platform
