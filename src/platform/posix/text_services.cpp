// Character classes and the locale's default code pages where the Windows routines are missing:
// the classes replayed from a table of the system's own answers, the code pages of the one
// locale this layer knows (Windows-1252).
#include "platform/platform.h"

#include <iterator>

namespace kel::platform {
namespace {

struct ClassRun {
  char16_t first;
  char16_t last;
  std::uint16_t bits;
};

constexpr ClassRun kClassRuns[] = {
#include "platform/posix/character_types_table.inc"
};

constexpr std::uint32_t kSystemCodePage = 1252;

std::uint16_t ClassOf(char16_t unit) {
  // The runs cover every unit in order: find the last run that starts at or before it.
  std::size_t low = 0, high = std::size(kClassRuns);
  while (high - low > 1) {
    std::size_t middle = low + (high - low) / 2;
    if (kClassRuns[middle].first <= unit)
      low = middle;
    else
      high = middle;
  }
  return kClassRuns[low].bits;
}

}  // namespace

bool CharacterTypesAnsi(const char* text, std::size_t length, std::uint16_t* types,
                        std::size_t* count) {
  // The system code page maps each byte to one unit.
  for (std::size_t i = 0; i < length; ++i) {
    char16_t unit = 0;
    if (AnsiToWide(0, text + i, 1, &unit, 1) != 1) return false;
    types[i] = ClassOf(unit);
  }
  *count = length;
  return true;
}

bool CharacterTypesWide(const char16_t* text, std::size_t length, std::uint16_t* types) {
  for (std::size_t i = 0; i < length; ++i)
    types[i] = ClassOf(text[i]);
  return true;
}

bool DefaultAnsiCodePage(bool, std::uint32_t* codePage) {
  *codePage = kSystemCodePage;
  return true;
}

}  // namespace kel::platform
