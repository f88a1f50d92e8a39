// The local time and appending to a file, for the error log of quiet mode, on POSIX systems.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace kel::platform {

LocalDateTime CurrentLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return LocalDateTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                       parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

bool AppendToFile(const char* path, const void* data, std::size_t length) {
  if (path == nullptr || *path == '\0') return false;
  std::FILE* file = std::fopen(path, "ab");
  if (file == nullptr) {
    posix::SetLastErrorFromErrno();
    return false;
  }
  bool ok = std::fwrite(data, 1, length, file) == length;
  if (std::fclose(file) != 0) ok = false;
  return ok;
}

bool EraseNarrowFile(const char* path) {
  return path != nullptr && *path != '\0' && std::remove(path) == 0;
}

bool FullNarrowPath(const char* path, char* out, std::size_t size) {
  if (path == nullptr || *path == '\0' || size == 0) return false;
  if (path[0] == '/') return std::snprintf(out, size, "%s", path) < static_cast<int>(size);
  char directory[PATH_MAX];
  if (getcwd(directory, sizeof directory) == nullptr) return false;
  int length = std::snprintf(out, size, "%s/%s", directory, path);
  return length >= 0 && static_cast<std::size_t>(length) < size;
}

void DebuggerOutput(const char* text) {
  std::fputs(text, stderr);
  std::fflush(stderr);
}

}  // namespace kel::platform
