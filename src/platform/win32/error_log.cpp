// The local time and appending to a file, for the error log of quiet mode, on Windows.
#include "platform/platform.h"

#include <windows.h>

namespace kel::platform {

LocalDateTime CurrentLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return LocalDateTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool AppendToFile(const char* path, const void* data, std::size_t length) {
  if (path == nullptr || *path == '\0') return false;
  HANDLE file = ::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = length == 0 || ::WriteFile(file, data, static_cast<DWORD>(length), &written, nullptr);
  ::CloseHandle(file);
  return ok && written == length;
}

bool EraseNarrowFile(const char* path) {
  return path != nullptr && *path != '\0' && ::DeleteFileA(path) != 0;
}

bool FullNarrowPath(const char* path, char* out, std::size_t size) {
  if (path == nullptr || *path == '\0' || size == 0) return false;
  DWORD length = ::GetFullPathNameA(path, static_cast<DWORD>(size), out, nullptr);
  return length > 0 && length < size;
}

void DebuggerOutput(const char* text) {
  ::OutputDebugStringA(text);
}

}  // namespace kel::platform
