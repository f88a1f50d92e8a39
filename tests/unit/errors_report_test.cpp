// Error reporting: classes, the report's outcome by mode and class, the quiet-mode log, the
// more-error-information text, the box's line texts, and LastError, ErrorMode and ErrorEvent.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <system_error>

#include "errors/error_functions.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "errors/report.h"
#include "errors/source_position.h"
#include "errors/traceback.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

// Every test here runs in quiet mode unless it says otherwise, so no box ever waits for a user.
class ErrorsReportTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    SetQuietMode(context(), 1, nullptr);
    log_ = std::filesystem::temp_directory_path() /
           ("kel-errors-" + std::to_string(platform::TickCount()) + ".log");
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(log_, ignored);
    EngineFixture::TearDown();
  }

  std::string LogText() {
    std::ifstream file(log_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  std::string MoreInfo() {
    char text[kMoreErrorInfoBytes + 10];
    MoreErrorInfoText(context(), text, sizeof text);
    return text;
  }
  ErrorState& errors() { return context().errors; }

  std::filesystem::path log_;
};

TEST(ErrorsClass, BoundsOfTheThreeClasses) {
  const std::pair<std::uint32_t, int> cases[] = {
      {1, kClassMinor},       {2000, kClassMinor},  {2001, kClassModerate},
      {3000, kClassModerate}, {3001, kClassSevere}, {8999, kClassSevere},
  };
  for (const auto& [number, errorClass] : cases)
    EXPECT_EQ(ErrorClass(number), errorClass) << number;
}

TEST_F(ErrorsReportTest, OutcomeByModeAndClass) {
  struct Case {
    std::int32_t mode;
    std::uint32_t number;
    int result;
    bool shown;
  };
  // Quiet mode answers Exit, so everything shown ends the script; only a minor error under
  // @OFF is not shown and lets the script go on.
  const Case cases[] = {
      {kErrorModeOff, 1016, 1, false},   {kErrorModeOff, 2214, 0, true},
      {kErrorModeOff, 3056, 0, true},    {kErrorModeCancel, 1016, 0, true},
      {kErrorModeNotify, 1016, 0, true}, {kErrorModeNotify, 3056, 0, true},
  };
  for (const Case& c : cases) {
    errors().errorMode = c.mode;
    errors().errNum = c.number;
    errors().reportKept = 0;
    errors().errorHeadline[0] = '\0';
    EXPECT_EQ(ReportError(context(), nullptr, 1, c.number, ErrorClass(c.number)), c.result)
        << c.mode << " " << c.number;
    EXPECT_EQ(errors().lastErrNum, static_cast<std::int32_t>(c.number));
    EXPECT_EQ(errors().errNum, c.number) << "only a Continue clears the error";
    EXPECT_EQ(errors().reportKept != 0, c.shown);
  }
}

TEST_F(ErrorsReportTest, HostLevelFailuresShowTheirMessageAsTheLine) {
  EXPECT_EQ(ReportError(context(), nullptr, 216, 111, kClassSevere), 0);
  EXPECT_STREQ(errors().errorLine, "Could not allocate (or lock) work buffer");
  EXPECT_STREQ(errors().errorHeadline, "111:  Execution Error");
  char line[64], headline[64];
  EXPECT_EQ(CopyKeptReport(context(), line, headline, nullptr, sizeof line), 1);
  EXPECT_STREQ(line, "Could not allocate (or lock) work buffer");
  EXPECT_STREQ(headline, "111:  Execution Error");
  EXPECT_EQ(CopyKeptReport(context(), line, headline, nullptr, 8), 1);
  EXPECT_STREQ(headline, "111:  E");
}

TEST_F(ErrorsReportTest, NoReportNoCopy) {
  char line[64] = "x", headline[64] = "x";
  EXPECT_EQ(CopyKeptReport(context(), line, headline, nullptr, sizeof line), 0);
  EXPECT_STREQ(line, "");
  EXPECT_STREQ(headline, "");
}

TEST_F(ErrorsReportTest, QuietModeLogsEachReport) {
  EXPECT_EQ(SetQuietMode(context(), -1, log_.string().c_str()), 1);
  errors().errorMode = kErrorModeNotify;
  errors().errNum = 1016;
  EXPECT_EQ(ReportStatementError(context(), "x = FileDelete(y)", false), 0);
  errors().errNum = 3056;
  EXPECT_EQ(ReportStatementError(context(), "", false), 0);
  const std::string date = R"(\d\d/\d\d/\d\d  \d\d:\d\d:\d\d  )";
  const std::regex expected(date + "\r\n\r\n1016:  FileDelete: File not found\r\n\r\n" +
                            R"(x = FileDelete\(y\))" + "\r\n\r\n<HR>\r\n\r\n" + date +
                            "\r\n\r\n3056:  Variable could not be converted to string\r\n"
                            "\r\n\r\n<HR>\r\n\r\n");
  std::string log = LogText();
  EXPECT_TRUE(std::regex_match(log, expected)) << log;
}

TEST_F(ErrorsReportTest, AnUnwritableLogStillEndsTheScript) {
  std::string path = (log_ / "no-such-directory" / "errors.log").string();
  SetQuietMode(context(), 1, path.c_str());
  errors().errorMode = kErrorModeNotify;
  EXPECT_EQ(ReportError(context(), nullptr, 1, 1016, kClassMinor), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ErrorsReportTest, StatementReportLeavesCompletionCodesAlone) {
  for (std::uint32_t number : {0u, 9000u, 9999u}) {
    errors().errNum = number;
    EXPECT_EQ(ReportStatementError(context(), "stmt", false), 1);
    EXPECT_EQ(errors().errNum, number);
    EXPECT_EQ(errors().reportKept, 0);
  }
}

TEST_F(ErrorsReportTest, StatementReportDiscardsTheMoreInformation) {
  errors().errorMode = kErrorModeOff;
  errors().errNum = 1016;
  AppendMoreErrorInfo(context(), "detail");
  EXPECT_EQ(ReportStatementError(context(), "FileDelete(y)", false), 1);
  EXPECT_EQ(errors().errNum, 1016u) << "the runner clears a silent minor error";
  EXPECT_EQ(errors().lastErrNum, 1016);
  EXPECT_EQ(errors().moreErrorInfo, nullptr);
  EXPECT_STREQ(errors().errorLine, "FileDelete(y)");
}

TEST_F(ErrorsReportTest, MoreInformationIsSeparatedAndCapped) {
  AppendMoreErrorInfo(context(), "one");
  AppendMoreErrorInfo(context(), "two");
  AppendMoreErrorInfo(context(), "three");
  const std::string rule = "\n\n" + std::string(40, '-') + "\n";
  EXPECT_EQ(MoreInfo(), "one" + rule + "two" + rule + "three");
  DiscardMoreErrorInfo(context());
  AppendMoreErrorInfo(context(), std::string(900, 'a').c_str());
  AppendMoreErrorInfo(context(), std::string(100, 'b').c_str());
  std::string text = MoreInfo();
  ASSERT_EQ(text.size(), 1024u);
  EXPECT_EQ(text.substr(900, rule.size()), rule);
  EXPECT_EQ(text.back(), 'b');
}

#if !defined(_WIN32)
TEST_F(ErrorsReportTest, FailedSystemCallsAreRecorded) {
  std::filesystem::path settings = log_.string() + "-settings";
  std::filesystem::create_directories(settings);
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  std::string saved = previous != nullptr ? previous : "";
  setenv("XDG_CONFIG_HOME", settings.c_str(), 1);
  RecordApiError(context(), 5, "CopyFile", false);
  EXPECT_EQ(MoreInfo(), "");
  RecordApiError(context(), 2, "CreateFile (1)", true);
  char value[64];
  platform::ReadProfileText("ZENTRIQ.INI", "KELCORE1", "LastError", "", value, sizeof value);
  if (previous != nullptr)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  std::error_code ignored;
  std::filesystem::remove_all(settings, ignored);
  EXPECT_STREQ(value, "2 (CreateFile (1))");
  EXPECT_EQ(MoreInfo(), "CreateFile (1) error:\n\n    2");
}

// Without a window manager the box is a report on standard error, answered with Exit.
TEST_F(ErrorsReportTest, InteractiveReportGoesToStandardErrorAndEnds) {
  SetQuietMode(context(), 0, nullptr);
  errors().errorMode = kErrorModeNotify;
  errors().errNum = 2214;
  std::snprintf(errors().errorLine, sizeof errors().errorLine, "Ext(1)");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(ReportError(context(), nullptr, 1, 2214, kClassModerate), 0);
  std::string output = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(output.find("2214:  Cmd Extender: Moderate Error Occurred"), std::string::npos);
  EXPECT_NE(output.find("Ext(1)"), std::string::npos);
  EXPECT_EQ(errors().errNum, 2214u);
}
#endif

TEST_F(ErrorsReportTest, HelpPageSetting) {
  EXPECT_EQ(SetHelpPage(context(), 1, "http://example.invalid/help"), 0);
  EXPECT_STREQ(errors().helpPageAddress, "http://example.invalid/help");
  EXPECT_EQ(SetHelpPage(context(), 0, "0"), 1);
  EXPECT_STREQ(errors().helpPageAddress, "http://example.invalid/help");
  EXPECT_EQ(SetHelpPage(context(), 7, ""), 0);
  // The product names no default address, so the page starts off.
  InitialiseErrorReporting(context());
  EXPECT_EQ(errors().helpPageOn, 0);
  EXPECT_EQ(errors().errorMode, kErrorModeCancel);
}

TEST_F(ErrorsReportTest, LineInformationOfTheBox) {
  struct Case {
    std::int32_t line;
    std::int32_t tag;
    const char* function;
    const char* lineInformation;
    const char* fileInformation;
  };
  const Case cases[] = {
      {12, -1, "", "On line 12", "In C:\\s.kel"},
      {5, 1, "", "On line 5 of C:\\s.kel", ""},
      {5, 0, "", "Near line 5 of C:\\s.kel", ""},
      {7, -1, "myudf", "On line 7 of Routine \"myudf\"", "In C:\\s.kel"},
      {7, 1, "myudf", "On line 7 of C:\\s.kel", "In Routine \"myudf\""},
      {0, -1, "", "In C:\\s.kel", ""},
  };
  for (const Case& c : cases) {
    SourcePosition position{};
    position.line = c.line;
    position.markerTag = c.tag;
    std::snprintf(position.file, sizeof position.file, "C:\\s.kel");
    std::snprintf(position.functionName, sizeof position.functionName, "%s", c.function);
    char lineInformation[300], fileInformation[300];
    FormatLineInformation(context(), position, lineInformation, fileInformation,
                          sizeof lineInformation);
    EXPECT_STREQ(lineInformation, c.lineInformation);
    EXPECT_STREQ(fileInformation, c.fileInformation);
  }
}

TEST_F(ErrorsReportTest, TracebackCutsLongStatements) {
  SourcePosition position{};
  position.line = 9;
  position.markerTag = -1;
  std::snprintf(position.file, sizeof position.file, "C:\\scripts\\main.kel");
  const std::string forty = "x = StrCat(aaaaaaaaaa, bbbbbbbbbb, cccc)";
  ASSERT_EQ(forty.size(), 40u);
  std::snprintf(errors().errorLine, sizeof errors().errorLine, "%s", forty.c_str());
  char text[1000];
  FormatTraceback(context(), position, text, sizeof text);
  std::istringstream lines(text);
  std::string header, empty, last;
  std::getline(lines, header);
  std::getline(lines, empty);
  std::getline(lines, last);
  EXPECT_EQ(header, "  # Type            Line# Error Line                       Source File");
  EXPECT_EQ(empty, "");
  EXPECT_EQ(last, "  1 <error>             9 " + forty.substr(0, 29) + "... main.kel");
  // Exactly 32 characters fit the column.
  std::snprintf(errors().errorLine, sizeof errors().errorLine, "%s", forty.substr(0, 32).c_str());
  FormatTraceback(context(), position, text, sizeof text);
  EXPECT_NE(std::string(text).find(forty.substr(0, 32) + " main.kel"), std::string::npos);
}

TEST_F(ErrorsReportTest, LastErrorReadsOnceAndPrefersCompanionCodes) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {1016, 1016}, {1668, 1668}, {1213, 42}, {2214, 42}, {3215, 42},
      {9013, 42},   {9014, 42},   {9015, 42}, {9016, 42},
  };
  for (const auto& [number, answer] : cases) {
    errors().lastErrNum = number;
    errors().userErrCode = 42;
    EXPECT_EQ(LastError(context()), answer) << number;
    EXPECT_EQ(LastError(context()), 0);
  }
}

TEST_F(ErrorsReportTest, ErrorModeReturnsThePreviousMode) {
  EXPECT_EQ(errors().errorMode, kErrorModeCancel) << "a script starts under @CANCEL";
  EXPECT_EQ(ErrorMode(context(), 5), kErrorModeCancel);
  EXPECT_EQ(errors().errorMode, kErrorModeNotify);
  EXPECT_EQ(ErrorMode(context(), 0), kErrorModeNotify);
  EXPECT_EQ(ErrorMode(context(), 1), kErrorModeOff);
  EXPECT_EQ(ErrorMode(context(), -1), kErrorModeCancel);
  EXPECT_EQ(errors().errorMode, kErrorModeNotify);
}

TEST_F(ErrorsReportTest, ErrorEventRefusesBadSeverityAndCode) {
  EXPECT_EQ(ErrorEvent(context(), -2, 6999, "m"), 0);
  EXPECT_EQ(errors().errNum, kErrErrorEventCode);
  errors().errNum = 0;
  EXPECT_EQ(ErrorEvent(context(), -2, 8000, "m"), 0);
  EXPECT_EQ(errors().errNum, kErrErrorEventCode);
  errors().errNum = 0;
  EXPECT_EQ(ErrorEvent(context(), 0, 7001, "m"), 0);
  EXPECT_EQ(errors().errNum, kErrErrorEventSeverity);
}

TEST_F(ErrorsReportTest, MinorErrorEventUnderOffWaitsForTheRunner) {
  ErrorMode(context(), kErrorModeOff);
  EXPECT_EQ(ErrorEvent(context(), -1, 7001, "quiet one"), 1);
  EXPECT_EQ(errors().errNum, kErrUserMinor);
  EXPECT_EQ(errors().userErrCode, 7001);
  EXPECT_STREQ(errors().userErrText, "quiet one");
  EXPECT_EQ(ReportStatementError(context(), "ErrorEvent(-1, 7001, 'quiet one')", false), 1);
  EXPECT_EQ(errors().reportKept, 0);
  EXPECT_EQ(LastError(context()), static_cast<std::int32_t>(kErrUserMinor));
}

TEST_F(ErrorsReportTest, ShownErrorEventIsReportedAtOnce) {
  std::string longMessage(300, 'm');
  ErrorMode(context(), kErrorModeNotify);
  EXPECT_EQ(ErrorEvent(context(), -2, 7002, "went wrong"), 1);
  EXPECT_EQ(errors().errNum, kCompletionUserReported);
  EXPECT_STREQ(errors().errorHeadline, "User-Defined Error:  7002: went wrong");
  EXPECT_STREQ(errors().errorLine, "went wrong");
  EXPECT_EQ(errors().statementContinues, 0) << "quiet mode answers Exit";
  EXPECT_EQ(LastError(context()), 7002);
  EXPECT_EQ(ErrorEvent(context(), -3, 7003, longMessage.c_str()), 1);
  EXPECT_EQ(std::strlen(errors().userErrText), kUserErrorTextBytes - 1);
}

TEST(ErrorsMathSlot, KindsBecomeNumbersAndSubstituteResults) {
  struct Case {
    MathErrorKind kind;
    std::uint32_t number;
    double result;
  };
  const Case cases[] = {
      {MathErrorKind::Domain, 1341, 1.0},      {MathErrorKind::Overflow, 1342, 1.0},
      {MathErrorKind::PartialLoss, 1343, 1.0}, {MathErrorKind::Singularity, 1344, 1.0},
      {MathErrorKind::TotalLoss, 1345, 1.0},   {MathErrorKind::Other, 1347, 1.0},
      {MathErrorKind::Underflow, 0, 0.0},
  };
  for (const Case& c : cases) {
    ClearMathError();
    EXPECT_EQ(RaiseMathError(c.kind), c.result);
    EXPECT_EQ(PendingMathError(), c.number);
  }
  ClearMathError();
  EXPECT_EQ(PendingMathError(), 0u);
}

TEST_F(ErrorsReportTest, TakingTheMathErrorMovesItIntoTheContext) {
  ClearMathError();
  EXPECT_FALSE(TakeMathError(context()));
  EXPECT_EQ(errors().errNum, 0u);
  RaiseMathError(MathErrorKind::Overflow);
  EXPECT_TRUE(TakeMathError(context()));
  EXPECT_EQ(errors().errNum, kErrFloatTooLarge);
  EXPECT_EQ(PendingMathError(), 0u);
}

}  // namespace
}  // namespace kel::testing
