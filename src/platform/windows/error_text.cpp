#include "platform/windows/error_text.h"

#include <windows.h>

namespace tqla::platform {

std::string ErrorText(uint32_t code) {
  char text[512] = "";
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) --length;
  if (length == 0) return "Windows error " + std::to_string(code);
  return std::string(text, length) + " (error " + std::to_string(code) + ")";
}

}  // namespace tqla::platform
