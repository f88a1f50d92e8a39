// Profile (INI) files on Windows: the system's own profile services.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace kel::platform {

std::size_t ReadProfileText(const char* file, const char* section, const char* key,
                            const char* fallback, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  return ::GetPrivateProfileStringA(section, key, fallback, out, static_cast<DWORD>(size), file);
}

int ReadProfileNumber(const char* file, const char* section, const char* key, int fallback) {
  return static_cast<int>(::GetPrivateProfileIntA(section, key, fallback, file));
}

bool WriteProfileText(const char* file, const char* section, const char* key, const char* value) {
  return ::WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

std::size_t ReadSystemProfileText(const char* section, const char* key, const char* fallback,
                                  char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  return ::GetProfileStringA(section, key, fallback, out, static_cast<DWORD>(size));
}

bool WriteSystemProfileText(const char* section, const char* key, const char* value) {
  return ::WriteProfileStringA(section, key, value) != FALSE;
}

void AnnounceSystemProfileChange(const char* section) {
  // Handle value -1 (0xFFFFFFFF in 32 bits, widened as handles are) reaches every top-level
  // window, as the broadcast handle does.
  ::SendMessageA(reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), WM_WININICHANGE, 0,
                 reinterpret_cast<LPARAM>(section));
}

std::uint64_t ProfileFileSize(const char* file) {
  char path[MAX_PATH];
  if (SettingsFilePath(file != nullptr ? file : "WIN.INI", path, sizeof path) == 0) return 0;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
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
