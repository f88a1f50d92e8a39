// The Windows error box: which box comes, what it shows, and what its buttons mean.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "errors/error_box_clicker.h"
#include "errors/error_functions.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/report.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

class ErrorBoxTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    errors().errorMode = kErrorModeNotify;
    std::snprintf(errors().errorLine, sizeof errors().errorLine, "x = FileDelete(y)");
  }
  ErrorState& errors() { return context().errors; }
};

TEST_F(ErrorBoxTest, ContinueGoesOnWithTheErrorCleared) {
  errors().errNum = 1016;
  ErrorBoxClicker clicker(IDOK);
  EXPECT_EQ(ReportError(context(), nullptr, 1, 1016, kClassMinor), 1);
  BoxSighting seen = clicker.Finish();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.headline, "1016:  FileDelete: File not found");
  EXPECT_EQ(seen.errorLine, "x = FileDelete(y)");
  EXPECT_EQ(seen.title, "Error:  ");
  EXPECT_EQ(seen.firstButton, "&Continue");
  EXPECT_TRUE(seen.hasExitButton) << "a minor error under @NOTIFY offers Continue and Exit";
  EXPECT_FALSE(seen.moreInfoEnabled);
  EXPECT_FALSE(seen.webPageVisible) << "no help address is configured";
  EXPECT_EQ(errors().errNum, 0u);
  EXPECT_EQ(errors().lastErrNum, 1016);
}

TEST_F(ErrorBoxTest, ExitEndsTheScript) {
  errors().errorMode = kErrorModeOff;
  errors().errNum = 2214;
  AppendMoreErrorInfo(context(), "details");
  ErrorBoxClicker clicker(IDCANCEL);
  EXPECT_EQ(ReportError(context(), nullptr, 1, 2214, kClassModerate), 0);
  BoxSighting seen = clicker.Finish();
  ASSERT_TRUE(seen.found) << "a moderate error under @OFF is still shown";
  EXPECT_EQ(seen.headline, "2214:  Cmd Extender: Moderate Error Occurred");
  EXPECT_TRUE(seen.hasExitButton);
  EXPECT_TRUE(seen.moreInfoEnabled);
  EXPECT_EQ(errors().errNum, 2214u);
}

TEST_F(ErrorBoxTest, SevereErrorsShowOneButtonAndEnd) {
  errors().errNum = 3056;
  ErrorBoxClicker clicker(IDOK);
  EXPECT_EQ(ReportError(context(), nullptr, 1, 3056, kClassSevere), 0);
  BoxSighting seen = clicker.Finish();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.headline, "3056:  Variable could not be converted to string");
  EXPECT_EQ(seen.firstButton, "&Ok");
  EXPECT_FALSE(seen.hasExitButton);
  EXPECT_EQ(errors().errNum, 3056u);
}

TEST_F(ErrorBoxTest, TracebackWindowShowsTheFailingStatement) {
  errors().errNum = 1016;
  ErrorBoxClicker clicker(IDCANCEL, true);
  EXPECT_EQ(ReportError(context(), nullptr, 1, 1016, kClassMinor), 0);
  BoxSighting seen = clicker.Finish();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.tracebackTitle, "Traceback");
  ASSERT_EQ(seen.traceback.size(), 3u);
  EXPECT_EQ(seen.traceback[0].substr(0, 8), "  # Type");
  EXPECT_EQ(seen.traceback[1], "");
  EXPECT_EQ(seen.traceback[2].substr(0, 11), "  1 <error>");
  EXPECT_NE(seen.traceback[2].find("x = FileDelete(y)"), std::string::npos);
}

TEST_F(ErrorBoxTest, UserDefinedErrorContinues) {
  ErrorBoxClicker clicker(IDOK);
  EXPECT_EQ(ErrorEvent(context(), -2, 7001, "custom trouble"), 1);
  BoxSighting seen = clicker.Finish();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.headline, "User-Defined Error:  7001: custom trouble");
  EXPECT_EQ(errors().errNum, kCompletionUserReported);
  EXPECT_EQ(errors().statementContinues, 1);
  EXPECT_EQ(LastError(context()), 7001);
}

}  // namespace
}  // namespace kel::testing
