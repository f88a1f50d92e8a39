// Profile (INI) files on Windows: the system's own profile services.
#include "platform/platform.h"

#include <windows.h>

#include <cstring>

namespace kel::platform {

std::size_t ReadProfileText(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  return ::GetPrivateProfileStringA(section, key, fallback ? fallback : "", out,
                                    static_cast<DWORD>(size), file);
}

int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback) {
  return static_cast<int>(::GetPrivateProfileIntA(section, key, fallback, file));
}

bool WriteProfileText(const char* file, const char* section, const char* key, const char* value) {
  return ::WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

std::size_t SettingsFilePath(const char* name, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  if (std::strchr(name, '\\') != nullptr || std::strchr(name, '/') != nullptr) {
    std::size_t length = std::strlen(name);
    if (length >= size) return 0;
    std::memcpy(out, name, length + 1);
    return length;
  }
  // A bare profile name lives in the Windows directory.
  UINT length = ::GetWindowsDirectoryA(out, static_cast<UINT>(size));
  if (length == 0 || length + std::strlen(name) + 2 > size) return 0;
  out[length++] = '\\';
  std::strcpy(out + length, name);
  return std::strlen(out);
}

}  // namespace kel::platform
