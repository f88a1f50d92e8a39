// ANSI and UTF-16 conversion on Windows.
#include "platform/platform.h"

#include <windows.h>

namespace kel::platform {

int AnsiToWide(std::uint32_t codePage, const char* text, std::size_t length, char16_t* out,
               std::size_t outUnits) {
  if (length == 0) return 0;
  int units = ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(length),
                                    reinterpret_cast<wchar_t*>(out), static_cast<int>(outUnits));
  return units > 0 ? units : -1;
}

int WideToAnsi(std::uint32_t codePage, const char16_t* text, std::size_t length, char* out,
               std::size_t outBytes) {
  if (length == 0) return 0;
  int bytes = ::WideCharToMultiByte(codePage, 0, reinterpret_cast<const wchar_t*>(text),
                                    static_cast<int>(length), out, static_cast<int>(outBytes),
                                    nullptr, nullptr);
  return bytes > 0 ? bytes : -1;
}

}  // namespace kel::platform
