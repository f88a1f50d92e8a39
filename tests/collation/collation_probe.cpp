// Answers questions about the system's locale text comparison and casing, one line per question,
// so that a script can learn the order the POSIX build has to reproduce.
//
// Questions (texts are hexadecimal: two digits per ANSI byte, four per UTF-16 unit; "-" is the
// empty text and "null" a null pointer):
//   A <text> <text>   ->  lstrcmpA lstrcmpiA        (each -1, 0 or 1)
//   W <text> <text>   ->  lstrcmpW lstrcmpiW
//   CASEA             ->  256 lines "byte upper lower" (CharUpperBuffA, CharLowerBuffA)
//   CASEW             ->  65536 lines "unit upper lower" (CharUpperBuffW, CharLowerBuffW)
//   INFO              ->  the user's locale, the ANSI code page
// Every answer is flushed at once, so the asking script can wait for it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int Sign(int value) {
  return value < 0 ? -1 : value > 0 ? 1 : 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes `digitsPerUnit` hexadecimal digits per unit; false on malformed input.
bool DecodeUnits(const char* hex, int digitsPerUnit, std::u16string& out, bool& isNull) {
  out.clear();
  isNull = std::strcmp(hex, "null") == 0;
  if (isNull || std::strcmp(hex, "-") == 0) return true;
  std::size_t length = std::strlen(hex);
  if (length % digitsPerUnit != 0) return false;
  for (std::size_t i = 0; i < length; i += digitsPerUnit) {
    unsigned unit = 0;
    for (int k = 0; k < digitsPerUnit; ++k) {
      int digit = HexDigit(hex[i + k]);
      if (digit < 0) return false;
      unit = unit * 16 + digit;
    }
    out.push_back(static_cast<char16_t>(unit));
  }
  return true;
}

void CompareAnsi(const char* left, const char* right) {
  std::u16string a, b;
  bool aNull, bNull;
  if (!DecodeUnits(left, 2, a, aNull) || !DecodeUnits(right, 2, b, bNull)) {
    std::printf("error\n");
    return;
  }
  std::string x(a.begin(), a.end()), y(b.begin(), b.end());
  const char* px = aNull ? nullptr : x.c_str();
  const char* py = bNull ? nullptr : y.c_str();
  std::printf("%d %d\n", Sign(lstrcmpA(px, py)), Sign(lstrcmpiA(px, py)));
}

void CompareWide(const char* left, const char* right) {
  std::u16string a, b;
  bool aNull, bNull;
  if (!DecodeUnits(left, 4, a, aNull) || !DecodeUnits(right, 4, b, bNull)) {
    std::printf("error\n");
    return;
  }
  auto px = aNull ? nullptr : reinterpret_cast<const wchar_t*>(a.c_str());
  auto py = bNull ? nullptr : reinterpret_cast<const wchar_t*>(b.c_str());
  std::printf("%d %d\n", Sign(lstrcmpW(px, py)), Sign(lstrcmpiW(px, py)));
}

void CaseAnsi() {
  for (int byte = 0; byte < 256; ++byte) {
    char upper[1] = {static_cast<char>(byte)};
    char lower[1] = {static_cast<char>(byte)};
    CharUpperBuffA(upper, 1);
    CharLowerBuffA(lower, 1);
    std::printf("%02x %02x %02x\n", byte, static_cast<unsigned char>(upper[0]),
                static_cast<unsigned char>(lower[0]));
  }
}

void CaseWide() {
  for (unsigned unit = 0; unit < 0x10000; ++unit) {
    wchar_t upper[1] = {static_cast<wchar_t>(unit)};
    wchar_t lower[1] = {static_cast<wchar_t>(unit)};
    CharUpperBuffW(upper, 1);
    CharLowerBuffW(lower, 1);
    std::printf("%04x %04x %04x\n", unit, static_cast<unsigned>(upper[0]),
                static_cast<unsigned>(lower[0]));
  }
}

}  // namespace

int main() {
  char line[65536];
  while (std::fgets(line, sizeof line, stdin)) {
    char command[16] = {}, left[32768] = {}, right[32768] = {};
    int fields = std::sscanf(line, "%15s %32767s %32767s", command, left, right);
    if (fields <= 0) continue;
    if (std::strcmp(command, "A") == 0 && fields == 3) {
      CompareAnsi(left, right);
    } else if (std::strcmp(command, "W") == 0 && fields == 3) {
      CompareWide(left, right);
    } else if (std::strcmp(command, "CASEA") == 0) {
      CaseAnsi();
    } else if (std::strcmp(command, "CASEW") == 0) {
      CaseWide();
    } else if (std::strcmp(command, "INFO") == 0) {
      std::printf("locale %04lx acp %u\n", static_cast<unsigned long>(GetUserDefaultLCID()),
                  GetACP());
    } else {
      std::printf("error\n");
    }
    std::fflush(stdout);
  }
  return 0;
}
