// While, For (with its To part), ForEach, Next, EndWhile, Break and Continue.
//
// Loops go back by offsets into the text: EndWhile to the While line, which runs again and
// opens a fresh entry; Next to the word To in the middle of the For line (its To part runs as a
// line of its own) or to the ForEach line, whose entry stays open.
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "lang/compiled_expressions.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/statement_handlers.h"
#include "lang/string_heap.h"
#include "lang/tokenizer.h"
#include "lang/variables.h"
#include "lang/token_reading.h"
#include "loader/hidden_text.h"

namespace kel {
namespace {

constexpr std::uint32_t kNumberBits = kValueInteger | kValueFloat;

// A For counter, end or step: an integer or float, or a text that reads as one (the strict
// integer rule first, then the float rule).
bool MakeNumeric(BatchContext& context, Value& value) {
  if ((value.flags & kNumberBits) != 0) return true;
  if (ToInteger(context, value, false)) return true;
  return ToFloat(context, value);
}

// The number a Value carries, without its texts or its variable link.
void NumbersOf(const Value& value, EvalValue& out) {
  ResetEval(out);
  out.value.intValue = value.intValue;
  out.value.floatValue = value.floatValue;
  out.value.flags = value.flags & kNumberBits;
}

// The loop variable becomes the number alone; whatever it held before is released.
void StoreCounter(BatchContext& context, std::uint16_t slot, const Value& number) {
  Value& variable = context.varSlots[slot].value;
  std::int32_t integer = number.intValue;
  double floating = number.floatValue;
  std::uint32_t flags = number.flags & kNumberBits;
  ReleaseValue(context, variable, slot, kHolderSlot);
  variable.intValue = integer;
  variable.floatValue = floating;
  variable.flags = flags;
}

bool IsWordCharacter(std::uint8_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '@' || c >= 0x80;
}

std::uint8_t Lower(std::uint8_t c) {
  return c >= 'A' && c <= 'Z' ? static_cast<std::uint8_t>(c + 32) : c;
}

// The offset in the text of the word To of a For line whose beginning preprocessing changed:
// the line as the text holds it is searched for the word "for" and the first word "to" after
// it, passing over quoted texts and %name% references. False when it is not there (the For
// came from a substitution).
bool FindToInText(const ScriptText& text, std::uint32_t lineOffset, std::uint32_t& out) {
  auto at = [&](std::uint32_t i) -> std::uint8_t {
    if (i >= text.length) return 0;
    std::uint8_t c = PlainByteAt(text, i);
    return c == '\n' || c == 26 ? 0 : c;
  };
  auto wordAt = [&](std::uint32_t i, const char* word) {
    std::size_t length = std::strlen(word);
    if (i > lineOffset && IsWordCharacter(at(i - 1))) return false;
    for (std::size_t k = 0; k < length; ++k)
      if (Lower(at(i + static_cast<std::uint32_t>(k))) != static_cast<std::uint8_t>(word[k]))
        return false;
    return !IsWordCharacter(at(i + static_cast<std::uint32_t>(length)));
  };
  std::uint32_t i = lineOffset;
  if (at(i) == ':') {
    while (at(i) != 0 && at(i) != ' ' && at(i) != '\t')
      ++i;
  }
  bool seenFor = false;
  while (at(i) != 0) {
    std::uint8_t c = at(i);
    if (c == '"' || c == '\'' || c == '`' || c == '%') {
      std::uint32_t close = i + 1;
      while (at(close) != 0 && at(close) != c)
        ++close;
      i = at(close) == 0 ? close : close + 1;
      continue;
    }
    if (!seenFor && wordAt(i, "for")) {
      seenFor = true;
      i += 3;
      continue;
    }
    if (seenFor && wordAt(i, "to")) {
      out = i;
      return true;
    }
    ++i;
  }
  return false;
}

// Where Next sends the loop back to: the word To of this For statement, in the text.
bool LocateTo(const StatementRun& run, const char* to, std::uint32_t& out) {
  auto length = static_cast<std::uint32_t>(to - run.line.line) + 2;
  if (LineStandsInText(run.line, run.line.line, length)) {
    out = TextOffsetOf(run.line, to);
    return true;
  }
  return FindToInText(*run.line.text, run.line.lineOffset, out);
}

// A For whose To part failed skips its body, should the user let the error pass.
int FailLoop(BatchContext& context, std::uint16_t index, std::uint32_t number) {
  if (index < context.flow.depth) SetStructureState(context.flow.entries[index], kStateWaiting);
  if (number != 0) SetError(context, number);
  return 0;
}

// to -> "to" end ["by" step]: the end test of a For, run when the For line opens the loop and
// again each time Next sends it back here (`returning`), when the step is added first.
int ToPart(BatchContext& context, StatementRun&, bool returning) {
  ControlFlowState& flow = context.flow;
  const auto index = static_cast<std::uint16_t>(flow.depth - 1);
  const std::uint16_t slot = flow.entries[index].var;
  EvalValue end, step, counter;
  ResetEval(end);
  ResetEval(step);
  ResetEval(counter);
  auto fail = [&](std::uint32_t number) {
    ReleaseEval(context, end);
    ReleaseEval(context, step);
    ReleaseEval(context, counter);
    return FailLoop(context, index, number);
  };
  std::int32_t endNumber = 0;
  if (EvaluateWholeNumberAhead(context, endNumber)) {
    end.value.flags = kValueInteger;
    end.value.intValue = endNumber;
  } else if (!EvaluateCompiledAhead(context, end)) {
    get_token(context);
    if (HasError(context)) return fail(0);
    EvalLogical(context, end);
  }
  if (HasError(context)) return fail(0);
  if (!MakeNumeric(context, end.value)) return fail(kErrForNotNumber);
  Value& variable = context.varSlots[slot].value;
  if ((variable.flags & kValueHolding) == 0 || !MakeNumeric(context, variable))
    return fail(kErrForNotNumber);
  // A counter that holds its number alone already (every turn after the first) stays as it is.
  if ((variable.flags & ~kNumberBits) != 0) StoreCounter(context, slot, variable);
  if (AtStatementEnd(context) && end.value.flags == kValueInteger &&
      variable.flags == kValueInteger) {
    // Whole numbers counting up by one, the usual loop: the step is added and the end compared
    // as the operators would do it, without building the step and the counter as values.
    if (returning) {
      const auto next =
          static_cast<std::int32_t>(static_cast<std::uint32_t>(variable.intValue) + 1u);
      TakeMathError(context);
      if (HasError(context)) return fail(0);
      variable.intValue = next;
    }
    const bool runs = end.value.intValue >= variable.intValue;
    ReleaseEval(context, end);
    SetStructureState(flow.entries[index], runs ? kStateRunning : kStateWaiting);
    SetTrace(context, kTraceFor, runs);
    return 1;
  }
  if (!AtStatementEnd(context)) {
    if (!IsKeyword(context, kKeywordBy)) {
      FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
      return fail(0);
    }
    get_token(context);
    if (HasError(context)) return fail(0);
    EvalLogical(context, step);
    if (HasError(context)) return fail(0);
    if (!AtStatementEnd(context)) {
      FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
      return fail(0);
    }
    if (!MakeNumeric(context, step.value)) return fail(kErrForNotNumber);
  } else {
    step.value.flags = kNumberBits;
    step.value.intValue = 1;
    step.value.floatValue = 1.0;
  }
  bool down =
      (step.value.flags & kValueInteger) != 0 ? step.value.intValue < 0 : step.value.floatValue < 0;
  if (returning) {
    NumbersOf(context.varSlots[slot].value, counter);
    ApplyBinaryOp(context, kKeywordPlus, counter, step);
    if (HasError(context)) return fail(0);
    StoreCounter(context, slot, counter.value);
  }
  ReleaseEval(context, counter);
  NumbersOf(context.varSlots[slot].value, counter);
  CompareValues(context, down ? kKeywordLessEqual : kKeywordGreaterEqual, end, counter, true,
                false);
  if (HasError(context)) return fail(0);
  bool runs = end.value.intValue != 0;
  ReleaseEval(context, end);
  ReleaseEval(context, step);
  ReleaseEval(context, counter);
  SetStructureState(flow.entries[index], runs ? kStateRunning : kStateWaiting);
  SetTrace(context, kTraceFor, runs);
  return 1;
}

// The loop variable named by the current token: it must be a variable name (`syntaxError`
// otherwise) that exists.
bool LoopVariable(BatchContext& context, std::uint32_t syntaxError, std::uint16_t& slot) {
  get_token(context);
  if (HasError(context)) return false;
  if (AtStatementEnd(context)) {
    SetError(context, kErrMissingStatement);
    return false;
  }
  if (context.tokenizer.tokenKind != kTokenVariable) {
    SetError(context, syntaxError);
    return false;
  }
  slot = FindSlot(context, context.tokenizer.nameBuffer);
  if (slot == kNoSlot) {
    SetError(context, kErrUndefinedVariable);
    return false;
  }
  return true;
}

// Opens an entry for a loop that lies in skipped code: it only keeps the nesting. A Break or
// Continue in its body is inside a loop, though not run, and must not be refused as outside one.
int PushSkippedLoop(BatchContext& context, StatementRun& run, std::uint16_t kind) {
  SetTrace(context, kind == kStructureWhile ? kTraceWhile : kTraceFor, false);
  if (PushStructure(context, kind, kStateSkipped, *run.line.text, run.line.lineOffset) == nullptr)
    return 0;
  context.flow.breakable = 1;
  return 1;
}

// The innermost entry as a loop end sees it: it must be one of the kinds its opener makes,
// opened in this text.
StructEntry* LoopToClose(BatchContext& context, StatementRun& run, std::uint16_t kind,
                         std::uint16_t otherKind) {
  StructEntry* entry = InnermostStructure(context);
  if (entry == nullptr) {
    SetError(context, kErrNoMatchingEnd);
    return nullptr;
  }
  if ((entry->kind != kind && entry->kind != otherKind) || entry->buffer != run.line.text->bytes) {
    SetError(context, kErrEndMismatch);
    return nullptr;
  }
  return entry;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
  while (*a != '\0' && Lower(static_cast<std::uint8_t>(*a)) == static_cast<std::uint8_t>(*b)) {
    ++a;
    ++b;
  }
  return *a == '\0' && *b == '\0';
}

}  // namespace

// while -> "while" condition
int RunWhile(BatchContext& context, StatementRun& run) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  if (run.skipping) return PushSkippedLoop(context, run, kStructureWhile);
  EvalValue value;
  ResetEval(value);
  // A comparison of whole numbers gives its truth without a value.
  std::int32_t number = 0;
  const bool whole = EvaluateWholeNumberAhead(context, number);
  if (!whole && !EvaluateCompiledAhead(context, value)) {
    get_token(context);
    if (HasError(context)) return 0;
    if (AtStatementEnd(context)) return Fail(context, kErrMissingStatement);
    ProcessSubExpression(context, value, false);
  }
  bool truth = number != 0;
  bool evaluated = !HasError(context);
  if (evaluated && !AtStatementEnd(context)) {
    FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
    evaluated = false;
  }
  if (evaluated && !whole && !ConditionValue(context, value, truth)) {
    if (!HasError(context)) SetError(context, kErrNotNumber);
    evaluated = false;
  }
  ReleaseEval(context, value);
  if (!evaluated) return 0;
  StructEntry* entry =
      PushStructure(context, kStructureWhile, truth ? kStateRunning : kStateWaiting, *run.line.text,
                    run.line.lineOffset);
  if (entry == nullptr) return 0;
  entry->resume = run.line.lineOffset;
  flow.breakable = 1;
  SetTrace(context, kTraceWhile, truth);
  return 1;
}

int RunEndWhile(BatchContext& context, StatementRun& run) {
  context.flow.ifState = -1;
  SetTrace(context, kTraceEnd, true);
  StructEntry* entry = LoopToClose(context, run, kStructureWhile, kStructureWhile);
  if (entry == nullptr) return 0;
  // The While line runs again and opens a fresh entry when its condition still holds.
  if (entry->state == kStateRunning || entry->state == kStateContinue)
    run.line.nextOffset = entry->resume;
  PopStructure(context);
  return 1;
}

// for -> "for" name "=" start "to" end ["by" step]
int RunFor(BatchContext& context, StatementRun& run) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  if (run.skipping) return PushSkippedLoop(context, run, kStructureFor);
  std::uint16_t slot = kNoSlot;
  if (!LoopVariable(context, kErrForSyntax, slot)) return 0;
  get_token(context);
  if (HasError(context)) return 0;
  if (!IsKeyword(context, kKeywordAssign)) return Fail(context, kErrForSyntax);
  EvalValue start;
  ResetEval(start);
  get_token(context);
  if (!HasError(context)) EvalLogical(context, start);
  if (HasError(context)) {
    ReleaseEval(context, start);
    return 0;
  }
  if (!MakeNumeric(context, start.value)) {
    ReleaseEval(context, start);
    return Fail(context, kErrForNotNumber);
  }
  StoreCounter(context, slot, start.value);
  ReleaseEval(context, start);
  if (!IsKeyword(context, kKeywordTo)) return Fail(context, kErrForSyntax);
  std::uint32_t resume = 0;
  if (!LocateTo(run, context.tokenizer.tokenStart, resume)) return Fail(context, kErrForSyntax);
  StructEntry* entry =
      PushStructure(context, kStructureFor, kStateRunning, *run.line.text, run.line.lineOffset);
  if (entry == nullptr) return 0;
  entry->resume = resume;
  entry->var = slot;
  flow.breakable = 1;
  return ToPart(context, run, false);
}

// to -> "to" end ["by" step], where Next sends a For loop back to
int RunTo(BatchContext& context, StatementRun& run) {
  context.flow.ifState = -1;
  StructEntry* entry = InnermostStructure(context);
  if (entry == nullptr || entry->kind != kStructureFor) {
    if (run.skipping) {
      SetTrace(context, kTraceSkipped, false);
      return 1;
    }
    return Fail(context, kErrToWithoutFor);
  }
  // Next comes back here with the state it found (running, or Continue); any other state means
  // the line is being passed over.
  if (entry->state != kStateRunning && entry->state != kStateContinue) {
    SetTrace(context, kTraceSkipped, false);
    return 1;
  }
  return ToPart(context, run, true);
}

int RunNext(BatchContext& context, StatementRun& run) {
  context.flow.ifState = -1;
  SetTrace(context, kTraceEnd, true);
  StructEntry* entry = LoopToClose(context, run, kStructureFor, kStructureForEach);
  if (entry == nullptr) return 0;
  if (entry->state == kStateRunning || entry->state == kStateContinue) {
    run.line.nextOffset = entry->resume;
    return 1;
  }
  PopStructure(context);
  return 1;
}

// foreach -> "foreach" name "in" collection
int RunForEach(BatchContext& context, StatementRun& run) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  StructEntry* entry = InnermostStructure(context);
  // Next brings the loop back to its own line, whose entry is still open.
  bool again = entry != nullptr && entry->kind == kStructureForEach &&
               entry->resume == run.line.lineOffset && entry->buffer == run.line.text->bytes &&
               (entry->state == kStateRunning || entry->state == kStateContinue);
  if (!again && run.skipping) return PushSkippedLoop(context, run, kStructureForEach);
  std::uint16_t slot = kNoSlot;
  if (!LoopVariable(context, kErrForEachSyntax, slot)) return 0;
  if (!again) {
    entry = PushStructure(context, kStructureForEach, kStateRunning, *run.line.text,
                          run.line.lineOffset);
    if (entry == nullptr) return 0;
    entry->resume = run.line.lineOffset;
    entry->var = slot;
    entry->aux = ++flow.enumerationCounter;
    flow.breakable = 1;
  }
  const auto index = static_cast<std::uint16_t>(flow.depth - 1);
  slot = flow.entries[index].var;
  Enumeration& enumeration = flow.enumerations[index];
  get_string_token(context);
  if (HasError(context)) return FailLoop(context, index, 0);
  if (context.tokenizer.tokenKind != kTokenString ||
      !EqualsIgnoringCase(context.tokenizer.tokenText, "in"))
    return FailLoop(context, index, kErrForEachSyntax);
  const char* collection = RestOfStatement(context);
  if (OnlyCommentFollows(collection)) return FailLoop(context, index, kErrForEachSyntax);
  // The enumeration goes on while the line names the same collection; a line that now names
  // another (through %name%) starts over with it.
  bool same =
      enumeration.active != 0 && enumeration.collectionText != 0 &&
      std::strcmp(reinterpret_cast<const char*>(context.heapBase) + enumeration.collectionText,
                  collection) == 0;
  if (!same) {
    ReleaseEnumeration(context, enumeration);
    EvalValue value;
    ResetEval(value);
    get_token(context);
    if (!HasError(context)) EvalLogical(context, value);
    if (!HasError(context) && !AtStatementEnd(context))
      FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
    if (!HasError(context)) StartEnumeration(context, value, enumeration);
    ReleaseEval(context, value);
    if (HasError(context)) return FailLoop(context, index, 0);
    enumeration.collectionText = HeapCopyText(context, collection, std::strlen(collection));
    if (enumeration.collectionText == 0) {
      ReleaseEnumeration(context, enumeration);
      return FailLoop(context, index, kErrOutOfStringMemory);
    }
  }
  bool fetched = NextElement(context, enumeration, slot);
  if (HasError(context)) {
    ReleaseEnumeration(context, enumeration);
    return FailLoop(context, index, 0);
  }
  if (!fetched) ReleaseEnumeration(context, enumeration);
  SetStructureState(flow.entries[index], fetched ? kStateRunning : kStateWaiting);
  SetTrace(context, kTraceFor, fetched);
  return 1;
}

namespace {
// Break and Continue differ only in their error, their trace word and the state they leave.
int LeaveInnermost(BatchContext& context, StatementRun& run, std::uint32_t notInStructure,
                   TraceCategory category, StructureState state) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  if (flow.breakable != 1) return Fail(context, notInStructure);
  SetTrace(context, category, !run.skipping);
  if (run.skipping) return 1;
  StructEntry* entry = InnermostStructure(context);
  if (entry == nullptr) return Fail(context, kErrBreakOutsideLoop);
  SetStructureState(*entry, state);
  return 1;
}
}  // namespace

int RunBreak(BatchContext& context, StatementRun& run) {
  return LeaveInnermost(context, run, kErrBreakNotInStructure, kTraceBreak, kStateBreak);
}

int RunContinue(BatchContext& context, StatementRun& run) {
  return LeaveInnermost(context, run, kErrContinueNotInStructure, kTraceContinue, kStateContinue);
}

}  // namespace kel
