#include "platform/library.h"

#include <dlfcn.h>

namespace tqla::platform {

LibraryHandle OpenLibrary(const char* path, std::string& error) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    error = reason ? reason : "unknown reason";
  }
  return handle;
}

void* LibrarySymbol(LibraryHandle library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void CloseLibrary(LibraryHandle library) {
  if (library) dlclose(library);
}

}  // namespace tqla::platform
