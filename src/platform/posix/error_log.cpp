// The local time and appending to a file, for the error log of quiet mode, on POSIX systems.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <cstdio>
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

}  // namespace kel::platform
