// The wildcard matcher on its own, and the unit search against a plain comparison at every
// position over many generated texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "functions/strings/text_search.h"
#include "functions/strings/wildcard.h"

namespace kel::testing {
namespace {

struct WildcardCase {
  const char* text;
  const char* pattern;
  std::size_t matched;
};

constexpr WildcardCase kWildcardCases[] = {
    {"axbxb", "a*b", 3},  // the first place the run fits is kept
    {"abc", "a*", 3},     // a final star takes the whole text
    {"xxb", "*?b", 0},    // no backtracking: "?" took the first x for good
    {"abc", "", 0},       // an empty pattern matches nothing
    {"", "*", 0},         // nor does anything match an empty text
    {"abc", "*", 3},
    {"abc", "**", 3},
    {"abc", "a", 1},    // the text may go on behind the match
    {"ABC", "abc", 3},  // letters compare without regard to case
    {"abc", "ABC", 3},
    {"abc", "abcd", 0},
    {"abc", "a?c", 3},
    {"abc", "???", 3},
    {"ab", "???", 0},
    {"ab", "ab*", 2},
    {"ab", "ab**", 2},
    {"ab", "ab?", 0},
    {"abcabd", "*abd", 6},
    {"abcabd", "*ab", 2},  // the run fits at once; the pattern ends without a star
    {"readme.txt", "*.txt", 10},
    {"readme.txt", "*.TXT", 10},
    {"readme.txt", "r*.t?t", 10},
    {"readme.txt", "*.doc", 0},
    {"a.b.c", "*.c", 5},
    {"a.b.c", "*.b", 3},
    {"aaa", "*a", 1},
    {"xay", "*a*", 3},
    {"xay", "?a", 2},
};

TEST(StringsWildcard, MatcherAnswersTheMatchedLength) {
  for (const WildcardCase& c : kWildcardCases) {
    std::size_t expected = c.matched;
    EXPECT_EQ(MatchWildcard(c.text, c.pattern, 0), expected) << c.text << " / " << c.pattern;
    std::u16string text(c.text, c.text + std::char_traits<char>::length(c.text));
    std::u16string pattern(c.pattern, c.pattern + std::char_traits<char>::length(c.pattern));
    EXPECT_EQ(MatchWildcard(text.c_str(), pattern.c_str()), expected)
        << c.text << " / " << c.pattern << " (UTF-16)";
  }
}

// The first (or last) occurrence found by comparing at every position.
template <typename Unit>
std::size_t PlainFind(const std::basic_string<Unit>& text, const std::basic_string<Unit>& pattern,
                      std::size_t from, std::size_t limit, bool backward) {
  if (limit < from || limit - from < pattern.size()) return kNotFound;
  std::size_t last = limit - pattern.size();
  if (backward) {
    for (std::size_t at = last + 1; at-- > from;)
      if (text.compare(at, pattern.size(), pattern) == 0) return at;
  } else {
    for (std::size_t at = from; at <= last; ++at)
      if (text.compare(at, pattern.size(), pattern) == 0) return at;
  }
  return kNotFound;
}

template <typename Unit>
void CompareWithPlainSearch(std::uint32_t seed, Unit highUnit) {
  std::mt19937 random(seed);
  for (int round = 0; round < 3000; ++round) {
    // Small alphabets make repetitive texts, where a careless search goes wrong.
    int alphabet = 1 + static_cast<int>(random() % 3);
    auto unit = [&] {
      int pick = static_cast<int>(random() % (alphabet + 1));
      return pick == alphabet ? highUnit : static_cast<Unit>('a' + pick);
    };
    std::basic_string<Unit> text, pattern;
    for (std::size_t n = random() % 40; n > 0; --n)
      text += unit();
    for (std::size_t n = 1 + random() % 6; n > 0; --n)
      pattern += unit();
    std::size_t from = text.empty() ? 0 : random() % (text.size() + 1);
    std::size_t limit = from + (text.size() == from ? 0 : random() % (text.size() - from + 1));
    for (bool backward : {false, true}) {
      using Search = UnitSearch<Unit>;
      Search search(pattern.data(), pattern.size(),
                    backward ? Search::Direction::Backward : Search::Direction::Forward);
      ASSERT_EQ(search.Find(text.data(), from, limit),
                PlainFind(text, pattern, from, limit, backward))
          << "round " << round << (backward ? " backward" : " forward");
    }
  }
}

TEST(StringsSearch, AgreesWithAPlainComparisonAtEveryPosition) {
  CompareWithPlainSearch<char>(1, static_cast<char>(0xE9));
  CompareWithPlainSearch<char16_t>(2, u'\u0161');  // shares its low byte with 'a'
}

TEST(StringsSearch, StaysLinearOnRepetitiveTexts) {
  // "aaa...ab" in "aaa...a": a comparison at every position would take some 10^10 steps.
  std::string text(200000, 'a');
  std::string pattern(100000, 'a');
  pattern += 'b';
  UnitSearch<char> search(pattern.data(), pattern.size());
  EXPECT_EQ(search.Find(text.data(), 0, text.size()), kNotFound);
  text += 'b';
  EXPECT_EQ(search.Find(text.data(), 0, text.size()), 100000u);
}

}  // namespace
}  // namespace kel::testing
