// The run loop.
#include "lang/run_loop.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/report.h"
#include "lang/compiled_lines.h"
#include "lang/consistency.h"
#include "lang/debug_trace.h"
#include "lang/eval_value.h"
#include "lang/handler_calls.h"
#include "lang/host_notifications.h"
#include "lang/preprocess.h"
#include "lang/statements.h"
#include "lang/structures.h"
#include "loader/definitions.h"
#include "loader/line_reader.h"
#include "loader/script_file.h"
#include "platform/platform.h"

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
  // Most statements leave no value at all.
  if (result.value.flags == 0 && result.borrowed == 0) return;
  if (FrameHoldsResult(context)) return;
  ReleaseEval(context, result);
}

// What follows every statement that ran: its value is released, the loop ends on a failure or a
// stop request, and the host's messages get their turn.
[[gnu::always_inline]] inline LineOutcome AfterStatement(BatchContext& context, EvalValue& result,
                                                         StatementLine& statement, int status,
                                                         std::uint32_t& nextOffset, int& outcome) {
  nextOffset = statement.nextOffset;
  CheckConsistency(context);
  ReleaseStatementValue(context, result);
  if (status != 1) {
    outcome = status;
    return LineOutcome::End;
  }
  // Without a message queue there is nothing to pump between statements.
  if constexpr (platform::kHasMessageQueue) Hooks().pumpBetweenStatements(context);
  if (!context.stopRequested) return LineOutcome::Next;
  if (OfferStopToHandler(context, statement)) {
    nextOffset = statement.nextOffset;
    return LineOutcome::Next;
  }
  if (context.stopByUser && context.announceStop && (context.breakFlags & kNoStopMessage) == 0) {
    ReportLineError(context, statement.line, kMsgTerminatedByUser, kClassSevere);
    context.stopByUser = 0;
  }
  return LineOutcome::End;
}

// Everything the loop does with one line that is neither empty nor a comment. `outcome`
// receives the loop's result when the line ends the loop; it means nothing otherwise.
LineOutcome HandleLine(BatchContext& context, const ScriptText& text, EvalValue& result,
                       CompiledLine* compiled, std::uint32_t lineStart, std::uint32_t& nextOffset,
                       int& outcome) {
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
  // A compiled statement line holds no "%" and no "#": preprocessing would leave it as it is.
  const bool runsAsCompiled = compiled != nullptr && compiled->kind == LineKind::kStatement;
  if (pending == 0 && !runsAsCompiled) {
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
  ActivateCompiledLine(context, runsAsCompiled ? compiled : nullptr, line);
  context.lineBufferInUse = 1;
  int status = RunStatementLine(context, result, statement);
  ActivateCompiledLine(context, nullptr, nullptr);
  return AfterStatement(context, result, statement, status, nextOffset, outcome);
}

// A compiled line that has run before, run from its own text without being copied, read or
// dispatched again. False when the line must be handled as any other.
bool HandleCompiledLine(BatchContext& context, const ScriptText& text, EvalValue& result,
                        CompiledLine& compiled, std::uint32_t& nextOffset, LineOutcome& handled,
                        int& outcome) {
  if (compiled.kind != LineKind::kStatement || compiled.direct.kind == DirectKind::kNone ||
      context.loader.udfDefining != 0)
    return false;
  StatementLine statement{compiled.text.data(), 0, nextOffset, compiled.lineStart, &text, false};
  ActivateCompiledLine(context, &compiled, statement.line);
  context.lineBufferInUse = 0;
  int status = 0;
  bool ran = RunCompiledStatementLine(context, result, statement, compiled, status);
  ActivateCompiledLine(context, nullptr, nullptr);
  if (!ran) return false;
  outcome = 0;
  handled = AfterStatement(context, result, statement, status, nextOffset, outcome);
  return true;
}

// Skipped code is passed over line by line, each line looked at for the structure keywords that
// end the skip. Once a skip has been watched to its end, the line where it began remembers where
// that was, and the next skip from the same line with the same innermost structure goes there
// directly. Only lines that do nothing while skipped are passed over that way: a line that
// evaluates anything, changes the innermost structure, fails, jumps, or must be preprocessed or
// recorded (substitution, definitions) ends the watch and is always run. A Case of a
// whole-number literal that does not match is the one evaluation passed over: the skip then
// holds only for a Switch of the same value, so a Switch goes straight to its matching Case.
class SkipWatch {
 public:
  // Before a line is handled: true (with the offset to read next) when a remembered skip takes
  // the run past it. Otherwise the line is watched if a skip begins here.
  bool Pass(BatchContext& context, CompiledLine* line, std::uint32_t readOffset,
            std::uint32_t& nextOffset, CompiledLine*& nextLine) {
    // Lines inside a definition block are not run at all; no skip is remembered across them.
    // A host that follows every statement is told of each skipped line as well.
    if (line == nullptr || context.loader.udfDefining != 0 ||
        !InnermostStructureSkipping(context) || (context.notifyMask & kNotifyStatement) != 0) {
      active_ = false;
      return false;
    }
    if (active_) return false;
    const ControlFlowState& flow = context.flow;
    const StructEntry& entry = flow.entries[flow.depth - 1];
    for (const SkipMemo& memo : line->skips) {
      if (memo.depth == flow.depth && memo.kind == entry.kind && memo.state == entry.state &&
          (memo.ifState != kIfStateKept || memo.ifStateAtStart == flow.ifState) &&
          (!memo.byValue || memo.value == SwitchValue(entry))) {
        if (memo.ifState != kIfStateKept) context.flow.ifState = memo.ifState;
        nextOffset = memo.target;
        nextLine = memo.targetLine;
        return true;
      }
    }
    active_ = true;
    start_ = line;
    startOffset_ = readOffset;
    depth_ = flow.depth;
    entry_ = entry;
    ifStateAtStart_ = flow.ifState;
    passedCase_ = false;
    return false;
  }

  // Around a line that is handled while a skip is watched.
  void Before(const BatchContext& context) {
    evaluations_ = context.evaluator.evaluations;
    ifStateBefore_ = context.flow.ifState;
  }
  void After(const BatchContext& context, const CompiledLine* line, std::uint32_t readOffset,
             std::uint32_t nextOffset) {
    if (active_) Watched(context, line, readOffset, nextOffset);
  }
  void Stop() { active_ = false; }
  bool Active() const { return active_; }

 private:
  void Watched(const BatchContext& context, const CompiledLine* line, std::uint32_t readOffset,
               std::uint32_t nextOffset) {
    if (line != nullptr && line->kind == LineKind::kStatement && nextOffset == line->nextOffset &&
        context.errors.errNum == 0 && Unchanged(context)) {
      if (context.evaluator.evaluations == evaluations_) return;
      // A literal Case of the Switch being skipped, which did not match.
      if (line->direct.constantCase && context.flow.depth == depth_ &&
          entry_.kind == kStructureSwitch) {
        passedCase_ = true;
        return;
      }
    }
    // This line ended the skip (or would have to run anyway): the lines before it are the skip.
    active_ = false;
    if (readOffset == startOffset_ || start_->skips.size() >= kMaxMemos) return;
    std::int8_t ifState = ifStateBefore_ == ifStateAtStart_ ? kIfStateKept : ifStateBefore_;
    SkipMemo memo{depth_,
                  entry_.kind,
                  entry_.state,
                  ifState,
                  ifStateAtStart_,
                  passedCase_,
                  SwitchValue(entry_),
                  readOffset,
                  const_cast<CompiledLine*>(line)};
    // A skip that holds for one value goes before those that hold for any: it reaches further.
    if (passedCase_)
      start_->skips.insert(start_->skips.begin(), memo);
    else
      start_->skips.push_back(memo);
  }

  // The value of a Switch entry, kept in two halves.
  static std::uint32_t SwitchValue(const StructEntry& entry) {
    return (entry.resume << 16) | entry.var;
  }

  static constexpr std::int8_t kIfStateKept = -2;
  // Enough for a skip to each Case of a small Switch besides the skips that hold for any value.
  static constexpr std::size_t kMaxMemos = 8;

  // The structure that skips is still the innermost one below whatever the line opened, as
  // it was.
  bool Unchanged(const BatchContext& context) const {
    const ControlFlowState& flow = context.flow;
    if (flow.depth < depth_) return false;
    const StructEntry& entry = flow.entries[depth_ - 1];
    return entry.kind == entry_.kind && entry.state == entry_.state &&
           entry.lineOffset == entry_.lineOffset && entry.buffer == entry_.buffer &&
           (flow.ifState == ifStateBefore_ || flow.ifState == -1);
  }

  bool active_ = false;
  CompiledLine* start_ = nullptr;
  std::uint32_t startOffset_ = 0;
  std::uint16_t depth_ = 0;
  StructEntry entry_{};
  std::int8_t ifStateAtStart_ = -1;
  std::int8_t ifStateBefore_ = -1;
  std::uint32_t evaluations_ = 0;
  bool passedCase_ = false;
};

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
  // Field by field: the caller has usually just written `text` that way, and a copy of the whole
  // record at once would wait for those stores to land first.
  loader.runText.bytes = text.bytes;
  loader.runText.length = text.length;
  loader.runText.base = text.base;
  loader.runText.bodyOf = text.bodyOf;
  LineCache* cache = OpenLineCache(context, text);
  SkipWatch skip;
  char* line = context.lineBuffer;
  std::uint32_t nextOffset = 0, lineStart = 0;
  int outcome = 1;
  bool ranToEnd = true;
  CompiledLine* previous = nullptr;
  // The line a remembered skip goes to, when it is known.
  CompiledLine* skipTarget = nullptr;
  // The blank line passed last, when the line buffer does not hold its text.
  CompiledLine* blankNotCopied = nullptr;
  for (;;) {
    const std::uint32_t readOffset = nextOffset;
    CompiledLine* compiled = nullptr;
    if (skipTarget != nullptr && !skipTarget->retired)
      compiled = skipTarget;
    else if (previous != nullptr)
      compiled = previous->Follower(readOffset);
    skipTarget = nullptr;
    if (compiled == nullptr) {
      compiled = cache->Find(readOffset);
      if (previous != nullptr && !previous->retired && compiled != nullptr)
        previous->Followed(readOffset, compiled);
    }
    previous = compiled;
    if (compiled != nullptr) {
      if (skip.Pass(context, compiled, readOffset, nextOffset, skipTarget)) continue;
      lineStart = compiled->lineStart;
      nextOffset = compiled->nextOffset;
      loader.pendingLineError = 0;
      context.lineStartOffset = lineStart;
      context.nextLineOffset = nextOffset;
      // An empty or comment line has nothing to run; its text reaches the line buffer only if
      // the run ends on it.
      if (compiled->kind == LineKind::kBlank) {
        blankNotCopied = compiled;
        continue;
      }
      blankNotCopied = nullptr;
      if (skip.Active()) skip.Before(context);
      LineOutcome handled = LineOutcome::Next;
      int ending = 1;
      if (HandleCompiledLine(context, text, result, *compiled, nextOffset, handled, ending)) {
        if (handled == LineOutcome::End) {
          outcome = ending;
          ranToEnd = false;
          break;
        }
        skip.After(context, compiled, readOffset, nextOffset);
        continue;
      }
      std::memcpy(line, compiled->text.data(), compiled->text.size() + 1);
    } else {
      if (ReadLine(context, line, kLineBufferBytes, text, lineStart, nextOffset) == 0) break;
      blankNotCopied = nullptr;
      // A line too long is read again each time, so that its error is raised each time.
      if (loader.pendingLineError == 0) {
        compiled = cache->Add(readOffset, lineStart, nextOffset, line);
        previous = compiled;
      }
      if (skip.Pass(context, compiled, readOffset, nextOffset, skipTarget)) continue;
    }
    context.lineStartOffset = lineStart;
    context.nextLineOffset = nextOffset;
    if (line[0] == '\0' || line[0] == ';') continue;
    int ending = 1;
    if (skip.Active()) skip.Before(context);
    LineOutcome handled =
        HandleLine(context, text, result, compiled, lineStart, nextOffset, ending);
    if (handled == LineOutcome::End) {
      outcome = ending;
      ranToEnd = false;
      break;
    }
    skip.After(context, compiled, readOffset, nextOffset);
  }
  // At the end of the text the buffer holds the last line, which the end checks report.
  if (blankNotCopied != nullptr)
    std::memcpy(line, blankNotCopied->text.data(), blankNotCopied->text.size() + 1);
  CloseLineCache(context, text, cache);
  if (loader.udfDefining) {
    // A definition left open swallows the rest of the text; the next run starts outside it.
    if (ranToEnd) {
      Fail(context, line, kErrDefinitionOpenAtEnd);
      outcome = 0;
    }
    loader.udfDefining = 0;
    loader.udfDuplicate = 0;
  }
  // The trace's last record and its end lines (or its dumps, after a terminal error).
  if (topLevel) {
    TraceRunEnd(context, outcome, context.errors.errNum);
    ResetControlFlow(context);
  }
  context.runResult = outcome;
  context.runError = context.errors.errNum;
  context.lineStartOffset = lineStart;
  context.nextLineOffset = nextOffset;
  loader.runText = outer;
  return outcome;
}

int LoadScriptFile(BatchContext& context, EvalValue& result, const char* fileName) {
  ScriptText script{};
  platform::MemoryHandle prepared = ReadScriptFile(context, fileName, script);
  if (prepared == nullptr) return 0;
  int outcome = RunLoop(context, script, result);
  ReleaseScriptText(prepared);
  return outcome;
}

}  // namespace kel
