// The module's string table, the file search for the language file, and double-byte lead bytes
// on POSIX systems. Shared objects carry no string resources, so the engine's table is the
// message catalogue compiled in; other modules have none.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

namespace kel::platform {
namespace {

struct ModuleString {
  std::uint32_t id;
  const char* text;
};

constexpr ModuleString kStrings[] = {
#define KEL_MESSAGE(number, text) {number, text},
#include "resources/messages.inc"
#undef KEL_MESSAGE
};

bool IsRegularFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

std::size_t CopyPath(const std::string& path, char* out, std::size_t size) {
  if (path.size() >= size) return 0;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return path.size();
}

}  // namespace

bool LoadModuleString(void* module, std::uint32_t id, char* out, std::size_t size,
                      std::size_t* length) {
  if (length != nullptr) *length = 0;
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  if (module != nullptr) return false;
  auto it =
      std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                       [](const ModuleString& entry, std::uint32_t key) { return entry.id < key; });
  if (it == std::end(kStrings) || it->id != id) return false;
  std::size_t copied = std::strlen(it->text);
  if (copied >= size) copied = size - 1;
  std::memcpy(out, it->text, copied);
  out[copied] = '\0';
  if (length != nullptr) *length = copied;
  return true;
}

std::size_t FindFileOnSearchPath(const char* name, char* out, std::size_t size) {
  if (name == nullptr || *name == '\0' || out == nullptr || size == 0) return 0;
  out[0] = '\0';
  if (std::strchr(name, '/') != nullptr) return IsRegularFile(name) ? CopyPath(name, out, size) : 0;
  // The program's directory, the current directory, then PATH: the order of the module search.
  std::string directories;
  char program[4096];
  ssize_t programLength = ::readlink("/proc/self/exe", program, sizeof program - 1);
  if (programLength > 0) {
    std::string path(program, static_cast<std::size_t>(programLength));
    directories = path.substr(0, path.rfind('/')) + ":";
  }
  char current[4096];
  if (::getcwd(current, sizeof current) != nullptr) directories += std::string(current) + ":";
  if (const char* path = std::getenv("PATH")) directories += path;
  std::size_t start = 0;
  while (start <= directories.size()) {
    std::size_t end = directories.find(':', start);
    if (end == std::string::npos) end = directories.size();
    std::string directory = directories.substr(start, end - start);
    if (!directory.empty()) {
      std::string candidate = directory + "/" + name;
      if (IsRegularFile(candidate)) return CopyPath(candidate, out, size);
    }
    start = end + 1;
  }
  posix::SetLastSystemError(2);  // file not found
  return 0;
}

// The lead bytes of the double-byte code pages, as their definitions fix them (code page 0 is
// Windows-1252 here, which has none). iconv converts the texts; this only says where a
// two-byte character starts.
bool IsDoubleByteLead(std::uint32_t codePage, unsigned char byte) {
  switch (codePage) {
    case 932:  // Japanese (Shift-JIS)
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:  // Simplified Chinese (GBK)
    case 949:  // Korean (Unified Hangul Code)
    case 950:  // Traditional Chinese (Big5)
      return byte >= 0x81 && byte <= 0xFE;
    case 1361:  // Korean (Johab)
      return (byte >= 0x84 && byte <= 0xD3) || (byte >= 0xD8 && byte <= 0xDE) ||
             (byte >= 0xE0 && byte <= 0xF9);
    default:
      return false;
  }
}

}  // namespace kel::platform
