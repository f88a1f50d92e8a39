// The title-matching rule of the window finder, on its own.
#include <gtest/gtest.h>

#include <string>

#include "functions/windows/window_support.h"

namespace kel::testing {
namespace {

struct TitleCase {
  const char16_t* name;
  const char16_t* title;
  bool matches;
};

constexpr TitleCase kTitleCases[] = {
    {u"Report", u"Report - a.txt", true},  // a prefix
    {u"Report", u"Memo - Report", false},
    {u"Report", u"Rep", false},             // a title shorter than the name
    {u"report", u"Report - a.txt", false},  // case counts
    {u"~Report", u"Report - a.txt", true},  // anywhere
    {u"~Report", u"Memo - Report", true},
    {u"~Report~", u"Memo - Report", true},  // at the end
    {u"~Report~", u"Report - a.txt", false},
    {u"~ab~", u"ab-ab", true},               // a later occurrence ends there
    {u"Report~", u"Report - a.txt", false},  // the whole title
    {u"Report~", u"Report", true},
    {u"~", u"~ tilde", true},      // one character is a prefix like any other
    {u"~x", u"", false},           // untitled windows never match
    {u"Win", u"WinOldAp", false},  // nor do the old console windows
    {u"~OldAp~", u"WinOldAp", false},
};

TEST(WindowTitleTest, NamesMatchTitlesByTheFindersRule) {
  for (const TitleCase& c : kTitleCases)
    EXPECT_EQ(TitleMatches(c.name, c.title), c.matches)
        << std::string(c.name, c.name + std::u16string(c.name).size()) << " / "
        << std::string(c.title, c.title + std::u16string(c.title).size());
}

}  // namespace
}  // namespace kel::testing
