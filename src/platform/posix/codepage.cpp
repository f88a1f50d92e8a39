// ANSI and UTF-16 conversion on POSIX systems: Windows-1252 by table (as Windows maps it,
// including its five unassigned bytes), every other code page through iconv.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace kel::platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the code page equals Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsWindows1252(std::uint32_t codePage) {
  return codePage == 0 || codePage == 1252;
}

char EncodeCp1252(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (int i = 0; i < 32; ++i)
    if (kCp1252High[i] == unit) return static_cast<char>(0x80 + i);
  return '?';  // the system's default character for what the code page lacks
}

const char* IconvName(std::uint32_t codePage, char* buffer, std::size_t size) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 1200:
      return "UTF-16LE";
    case 1201:
      return "UTF-16BE";
    case 20127:
      return "ASCII";
    case 28591:
      return "ISO-8859-1";
    default:
      std::snprintf(buffer, size, "CP%u", codePage);
      return buffer;
  }
}

// Converts with iconv; -1 when the code page is unknown, the text is invalid or does not fit.
int Convert(const char* to, const char* from, const char* in, std::size_t inBytes, char* out,
            std::size_t outBytes) {
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return -1;
  char* inPtr = const_cast<char*>(in);
  char* outPtr = out;
  std::size_t outLeft = outBytes;
  std::size_t rc = iconv(cd, &inPtr, &inBytes, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return -1;
  return static_cast<int>(outBytes - outLeft);
}

}  // namespace

int AnsiToWide(std::uint32_t codePage, const char* text, std::size_t length, char16_t* out,
               std::size_t outUnits) {
  if (length == 0) return 0;
  if (IsWindows1252(codePage)) {
    if (length > outUnits) return -1;
    for (std::size_t i = 0; i < length; ++i) {
      auto byte = static_cast<unsigned char>(text[i]);
      out[i] = byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
    }
    return static_cast<int>(length);
  }
  char name[16];
  int bytes = Convert("UTF-16LE", IconvName(codePage, name, sizeof name), text, length,
                      reinterpret_cast<char*>(out), outUnits * 2);
  return bytes < 0 ? -1 : bytes / 2;
}

int WideToAnsi(std::uint32_t codePage, const char16_t* text, std::size_t length, char* out,
               std::size_t outBytes) {
  if (length == 0) return 0;
  if (IsWindows1252(codePage)) {
    if (length > outBytes) return -1;
    for (std::size_t i = 0; i < length; ++i)
      out[i] = EncodeCp1252(text[i]);
    return static_cast<int>(length);
  }
  char name[16];
  return Convert(IconvName(codePage, name, sizeof name), "UTF-16LE",
                 reinterpret_cast<const char*>(text), length * 2, out, outBytes);
}

}  // namespace kel::platform
