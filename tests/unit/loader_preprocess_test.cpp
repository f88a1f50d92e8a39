// %name% substitution and run-time #include lines.
#include <cstring>
#include <string>

#include "errors/error_numbers.h"
#include "lang/preprocess.h"
#include "lang/variables.h"
#include "unit/engine_fixture.h"
#include "unit/loader_support.h"

namespace kel::testing {
namespace {

class LoaderPreprocessTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    SetVariable(context(), "Name", "abc", 0, kVariableText);
    SetVariable(context(), "count", nullptr, 42, kVariableInteger);
    SetVariable(context(), "empty", "", 0, kVariableText);
    SetVariable(context(), "hundred", std::string(100, 'h').c_str(), 0, kVariableText);
    context().includeMode = 1;
  }
  // Preprocesses a copy of `text`; the line afterwards goes to `line_`.
  int Run(const std::string& text) {
    std::memset(line_, 0, sizeof line_);
    std::memcpy(line_, text.data(), text.size() < kMaxLineLength ? text.size() : kMaxLineLength);
    context().errors.errNum = 0;
    return PreprocessLine(context(), line_);
  }
  char line_[kLineBufferBytes];
};

TEST_F(LoaderPreprocessTest, ReferencesAreReplaced) {
  struct Case {
    const char* text;
    const char* expected;
    int result;
  } cases[] = {
      {"x = 1", "x = 1", kPreprocessUnchanged},
      {"x = %name%", "x = abc", kPreprocessSubstituted},
      {"x = %NAME%%Count%!", "x = abc42!", kPreprocessSubstituted},
      {"100%% sure", "100% sure", kPreprocessUnchanged},
      {"%%name%%", "%name%", kPreprocessUnchanged},
      {"a%undefined%b", "ab", kPreprocessSubstituted},
      {"a%empty%b", "ab", kPreprocessSubstituted},
      {"a%@CRLF%b%@tab%c%@Cr%d%@lf%e", "a\r\nb\tc\rd\ne", kPreprocessSubstituted},
      {"%@crlfx%", "", kPreprocessSubstituted},
      {"x_1%name%", "x_1abc", kPreprocessSubstituted},
      {"%abcdefghijklmnopqrstuvwxyz1234%", "", kPreprocessSubstituted},  // 30 characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.text), c.result) << c.text;
    EXPECT_STREQ(line_, c.expected) << c.text;
    EXPECT_EQ(context().errors.errNum, 0u) << c.text;
  }
}

TEST_F(LoaderPreprocessTest, BadReferencesFailAndLeaveTheLine) {
  struct Case {
    std::string text;
    std::uint32_t error;
  } cases[] = {
      {"x = %name", kErrSubstitutionUnclosed},
      {"50%", kErrSubstitutionUnclosed},
      {"% name%", kErrSubstitutionUnclosed},
      {"%name-x%", kErrSubstitutionUnclosed},
      {"%name[1%", kErrSubstitutionUnclosed},
      {"%" + std::string(31, 'a') + "%", kErrSubstitutionNameTooLong},
      {"%hundred%" + std::string(1950, 'x'), kErrSubstitutionTooLong},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.text), kPreprocessFailed) << c.text;
    EXPECT_EQ(context().errors.errNum, c.error) << c.text;
    EXPECT_EQ(std::string(line_), c.text.substr(0, kMaxLineLength)) << c.text;
  }
  // Exactly 2048 characters after substitution still fit.
  EXPECT_EQ(Run("%hundred%" + std::string(1948, 'x')), kPreprocessSubstituted);
  EXPECT_EQ(std::strlen(line_), kMaxLineLength);
}

TEST_F(LoaderPreprocessTest, AValueLongerThanALineFails) {
  std::string long_value(3000, 'v');
  SetVariable(context(), "big", long_value.c_str(), 0, kVariableText);
  EXPECT_EQ(Run("%big%"), kPreprocessFailed);
  EXPECT_EQ(context().errors.errNum, kErrSubstitutionTooLong);
}

TEST_F(LoaderPreprocessTest, IncludeLinesBecomeCallsWhenAsked) {
  context().includeMode = 3;
  std::snprintf(context().scriptPath, sizeof context().scriptPath, "%s",
                LoaderFixture("main.kel").c_str());
  struct Case {
    std::string text;
    std::string expected;
  } cases[] = {
      {"#include other.kel", "Call(\"other.kel\",``)"},
      {"#INCLUDE\t 'other.kel'  ", "Call(\"other.kel\",``)"},
      {"#include `a b.kel`", "Call(\"a b.kel\",``)"},
      // A name found beside the running script is called by its full path.
      {"#include \"self.kel\"", "Call(\"" + LoaderFixture("self.kel") + "\",``)"},
      {"#include a", "Call(\"a\",``)"},
      {"#include", "#include"},
      {"#includex.kel", "#includex.kel"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.text), kPreprocessUnchanged) << c.text;
    EXPECT_EQ(std::string(line_), c.expected) << c.text;
  }
  context().includeMode = 1;
  EXPECT_EQ(Run("#include other.kel"), kPreprocessUnchanged);
  EXPECT_STREQ(line_, "#include other.kel");
}

}  // namespace
}  // namespace kel::testing
