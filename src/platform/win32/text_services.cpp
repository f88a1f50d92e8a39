// Character classes and the locale's default code pages on Windows.
#include "platform/platform.h"

#include <windows.h>

#include <cstdlib>

namespace kel::platform {

bool CharacterTypesAnsi(const char* text, std::size_t length, std::uint16_t* types,
                        std::size_t* count) {
  *count = 0;
  if (length == 0) return true;
  if (length > 0x7FFFFFFF) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // One entry a character: as many as the text has UTF-16 units in the system code page.
  int characters = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (characters <= 0) return false;
  if (!::GetStringTypeA(LOCALE_SYSTEM_DEFAULT, CT_CTYPE1, text, static_cast<int>(length),
                        reinterpret_cast<LPWORD>(types)))
    return false;
  *count =
      static_cast<std::size_t>(characters) < length ? static_cast<std::size_t>(characters) : length;
  return true;
}

bool CharacterTypesWide(const char16_t* text, std::size_t length, std::uint16_t* types) {
  if (length == 0) return true;
  if (length > 0x7FFFFFFF) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return ::GetStringTypeW(CT_CTYPE1, reinterpret_cast<LPCWSTR>(text), static_cast<int>(length),
                          reinterpret_cast<LPWORD>(types)) != FALSE;
}

bool DefaultAnsiCodePage(bool user, std::uint32_t* codePage) {
  char digits[16];
  if (::GetLocaleInfoA(user ? LOCALE_USER_DEFAULT : LOCALE_SYSTEM_DEFAULT,
                       LOCALE_IDEFAULTANSICODEPAGE, digits, sizeof digits) == 0)
    return false;
  *codePage = static_cast<std::uint32_t>(std::strtoul(digits, nullptr, 10));
  return true;
}

}  // namespace kel::platform
