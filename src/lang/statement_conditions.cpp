// If, Then, ElseIf, Else and EndIf in block and single-line form; Switch, Case and EndSwitch.
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/compiled_expressions.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/statement_handlers.h"
#include "lang/tokenizer.h"
#include "lang/token_reading.h"

namespace kel {
namespace {

// Skipped code is not evaluated: the tokens are stepped over up to "then" only to tell a block
// If from a single-line one. A character the tokenizer refuses is stepped over too.
void StepOverCondition(BatchContext& context) {
  for (;;) {
    get_token(context);
    if (HasError(context)) {
      context.errors.errNum = 0;
      const char* at = ScanPosition(context);
      if (at == nullptr || *at == '\0') return;
      SetScanPosition(context, at + 1);
      continue;
    }
    if (AtStatementEnd(context) || IsKeyword(context, kKeywordThen)) return;
  }
}

// condition -> expression ["then"], the expression converted to a truth value. `thenEnds`: an
// ElseIf, after which nothing but a comment may follow "then".
bool EvaluateCondition(BatchContext& context, bool thenEnds, bool& truth) {
  EvalValue value;
  ResetEval(value);
  // A comparison of whole numbers gives its truth without a value.
  std::int32_t number = 0;
  const bool whole = EvaluateWholeNumberAhead(context, number);
  if (!whole) EvaluateExpression(context, value);
  truth = number != 0;
  bool evaluated = !HasError(context);
  if (evaluated && IsKeyword(context, kKeywordThen)) {
    if (thenEnds && !OnlyCommentFollows(RestOfStatement(context))) {
      FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
      evaluated = false;
    }
  } else if (evaluated && !AtStatementEnd(context)) {
    FailWithHint(context, kErrThenNotFound, kMsgHintExtraPunctuation);
    evaluated = false;
  }
  if (evaluated && !whole && !ConditionValue(context, value, truth)) {
    if (!HasError(context)) SetError(context, kErrNotNumber);
    evaluated = false;
  }
  ReleaseEval(context, value);
  return evaluated;
}

// What follows "then" (or the condition when "then" is left out): nothing, and the If is a
// block; a statement, and it runs when the condition was true. `fromThenLine`: the line began
// with "then", which uses the If state of an earlier line and clears it.
int ThenPart(BatchContext& context, EvalValue& result, StatementRun& run, bool fromThenLine) {
  ControlFlowState& flow = context.flow;
  const char* rest = RestOfStatement(context);
  std::int8_t ifState = flow.ifState;
  if (fromThenLine) flow.ifState = -1;
  if (OnlyCommentFollows(rest)) {
    std::uint8_t state = kStateSkipped;
    if (!run.skipping) {
      if (ifState < 0) return Fail(context, kErrNoIfState);
      state = ifState == 1 ? kStateRunning : kStateWaiting;
    }
    SetTrace(context, kTraceBlockIf, state == kStateRunning);
    return PushStructure(context, kStructureIf, state, *run.line.text, run.line.lineOffset) !=
                   nullptr
               ? 1
               : 0;
  }
  if (run.skipping) {
    SetTrace(context, kTraceSingleLineIf, false);
    return 1;
  }
  if (ifState < 0) return Fail(context, kErrNoIfState);
  SetTrace(context, kTraceSingleLineIf, ifState == 1);
  if (ifState != 1) return 1;
  return ExecStatementAfter(context, result, run, rest);
}

// The integer a Switch or Case compares: integers, integer texts, and for a Case also floats
// (rounded).
bool SwitchInteger(BatchContext& context, EvalValue& value, bool allowFloat, std::int32_t& out) {
  if (!ToInteger(context, value.value, allowFloat)) return false;
  out = value.value.intValue;
  return true;
}

// The Switch or Case value: nothing may follow it, and it must be an integer.
bool EvaluateSwitchValue(BatchContext& context, bool allowFloat, std::int32_t& out) {
  // A whole number needs no value built and no conversion.
  if (EvaluateWholeNumberAhead(context, out)) {
    if (HasError(context)) return false;
    if (AtStatementEnd(context)) return true;
    FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
    return false;
  }
  EvalValue value;
  ResetEval(value);
  EvaluateExpression(context, value);
  bool evaluated = !HasError(context);
  if (evaluated && !AtStatementEnd(context)) {
    FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
    evaluated = false;
  }
  if (evaluated && !SwitchInteger(context, value, allowFloat, out)) {
    SetError(context, kErrSwitchNotInteger);
    evaluated = false;
  }
  ReleaseEval(context, value);
  return evaluated;
}

}  // namespace

// if -> "if" condition ["then" [statement]]
int RunIf(BatchContext& context, EvalValue& result, StatementRun& run) {
  if (run.skipping) {
    StepOverCondition(context);
    return ThenPart(context, result, run, false);
  }
  bool truth = false;
  if (!EvaluateCondition(context, false, truth)) return 0;
  context.flow.ifState = truth ? 1 : 0;
  return ThenPart(context, result, run, false);
}

// then -> "then" [statement], using the If state an If line left
int RunThen(BatchContext& context, EvalValue& result, StatementRun& run) {
  return ThenPart(context, result, run, true);
}

// elseif -> "elseif" condition ["then"]
int RunElseIf(BatchContext& context, StatementRun&) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  StructEntry* entry = InnermostStructure(context);
  if (entry == nullptr || entry->kind != kStructureIf) return Fail(context, kErrElseIfWithoutIf);
  SetTrace(context, kTraceElseIf, false);
  if (entry->state == kStateRunning) {
    // A branch has run: the rest of the block is skipped for good.
    SetStructureState(*entry, kStateSkipped);
    return 1;
  }
  if (entry->state != kStateWaiting) return 1;
  const std::uint16_t index = static_cast<std::uint16_t>(flow.depth - 1);
  bool truth = false;
  if (!EvaluateCondition(context, true, truth)) return 0;
  flow.ifState = truth ? 1 : 0;
  if (truth) SetStructureState(flow.entries[index], kStateRunning);
  SetTrace(context, kTraceElseIf, truth);
  return 1;
}

// else -> "else" (block) | "else" statement (single-line, after a single-line If)
int RunElse(BatchContext& context, EvalValue& result, StatementRun& run) {
  ControlFlowState& flow = context.flow;
  const char* rest = RestOfStatement(context);
  std::int8_t ifState = flow.ifState;
  flow.ifState = -1;
  if (OnlyCommentFollows(rest)) {
    StructEntry* entry = InnermostStructure(context);
    if (entry == nullptr) return Fail(context, kErrNoMatchingEnd);
    if (entry->kind != kStructureIf) return Fail(context, kErrElseWithoutIf);
    // The If part ran, so the Else part is skipped, or the reverse; a block inside skipped code,
    // or one left by Break or Continue, stays as it is.
    std::uint8_t state = entry->state;
    if (state == kStateRunning)
      state = kStateWaiting;
    else if (state == kStateWaiting)
      state = kStateRunning;
    SetStructureKind(*entry, kStructureElse, state);
    SetTrace(context, kTraceBlockElse, entry->state == kStateRunning);
    return 1;
  }
  if (run.skipping) {
    SetTrace(context, kTraceSingleLineIf, false);
    return 1;
  }
  if (ifState < 0) return Fail(context, kErrNoIfState);
  SetTrace(context, kTraceSingleLineIf, ifState == 0);
  if (ifState != 0) return 1;
  return ExecStatementAfter(context, result, run, rest);
}

int RunEndIf(BatchContext& context) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  SetTrace(context, kTraceEnd, true);
  StructEntry* entry = InnermostStructure(context);
  if (entry == nullptr) return Fail(context, kErrNoMatchingEnd);
  if (entry->kind != kStructureIf && entry->kind != kStructureElse)
    return Fail(context, kErrEndMismatch);
  // Break and Continue inside the block belong to the loop or Switch around it.
  std::uint8_t carried = entry->state & (kStateContinue | kStateBreak);
  PopStructure(context);
  if (carried == 0) return 1;
  StructEntry* enclosing = InnermostStructure(context);
  if (enclosing == nullptr) return Fail(context, kErrBreakOutsideLoop);
  enclosing->state |= carried;
  return 1;
}

// switch -> ("switch" | "select") expression
int RunSwitch(BatchContext& context, StatementRun& run) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  if (run.skipping) {
    SetTrace(context, kTraceSwitch, false);
    if (PushStructure(context, kStructureSwitch, kStateSkipped, *run.line.text,
                      run.line.lineOffset) == nullptr)
      return 0;
    // A Break in a Switch that is not run is still inside a Switch.
    flow.breakable = 1;
    return 1;
  }
  std::int32_t number = 0;
  if (!EvaluateSwitchValue(context, false, number)) return 0;
  StructEntry* entry =
      PushStructure(context, kStructureSwitch, kStateWaiting, *run.line.text, run.line.lineOffset);
  if (entry == nullptr) return 0;
  auto bits = static_cast<std::uint32_t>(number);
  entry->resume = bits >> 16;
  entry->var = static_cast<std::uint16_t>(bits & 0xFFFF);
  flow.breakable = 1;
  SetTrace(context, kTraceSwitch, true);
  return 1;
}

// case -> "case" expression
int RunCase(BatchContext& context, StatementRun&) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  StructEntry* entry = InnermostStructure(context);
  if (entry == nullptr || entry->kind != kStructureSwitch)
    return Fail(context, kErrCaseWithoutSwitch);
  SetTrace(context, kTraceCase, false);
  // Once a Case has matched, later Case lines are passed over and its statements fall through
  // into theirs; Continue makes the following Case lines count again.
  if (entry->state != kStateWaiting && entry->state != kStateContinue) return 1;
  const std::uint16_t index = static_cast<std::uint16_t>(flow.depth - 1);
  std::int32_t number = 0;
  if (!EvaluateSwitchValue(context, true, number)) return 0;
  StructEntry& switchEntry = flow.entries[index];
  std::uint32_t switchValue = (switchEntry.resume << 16) | switchEntry.var;
  bool matches = static_cast<std::uint32_t>(number) == switchValue;
  if (matches) SetStructureState(switchEntry, kStateRunning);
  SetTrace(context, kTraceCase, matches);
  return 1;
}

int RunEndSwitch(BatchContext& context) {
  context.flow.ifState = -1;
  SetTrace(context, kTraceEnd, true);
  StructEntry* entry = InnermostStructure(context);
  if (entry == nullptr) return Fail(context, kErrNoMatchingEnd);
  if (entry->kind != kStructureSwitch) return Fail(context, kErrEndMismatch);
  PopStructure(context);
  return 1;
}

}  // namespace kel
