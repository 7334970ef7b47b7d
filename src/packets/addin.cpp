#include "packets/addin.h"

#include <string>

#include "frame/export.h"
#include "platform/library.h"

namespace tqla::packets {
namespace {

// The add-in's function has the API's calling convention (__stdcall on 32-bit
// Windows, where its exported name may carry the decoration of its 16 bytes of
// arguments).
using ApiDecode = uint32_t(TQLA_API*)(char* protocolName, char bit, char* outputBits, char first);
constexpr const char* kApiDecodeNames[] = {"APIDecode", "_APIDecode@16"};

struct AddinLibrary {
  platform::LibraryHandle handle = nullptr;
  ApiDecode decode = nullptr;
};
AddinLibrary addin;

void Unload() {
  platform::CloseLibrary(addin.handle);
  addin = AddinLibrary{};
}

}  // namespace

bool AddinLoaded() { return addin.decode != nullptr; }

uint32_t AddinDecode(const char* protocolName, int bit, uint8_t* output, bool first) {
  if (!addin.decode) {
    output[0] = static_cast<uint8_t>(bit != 0);
    return 1;
  }
  char name[1] = {'\0'};
  // The add-in takes the name writable; it gets the model's own text.
  char* text = protocolName ? const_cast<char*>(protocolName) : name;
  const uint32_t count =
      addin.decode(text, static_cast<char>(bit != 0), reinterpret_cast<char*>(output), static_cast<char>(first));
  return count > kAddinOutputBits ? kAddinOutputBits : count;
}

}  // namespace tqla::packets

extern "C" {

// A library that cannot be opened, or that has no APIDecode, leaves no add-in
// loaded (ADDIN passes bits through) and returns 0.
int32_t TQLA_API TqlaSetAddinLibrary(const char* path) {
  return tqla::Guarded<int32_t>("TqlaSetAddinLibrary", 0, [&]() -> int32_t {
    using namespace tqla::packets;
    Unload();
    if (!path || !*path) return 1;
    std::string error;
    tqla::platform::LibraryHandle handle = tqla::platform::OpenLibrary(path, error);
    if (!handle) {
      tqla::Fail("Add-in library %s not loaded: %s", path, error.c_str());
      return 0;
    }
    ApiDecode decode = nullptr;
    for (const char* name : kApiDecodeNames) {
      if (!decode) decode = reinterpret_cast<ApiDecode>(tqla::platform::LibrarySymbol(handle, name));
    }
    if (!decode) {
      tqla::Fail("Add-in library %s has no APIDecode", path);
      tqla::platform::CloseLibrary(handle);
      return 0;
    }
    addin.handle = handle;
    addin.decode = decode;
    tqla::Trace("Add-in library %s loaded", path);
    return 1;
  });
}

}  // extern "C"
