// The statement runner seen from inside: cached jumps in the hidden text, the structure stack
// between statements and after runs, completion codes, Execute, and the trace record.
#include <string>
#include <vector>

#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/statements.h"
#include "lang/structures.h"
#include "unit/statements_support.h"

namespace kel::testing {
namespace {

constexpr std::uint8_t kGotoMarker = 0x9F;
constexpr std::uint8_t kGosubMarker = 0x9E;

class StatementRunnerTest : public StatementsTest {
 protected:
  // The target a cached jump at `offset` carries, or -1 when no marker stands there.
  std::int64_t CachedTarget(std::uint32_t offset, std::uint8_t marker) {
    if (PlainByte(offset) != marker) return -1;
    std::uint32_t target = 0;
    for (std::uint32_t i = 1; i <= 4; ++i) {
      std::uint8_t b = PlainByte(offset + i);
      // Never a byte that would end the line, start a comment or a substitution.
      EXPECT_TRUE(b != 0 && b != '\n' && b != ';' && b != '%' && b != 26) << int(b);
      target = (target << 6) | (b & 0x3F);
    }
    return target;
  }
};

TEST_F(StatementRunnerTest, AGotoCachesItsTargetAndJumpsThereAgain) {
  const std::string text = "n = 0\n:top\nn = n + 1\nIf n < 3 Then Goto top\nnote done\n";
  const auto gotoAt = static_cast<std::uint32_t>(text.find("Goto top"));
  const auto label = static_cast<std::int64_t>(text.find(":top"));
  ASSERT_EQ(Run(text), 1);
  EXPECT_EQ(Integer("n"), 3);
  EXPECT_EQ(CachedTarget(gotoAt, kGotoMarker), label);
  // The label's name after the five marker bytes is left as it was.
  EXPECT_EQ(PlainByte(gotoAt + 5), 't');
  // The cached statement keeps working, also when the same text runs again.
  EvalValue result;
  ResetEval(result);
  ScriptText again = script_;
  EXPECT_EQ(RunLoop(context(), again, result), 1);
  EXPECT_EQ(Integer("n"), 3);
}

TEST_F(StatementRunnerTest, AGosubCachesItsTarget) {
  const std::string text =
      "k = 0\nFor i = 1 To 3\n  Gosub add\nNext\nExit\n:add\nk = k + i\nReturn\n";
  const auto gosubAt = static_cast<std::uint32_t>(text.find("Gosub add"));
  const auto label = static_cast<std::int64_t>(text.find(":add"));
  EXPECT_EQ(Run(text), 0);  // Exit
  EXPECT_EQ(Error(), kCompletionNormalEnd);
  EXPECT_EQ(Integer("k"), 6);
  EXPECT_EQ(CachedTarget(gosubAt, kGosubMarker), label);
}

TEST_F(StatementRunnerTest, NothingIsCachedWhereTheLineIsNotTheText) {
  struct Case {
    const char* name;
    std::string text;
    const char* statement;
  } cases[] = {
      // %name% substitution changed the line.
      {"substitution", "l = 'top'\nn = 0\n:top\nn = n + 1\nIf n < 3 Then Goto %l%\n", "Goto %l%"},
      // "%%" made the line one character shorter than the text before the Goto.
      {"percent", "n = 0\n:top\nn = n + 1\nIf n < 3 && 'a%%' == 'a%%' Then Goto top\n", "Goto top"},
      // Statements run by Execute never cache.
      {"execute", "n = 0\n:top\nn = n + 1\nIf n < 3 Then Execute Goto top\n", "Goto top"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Run(c.text), 1) << c.name << ": " << Headline();
    EXPECT_EQ(Integer("n"), 3) << c.name;
    auto at = static_cast<std::uint32_t>(c.text.find(c.statement));
    EXPECT_EQ(PlainByte(at), 'G') << c.name;
  }
}

TEST_F(StatementRunnerTest, StructuresAreClosedAsRunsAndCallsEnd) {
  // A run that ends inside loops leaves nothing open for the next run.
  EXPECT_EQ(Run("While 1\n  For i = 1 To 2\n    Exit\n  Next\nEndWhile\n"), 0);
  EXPECT_EQ(context().flow.depth, 0);
  EXPECT_EQ(Run("note start\nIf 1\n  Switch 1\n    Case 1\n      note deep\n"), 1);
  EXPECT_EQ(context().flow.depth, 0);
  ASSERT_EQ(notes_.size(), 2u);
  EXPECT_EQ(notes_[0].depth, 0);
  EXPECT_EQ(notes_[1].depth, 2);
  // Return leaves a function from inside its loops; the caller's structures are as they were.
  EXPECT_EQ(Run("#DefineFunction f()\n  For i = 1 To 3\n    While 1\n      If i == 2 Then "
                "Return i * 10\n      Break\n    EndWhile\n  Next\n#EndFunction\nWhile 1\n  x = "
                "f()\n  note after\n  Break\nEndWhile\nnote end\n"),
            1)
      << Headline();
  EXPECT_EQ(Integer("x"), 20);
  ASSERT_EQ(NoteTexts(), (std::vector<std::string>{"after", "end"}));
  EXPECT_EQ(notes_[0].depth, 1);
  EXPECT_EQ(notes_[1].depth, 0);
  // Return from a Gosub removes what the routine left open.
  EXPECT_EQ(Run("Gosub r\nnote back\nExit\n:r\nWhile 1\n  If 1\n    Return\n"), 0);
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(notes_[0].depth, 0);
}

TEST_F(StatementRunnerTest, ForFindsItsToAfterASubstitution) {
  SetVariable(context(), "start", "1", 0, kVariableText);
  SetVariable(context(), "last", "3", 0, kVariableText);
  struct Case {
    const char* text;
    std::int32_t count;
  } cases[] = {
      {"c = 0\nFor i = %start% To 3\n  c = c + 1\nNext\n", 3},
      {"c = 0\nFor i = 1 To %last%\n  c = c + 1\nNext\n", 3},
      {"c = 0\n:lbl For i = %start% To %last% By 2\n  c = c + 1\nNext\n", 2},
      {"c = 0\nIf %start% Then For i = '%start%' To 2\n  c = c + 1\nNext\n", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.text), 1) << c.text << Headline();
    EXPECT_EQ(Integer("c"), c.count) << c.text;
  }
  // A For that comes whole from a substitution has no To in the text to come back to.
  SetVariable(context(), "loop", "For i = 1 To 2", 0, kVariableText);
  EXPECT_EQ(Run("%loop%\nNext\n"), 0);
  EXPECT_EQ(Error(), kErrForSyntax);
}

TEST_F(StatementRunnerTest, CompletionCodesAndHostErrors) {
  // Cancel (9999) ends the script without a report.
  EXPECT_EQ(Run("note a\nfail -5\nnote b\n"), 0);
  EXPECT_EQ(NoteTexts(), std::vector<std::string>{"a"});
  EXPECT_EQ(Error(), kCompletionCancel);
  EXPECT_EQ(Headline(), "");
  // A minor error under @OFF is not shown and the script goes on.
  context().errors.errorMode = kErrorModeOff;
  EXPECT_EQ(Run("fail -1\nnote after\n"), 1);
  EXPECT_EQ(NoteTexts(), std::vector<std::string>{"after"});
  EXPECT_EQ(context().errors.lastErrNum, static_cast<std::int32_t>(kErrExtenderMinor));
  // A severe one ends it with a report, whatever the mode.
  EXPECT_EQ(Run("fail -3\nnote never\n"), 0);
  EXPECT_TRUE(NoteTexts().empty());
  EXPECT_EQ(Headline().rfind("3215:  ", 0), 0u) << Headline();
  context().errors.errorMode = kErrorModeCancel;
}

TEST_F(StatementRunnerTest, ExecuteHandsItsErrorsToItsOwnBox) {
  // Mode 2 shows nothing: the error is cleared and the script goes on.
  context().flow.executeMode = 2;
  EXPECT_EQ(Run("Execute x = 1 / 0\nnote after\n"), 1);
  EXPECT_EQ(NoteTexts(), std::vector<std::string>{"after"});
  EXPECT_EQ(Headline(), "");
  // Completion codes pass through: Exit inside Execute still ends the script normally.
  EXPECT_EQ(Run("Execute Exit\nnote never\n"), 0);
  EXPECT_EQ(Error(), kCompletionNormalEnd);
#if !defined(_WIN32)
  // Without a window manager the box goes to standard error and answers OK.
  context().flow.executeMode = 0;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Run("Execute x = 1 / 0\nnote after\n"), 1);
  std::string shown = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("EXECUTE::Attempt to divide by zero"), std::string::npos) << shown;
  EXPECT_NE(shown.find("x = 1 / 0"), std::string::npos) << shown;
  EXPECT_EQ(NoteTexts(), std::vector<std::string>{"after"});
#endif
  context().flow.executeMode = 0;
}

TEST_F(StatementRunnerTest, TheTraceRecordSaysWhatTheLastStatementWas) {
  struct Case {
    const char* text;
    std::uint8_t category;
    std::uint8_t truth;
  } cases[] = {
      {"x = 1\n", kTracePlain, 1},           {"If 0 Then x = 2\n", kTraceSingleLineIf, 0},
      {"If 0\nx = 2\n", kTraceSkipped, 0},   {"While 0\n", kTraceWhile, 0},
      {"If 1\nEndIf\n", kTraceEnd, 1},       {"Switch 1\n", kTraceSwitch, 1},
      {"Switch 1\nCase 2\n", kTraceCase, 0}, {"For i = 1 To 0\n", kTraceFor, 0},
      {"If 0\nElse\n", kTraceBlockElse, 1},  {"If 0\nElseIf 1\n", kTraceElseIf, 1},
      {"While 1\nBreak\n", kTraceBreak, 1},  {"If 1\n", kTraceBlockIf, 1},
  };
  for (const Case& c : cases) {
    Run(c.text);
    EXPECT_EQ(context().flow.traceCategory, c.category) << c.text;
    EXPECT_EQ(context().flow.traceTruth, c.truth) << c.text;
  }
}

}  // namespace
}  // namespace kel::testing
