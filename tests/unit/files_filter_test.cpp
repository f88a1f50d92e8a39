// The second look at the names a wildcard search found, in each of the filter modes: the
// engine's matcher part by part, none at all, and the system's own matcher (which the engine's
// stands in for where the system has none). The cases answer the same in modes 0 and 2.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "functions/files/file_lists.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

struct FilterCase {
  const char16_t* name;
  const char16_t* pattern;
  bool kept;
};

constexpr FilterCase kCases[] = {
    {u"report.txt", u"*.txt", true},  {u"report.txtx", u"*.txt", false},
    {u"REPORT.TXT", u"r*.t?t", true}, {u"notes.bak", u"*.txt", false},
    {u"a.b.c", u"*.c", true},         {u"abc", u"a?c", true},
    {u"abcd", u"a?c", false},
};

std::string Narrow(std::u16string_view text) {
  return std::string(text.begin(), text.end());
}

class FileFilterTest : public EngineFixture {};

TEST_F(FileFilterTest, ModesZeroAndTwoMatchNameAndExtension) {
  for (int mode : {0, 2}) {
    context().files.wildcardFilterMode = mode;
    for (const FilterCase& item : kCases)
      EXPECT_EQ(PassesWildcardFilter(context(), item.name, item.pattern), item.kept)
          << "mode " << mode << ": " << Narrow(item.name);
  }
}

TEST_F(FileFilterTest, ModeOneKeepsEverything) {
  context().files.wildcardFilterMode = 1;
  for (const FilterCase& item : kCases)
    EXPECT_TRUE(PassesWildcardFilter(context(), item.name, item.pattern));
}

}  // namespace
}  // namespace kel::testing
