// The wildcard matcher: "*" and "?" over upper-cased texts, without backtracking.
#include "functions/strings/wildcard.h"

#include <cstring>

namespace kel {
namespace {

template <typename Unit>
bool SameUnits(const Unit* a, const Unit* b, std::size_t length) {
  return std::memcmp(a, b, length * sizeof(Unit)) == 0;
}

template <typename Unit>
std::size_t Match(TextSpan<Unit> text, TextSpan<Unit> pattern, const CharacterSteps& steps) {
  if (text.length == 0 || pattern.length == 0) return 0;
  const Unit* p = pattern.data;
  bool afterStar = false;
  std::size_t t = 0, at = 0;
  while (at < pattern.length && t < text.length) {
    if (p[at] == Unit('*')) {
      afterStar = true;
      ++at;
      continue;
    }
    if (p[at] == Unit('?')) {
      afterStar = false;
      ++at;
      t = steps.Next(text.data, text.length, t);
      continue;
    }
    // The literal run up to the next wildcard, tried here and, after a "*", at each character
    // that follows until it fits.
    std::size_t runEnd = at;
    while (runEnd < pattern.length && p[runEnd] != Unit('*') && p[runEnd] != Unit('?'))
      runEnd = steps.Next(p, pattern.length, runEnd);
    std::size_t run = runEnd - at;
    for (;;) {
      if (text.length - t < run) return 0;  // it cannot fit here nor anywhere further on
      if (SameUnits(text.data + t, p + at, run)) break;
      if (!afterStar) return 0;
      t = steps.Next(text.data, text.length, t);
    }
    t += run;
    at = runEnd;
    afterStar = false;
  }
  if (at < pattern.length) {
    // The text ran out first: only trailing stars may be left.
    for (; at < pattern.length; ++at)
      if (p[at] != Unit('*')) return 0;
    return t;
  }
  return afterStar ? text.length : t;
}

template <typename Unit>
std::size_t MatchPlain(const Unit* text, std::size_t textLength, const Unit* pattern,
                       std::size_t patternLength, const CharacterSteps& steps) {
  WorkBuffer<Unit> upperText, upperPattern;
  if (!UpperCopy<Unit>({text, textLength}, upperText) ||
      !UpperCopy<Unit>({pattern, patternLength}, upperPattern))
    return 0;
  return Match<Unit>({upperText.data(), textLength}, {upperPattern.data(), patternLength}, steps);
}

}  // namespace

std::size_t MatchUpperWildcard(TextSpan<char> text, TextSpan<char> pattern,
                               const CharacterSteps& steps) {
  return Match(text, pattern, steps);
}

std::size_t MatchUpperWildcard(TextSpan<char16_t> text, TextSpan<char16_t> pattern,
                               const CharacterSteps& steps) {
  return Match(text, pattern, steps);
}

std::size_t MatchWildcard(const char* text, const char* pattern, std::uint32_t codePage) {
  CharacterSteps steps(codePage);
  return MatchPlain(text, std::strlen(text), pattern, std::strlen(pattern), steps);
}

std::size_t MatchWildcard(const char16_t* text, const char16_t* pattern) {
  CharacterSteps steps(0u);
  return MatchPlain(text, WideLength(text), pattern, WideLength(pattern), steps);
}

}  // namespace kel
