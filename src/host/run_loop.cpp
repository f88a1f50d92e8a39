// The run loop.
#include "host/run_loop.h"

#include <cstdio>

#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/report.h"
#include "host/batch_context.h"
#include "host/pump.h"
#include "lang/eval_value.h"
#include "lang/statements.h"
#include "lang/structures.h"
#include "loader/definitions.h"
#include "loader/line_reader.h"
#include "loader/preprocess.h"

namespace kel {
namespace {

constexpr std::uint32_t kTextIdKeepLine = 1;   // ReportError leaves the error line as it is
constexpr std::uint32_t kNoStopMessage = 0x4;  // breakFlags bit 2

enum class LineOutcome { Next, End };

// Reports an error the run loop found in a line, with the line's text in the box.
void ReportLineError(BatchContext& context, const char* line, std::uint32_t number,
                     int errorClass) {
  std::snprintf(context.errors.errorLine, sizeof context.errors.errorLine, "%s", line);
  ReportError(context, context.hostWindow, kTextIdKeepLine, number, errorClass);
  DiscardMoreErrorInfo(context);
}

void Fail(BatchContext& context, const char* line, std::uint32_t number) {
  SetError(context, number);
  ReportLineError(context, line, number, ErrorClass(number));
}

// Where the statement of a line begins: after the label word of a label line and the blanks
// that follow it. -1 when a label line holds no statement.
int StatementStart(const char* line) {
  if (line[0] != ':') return 0;
  int i = 0;
  while (line[i] != '\0' && line[i] != ' ' && line[i] != '\t')
    ++i;
  while (line[i] == ' ' || line[i] == '\t')
    ++i;
  return line[i] == '\0' || line[i] == ';' ? -1 : i;
}

// A function or Call frame on the structure stack in which Return ran keeps the statement's
// value as the call's result.
bool FrameHoldsResult(const BatchContext& context) {
  return StructureHoldsResult(context);
}

// The value may borrow a variable's texts or array: only what it owns is freed.
void ReleaseStatementValue(BatchContext& context, EvalValue& result) {
  if (FrameHoldsResult(context)) return;
  ReleaseEval(context, result);
}

// Everything the loop does with one line that is neither empty nor a comment. `outcome`
// receives the loop's result when the line ends the loop; it means nothing otherwise.
LineOutcome HandleLine(BatchContext& context, const ScriptText& text, EvalValue& result,
                       std::uint32_t lineStart, std::uint32_t& nextOffset, int& outcome) {
  char* line = context.lineBuffer;
  LoaderState& loader = context.loader;
  std::uint32_t pending = loader.pendingLineError;
  // Every way out but the statement runner's own ends the loop with 0.
  outcome = 0;
  if (pending == 0 && line[0] == '#') {
    DefinitionLine definition = RecordDefinitionLine(context, line, text, lineStart, nextOffset);
    if (definition == DefinitionLine::Failed) {
      ReportLineError(context, line, context.errors.errNum, ErrorClass(context.errors.errNum));
      return LineOutcome::End;
    }
    if (definition == DefinitionLine::Recorded) return LineOutcome::Next;
  }
  if (loader.udfDefining) {
    if (pending == 0) return LineOutcome::Next;
    Fail(context, line, pending);
    return LineOutcome::End;
  }
  bool substituted = false;
  if (pending == 0) {
    int preprocessed = PreprocessLine(context, line);
    if (preprocessed == kPreprocessFailed) {
      // In a branch that is not taken the line is only looked at for structure keywords, so
      // a reference that cannot be substituted there does no harm.
      if (!InnermostStructureSkipping(context)) {
        ReportLineError(context, line, context.errors.errNum, ErrorClass(context.errors.errNum));
        return LineOutcome::End;
      }
      context.errors.errNum = 0;
    }
    substituted = preprocessed == kPreprocessSubstituted;
  }
  int start = StatementStart(line);
  if (start < 0) return LineOutcome::Next;
  // The debug trace's copy of the line and the host's statement notification join here.
  StatementLine statement{
      line, static_cast<std::uint32_t>(start), nextOffset, lineStart, &text, substituted};
  int status = RunStatementLine(context, result, statement);
  nextOffset = statement.nextOffset;
  ReleaseStatementValue(context, result);
  if (status != 1) {
    outcome = status;
    return LineOutcome::End;
  }
  if (context.noYield)
    LightPump(context);
  else
    FullPump(context);
  if (!context.stopRequested) return LineOutcome::Next;
  if (context.stopByUser && context.announceStop && (context.breakFlags & kNoStopMessage) == 0) {
    ReportLineError(context, line, kMsgTerminatedByUser, kClassSevere);
    context.stopByUser = 0;
  }
  return LineOutcome::End;
}

}  // namespace

int RunLoop(BatchContext& context, const ScriptText& text, EvalValue& result) {
  LoaderState& loader = context.loader;
  // A function body or a called script runs inside a statement of another text, whose line
  // numbers the error report needs again afterwards.
  ScriptText outer = loader.runText;
  // A run of the host's text starts with no structure open; what an earlier run left open (a
  // script may end inside a loop) is released.
  const bool topLevel = outer.bytes == nullptr;
  if (topLevel) ResetControlFlow(context);
  loader.runText = text;
  char* line = context.lineBuffer;
  std::uint32_t nextOffset = 0, lineStart = 0;
  int outcome = 1;
  bool ranToEnd = true;
  while (ReadLine(context, line, kLineBufferBytes, text, lineStart, nextOffset) != 0) {
    context.lineStartOffset = lineStart;
    context.nextLineOffset = nextOffset;
    if (line[0] == '\0' || line[0] == ';') continue;
    int ending = 1;
    if (HandleLine(context, text, result, lineStart, nextOffset, ending) == LineOutcome::End) {
      outcome = ending;
      ranToEnd = false;
      break;
    }
  }
  if (loader.udfDefining) {
    // A definition left open swallows the rest of the text; the next run starts outside it.
    if (ranToEnd) {
      Fail(context, line, kErrDefinitionOpenAtEnd);
      outcome = 0;
    }
    loader.udfDefining = 0;
    loader.udfDuplicate = 0;
  }
  // The debugger's end hook and the trace's "END OF JOB" line join here for a run that ended
  // well.
  if (topLevel) ResetControlFlow(context);
  context.runResult = outcome;
  context.runError = context.errors.errNum;
  context.lineStartOffset = lineStart;
  context.nextLineOffset = nextOffset;
  loader.runText = outer;
  return outcome;
}

}  // namespace kel
