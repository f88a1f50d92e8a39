// Locale text comparison and casing on Windows: the system's own routines.
#include "platform/platform.h"

#include <windows.h>

namespace kel::platform {
namespace {

// The casing routines take a 32-bit length; texts longer than that go in pieces. An ANSI piece
// may end inside a double-byte character only for texts of gigabytes, which never occur.
constexpr std::size_t kPiece = 0x40000000;

template <typename Unit, typename Routine>
void InPieces(Unit* text, std::size_t length, Routine routine) {
  while (length > 0) {
    std::size_t piece = length < kPiece ? length : kPiece;
    routine(text, static_cast<DWORD>(piece));
    text += piece;
    length -= piece;
  }
}

LPWSTR Wide(char16_t* text) {
  return reinterpret_cast<LPWSTR>(text);
}

LPCWSTR Wide(const char16_t* text) {
  return reinterpret_cast<LPCWSTR>(text);
}

}  // namespace

int CompareLocaleText(const char* a, const char* b, bool ignoreCase) {
  return ignoreCase ? ::lstrcmpiA(a, b) : ::lstrcmpA(a, b);
}

int CompareLocaleWide(const char16_t* a, const char16_t* b, bool ignoreCase) {
  return ignoreCase ? ::lstrcmpiW(Wide(a), Wide(b)) : ::lstrcmpW(Wide(a), Wide(b));
}

char UpperAnsi(char c) {
  ::CharUpperBuffA(&c, 1);
  return c;
}

char LowerAnsi(char c) {
  ::CharLowerBuffA(&c, 1);
  return c;
}

char16_t UpperWide(char16_t c) {
  ::CharUpperBuffW(Wide(&c), 1);
  return c;
}

char16_t LowerWide(char16_t c) {
  ::CharLowerBuffW(Wide(&c), 1);
  return c;
}

void UpperAnsiText(char* text, std::size_t length) {
  InPieces(text, length, [](char* piece, DWORD units) { ::CharUpperBuffA(piece, units); });
}

void LowerAnsiText(char* text, std::size_t length) {
  InPieces(text, length, [](char* piece, DWORD units) { ::CharLowerBuffA(piece, units); });
}

void UpperWideText(char16_t* text, std::size_t length) {
  InPieces(text, length,
           [](char16_t* piece, DWORD units) { ::CharUpperBuffW(Wide(piece), units); });
}

void LowerWideText(char16_t* text, std::size_t length) {
  InPieces(text, length,
           [](char16_t* piece, DWORD units) { ::CharLowerBuffW(Wide(piece), units); });
}

}  // namespace kel::platform
