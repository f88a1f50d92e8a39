// The statement runner: one statement of a line, the dispatch over its first token, plain
// statements and commands, and what happens to the error a statement leaves.
#include "lang/statements.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "errors/report.h"
#include "lang/compiled_expressions.h"
#include "lang/compiled_lines.h"
#include "lang/eval_value.h"
#include "lang/debug_trace.h"
#include "lang/evaluator.h"
#include "lang/handler_calls.h"
#include "lang/host_notifications.h"
#include "lang/keyword_table.h"
#include "lang/statement_handlers.h"
#include "lang/string_heap.h"
#include "lang/tokenizer.h"
#include "loader/hidden_text.h"
#include "platform/platform.h"

namespace kel {
namespace {

// The companion code of 9013 when the user cancelled the box of an error inside Execute.
constexpr std::int32_t kExecuteCancelled = 999;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// statement -> [ "*" ] expression | [ "*" ] name "=" expression
int RunPlainStatement(BatchContext& context, EvalValue& result, StatementRun& run, bool pointer) {
  if (run.skipping) {
    SetTrace(context, kTraceSkipped, false);
    return 1;
  }
  SetTrace(context, kTracePlain, true);
  ProcessSubExpression(context, result, true, pointer);
  if (HasError(context)) return 0;
  if (!AtStatementEnd(context))
    return FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
  return 1;
}

// "end" ("if" | "while" | "for" | "switch" | "select")
int RunEnd(BatchContext& context, StatementRun& run) {
  get_token(context);
  if (context.tokenizer.tokenKind == kTokenKeyword) {
    switch (context.tokenizer.tokenCode) {
      case kKeywordIf:
        return RunEndIf(context);
      case kKeywordWhile:
        return RunEndWhile(context, run);
      case kKeywordFor:
        return RunNext(context, run);
      case kKeywordSwitch:
      case kKeywordSelect:
        return RunEndSwitch(context);
      default:
        break;
    }
  }
  return Fail(context, kErrEndUnidentified);
}

int RunStructureKeyword(BatchContext& context, EvalValue& result, StatementRun& run,
                        std::uint16_t code) {
  switch (code) {
    case kKeywordIf:
      return RunIf(context, result, run);
    case kKeywordThen:
      return RunThen(context, result, run);
    case kKeywordElseIf:
      return RunElseIf(context, run);
    case kKeywordElse:
      return RunElse(context, result, run);
    case kKeywordEndIf:
      return RunEndIf(context);
    case kKeywordWhile:
      return RunWhile(context, run);
    case kKeywordEndWhile:
      return RunEndWhile(context, run);
    case kKeywordFor:
      return RunFor(context, run);
    case kKeywordTo:
      return RunTo(context, run);
    case kKeywordNext:
    case kKeywordEndFor:
      return RunNext(context, run);
    case kKeywordForEach:
      return RunForEach(context, run);
    case kKeywordSwitch:
    case kKeywordSelect:
      return RunSwitch(context, run);
    case kKeywordCase:
      return RunCase(context, run);
    case kKeywordEndSwitch:
    case kKeywordEndSelect:
      return RunEndSwitch(context);
    case kKeywordBreak:
      return RunBreak(context, run);
    case kKeywordContinue:
      return RunContinue(context, run);
    case kKeywordEnd:
      return RunEnd(context, run);
    case kKeywordGosub:
      return RunGosub(context, run);
    case kKeywordReturn:
      return RunReturn(context, result, run);
    default:
      return Fail(context, kErrCommandNotDefined);
  }
}

// The message of an error number as the box of Execute shows it: "EXECUTE::" and the text.
void ExecuteBoxTitle(BatchContext& context, std::uint32_t number, char* out, std::size_t size) {
  char message[kMessageBytes];
  LoadMessage(context, number, message, sizeof message);
  std::snprintf(out, size, "EXECUTE::%s", message);
}

// "execute" statement: the rest of the line runs as a statement of its own, and an error in it
// is shown in a box of its own (or not at all) instead of the error box, as executeMode says.
int RunExecute(BatchContext& context, EvalValue& result, StatementRun& run) {
  const char* rest = RestOfStatement(context);
  if (OnlyCommentFollows(rest)) return 1;
  ControlFlowState& flow = context.flow;
  ++flow.executeDepth;
  int status = ExecStatement(context, result, run.line,
                             static_cast<std::uint32_t>(rest - run.line.line), true);
  --flow.executeDepth;
  std::uint32_t number = context.errors.errNum;
  bool handledHere =
      number != 0 && (number <= kLastErrorNumber || number == kCompletionReported ||
                      number == kCompletionFunctionReported || number == kCompletionUserReported);
  if (!handledHere) return status;
  if (flow.executeMode != 2) {
    if (context.soundsOn != 0) platform::PlaySystemSound("SystemHand");
    char title[kMessageBytes + 16];
    ExecuteBoxTitle(context, number, title, sizeof title);
    int answer =
        platform::ShowExecuteErrorBox(context.hostWindow, title, rest, flow.executeMode == 0);
    if (answer == platform::kExecuteBoxCancel) {
      SetError(context, kCompletionReported);
      context.errors.userErrCode = kExecuteCancelled;
      DiscardMoreErrorInfo(context);
      return 0;
    }
  }
  // The error has had its say; the hints it left would otherwise turn up in a later report.
  context.errors.errNum = 0;
  DiscardMoreErrorInfo(context);
  return 1;
}

// A command of the host's own keyword table: the rest of the statement goes to the host as one
// text argument (none when it is empty).
int RunHostCommand(BatchContext& context, EvalValue& result, std::uint16_t code) {
  SetTrace(context, kTracePlain, true);
  const char* rest = RestOfStatement(context);
  std::size_t length = std::strlen(rest);
  while (length > 0 && IsBlank(rest[length - 1]))
    --length;
  EvalValue argument;
  ResetEval(argument);
  int count = 0;
  if (!OnlyCommentFollows(rest)) {
    std::uint32_t text = HeapCopyText(context, rest, length);
    if (text == 0) return Fail(context, kErrOutOfStringMemory);
    argument.value.flags = kValueText;
    argument.value.textRef = text;
    count = 1;
  }
  bool called = Hooks().callHostEntry(context, code - kHostCodeBase, &argument, count, result);
  ReleaseEval(context, argument);
  return called && !HasError(context) ? 1 : 0;
}

int RunCommand(BatchContext& context, EvalValue& result, StatementRun& run, std::uint16_t code) {
  SetTrace(context, kTracePlain, true);
  switch (code) {
    case kKeywordGoto:
      return RunGoto(context, run);
    case kKeywordExit:
      context.flow.ifState = -1;
      return Fail(context, kCompletionNormalEnd);
    case kKeywordExecute:
      return RunExecute(context, result, run);
    case kKeywordBeep:
      platform::Beep();
      return 1;
    case kKeywordYield:
      Hooks().fullPump(context);
      return 1;
    default:
      return Fail(context, kErrCommandNotDefined);
  }
}

// What the statement's error means for the run: completion codes end it (or not), errors go to
// the handlers and then to the error box, whose answer decides.
int SettleError(BatchContext& context, StatementLine& statement, int status) {
  ErrorState& errors = context.errors;
  std::uint32_t number = errors.errNum;
  if (number == 0) return status;
  if (number > kLastErrorNumber && number != kCompletionCancel) {
    // 9998: a handler took the error of an assignment. 9016 with the flag: the box of
    // ErrorEvent let the user go on.
    if (number == kCompletionHandledInAssignment ||
        (number == kCompletionUserReported && errors.statementContinues != 0)) {
      errors.errNum = 0;
      errors.statementContinues = 0;
      return 1;
    }
    return 0;
  }
  // The script's cancel and error handlers (IntControl 72 and 73) have the first word.
  const HandlerSettings& handlers = errors.handlers;
  const bool offered =
      (number == kCompletionCancel ? handlers.cancelMode : handlers.errorMode) != 0;
  if (OfferErrorToHandler(context, statement)) return 1;
  // What stands now: the error, a cancel, or the end a handler function asked for.
  if (errors.errNum == 0) return status;
  if (errors.errNum > kLastErrorNumber) return 0;
  if (ReportStatementError(context, statement.line + statement.start, offered) == 0) return 0;
  errors.errNum = 0;
  return 1;
}

}  // namespace

int Fail(BatchContext& context, std::uint32_t number) {
  SetError(context, number);
  return 0;
}

int FailWithHint(BatchContext& context, std::uint32_t number, std::uint32_t hint) {
  char text[kMessageBytes];
  LoadMessage(context, hint, text, sizeof text);
  AppendMoreErrorInfo(context, text);
  return Fail(context, number);
}

void SetTrace(BatchContext& context, std::uint8_t category, bool truth) {
  context.flow.traceCategory = category;
  context.flow.traceTruth = truth ? 1 : 0;
}

bool AtStatementEnd(const BatchContext& context) {
  return context.tokenizer.tokenKind == kTokenEnd;
}

const char* RestOfStatement(const BatchContext& context) {
  const char* p = ScanPosition(context);
  if (p == nullptr) return "";
  while (IsBlank(*p))
    ++p;
  return p;
}

bool OnlyCommentFollows(const char* position) {
  while (IsBlank(*position))
    ++position;
  return *position == '\0' || *position == ';';
}

void EvaluateExpression(BatchContext& context, EvalValue& value) {
  if (EvaluateCompiledAhead(context, value)) return;
  get_token(context);
  if (HasError(context)) return;
  ProcessSubExpression(context, value, false);
}

std::uint32_t TextOffsetOf(const StatementLine& line, const char* position) {
  return line.lineOffset + static_cast<std::uint32_t>(position - line.line);
}

bool LineStandsInText(const StatementLine& line, const char* position, std::uint32_t length) {
  const ScriptText& text = *line.text;
  std::uint32_t offset = TextOffsetOf(line, position);
  if (offset > text.length || length > text.length - offset) return false;
  for (std::uint32_t i = 0; i < length; ++i)
    if (PlainByteAt(text, offset + i) != static_cast<std::uint8_t>(position[i])) return false;
  return true;
}

int ExecStatement(BatchContext& context, EvalValue& result, StatementLine& statement,
                  std::uint32_t offset, bool noCache) {
  const char* text = statement.line + offset;
  while (IsBlank(*text))
    ++text;
  StatementRun run{statement, static_cast<std::uint32_t>(text - statement.line), noCache,
                   InnermostStructureSkipping(context)};
  auto lead = static_cast<std::uint8_t>(*text);
  if (lead == kCachedGotoMarker || lead == kCachedGosubMarker) return RunCachedJump(context, run);
  // A leading "*" assigns through the pointer variable named next.
  bool pointer = *text == '*';
  if (!pointer && !run.skipping && context.tokenizer.compiledLine != nullptr) {
    SetTrace(context, kTracePlain, true);
    int status = 0;
    if (RunCompiledAssignment(context, result, text, status)) return status;
  }
  BeginScan(context, pointer ? text + 1 : text);
  get_token(context);
  const TokenizerState& tokenizer = context.tokenizer;
  if (HasError(context) || tokenizer.tokenKind == kTokenEnd) {
    // Skipped code is only looked at for its structure keywords.
    if (run.skipping) {
      context.errors.errNum = 0;
      SetTrace(context, kTraceSkipped, false);
      return 1;
    }
    return HasError(context) ? 0 : Fail(context, kErrMissingStatement);
  }
  if (pointer || tokenizer.tokenKind != kTokenKeyword)
    return RunPlainStatement(context, result, run, pointer);
  std::uint16_t code = tokenizer.tokenCode;
  const KelKeywordRow* row = TokenRow(context, code);
  std::uint32_t kind = row != nullptr ? (row->kind & 0xFF) : kRowFunction;
  if (code < kKeywordCount && kind == kRowStructure)
    return RunStructureKeyword(context, result, run, code);
  bool hostCommand = code >= kHostCodeBase && code <= kHostCodeLast && kind == kRowCommand;
  if (kind == kRowCommand && (code < kKeywordCount || hostCommand)) {
    if (run.skipping) {
      SetTrace(context, kTraceSkipped, false);
      return 1;
    }
    return hostCommand ? RunHostCommand(context, result, code)
                       : RunCommand(context, result, run, code);
  }
  return RunPlainStatement(context, result, run, false);
}

namespace {

// What the first run of a statement of the line (beginning at `at`) recorded decides how it
// runs from now on. Labels, pointer statements and cached jumps keep the statement runner's path.
void LearnDirectPlan(BatchContext& context, CompiledLine& line, const char* text, std::uint16_t at,
                     DirectPlan& plan) {
  plan = DirectPlan{};
  plan.at = at;
  auto lead = static_cast<std::uint8_t>(text[at]);
  if (lead == ':' || lead == '*' || lead == kCachedGotoMarker || lead == kCachedGosubMarker ||
      IsBlank(text[at])) {
    plan.kind = DirectKind::kNone;
    return;
  }
  // The first run has not reached the statement's first word (a line too long, say).
  if (line.tokenAt.size() <= at || line.tokenAt[at] == 0) return;
  const CachedToken& first = line.tokens[line.tokenAt[at] - 1u];
  if (first.kind == kTokenVariable) {
    if (CompiledAssignment* assignment = CompiledAssignmentAt(context, text + at)) {
      plan.kind = DirectKind::kAssignment;
      plan.assignment = assignment;
    } else if (first.assignment != 0) {
      plan.kind = DirectKind::kNone;
    }
    return;
  }
  plan.kind = DirectKind::kNone;
  if (first.kind != kTokenKeyword || first.code >= kKeywordCount) return;
  const KelKeywordRow* row = TokenRow(context, first.code);
  if (row == nullptr || (row->kind & 0xFF) != kRowStructure) return;
  plan.kind = DirectKind::kStructure;
  plan.code = first.code;
  switch (first.code) {
    case kKeywordEndWhile:
    case kKeywordNext:
    case kKeywordEndFor:
    case kKeywordBreak:
    case kKeywordContinue:
    case kKeywordEndSwitch:
    case kKeywordEndSelect:
    case kKeywordEndIf:
    case kKeywordElse:
      // Their handlers read no token: at most the rest of the line after the keyword.
      plan.kind = DirectKind::kStructureDirect;
      plan.after = first.end;
      return;
    case kKeywordWhile:
    case kKeywordSwitch:
    case kKeywordSelect:
    case kKeywordCase:
    case kKeywordTo:
    case kKeywordIf:
    case kKeywordElseIf:
    case kKeywordReturn:
      break;
    default:
      return;
  }
  // Their handlers begin by reading an expression; a compiled one followed by the end of the
  // statement or by Then is handed to them ready.
  std::int32_t expression = CompiledExpressionAt(context, line, first.end);
  if (expression == 0) {
    plan.kind = DirectKind::kUnknown;
    return;
  }
  if (expression < 0) return;
  const CompiledExpression& compiled = line.expressions[static_cast<std::size_t>(expression - 1)];
  if (compiled.endKind != kTokenEnd &&
      (compiled.endKind != kTokenKeyword || compiled.endCode != kKeywordThen))
    return;
  plan.kind = DirectKind::kStructureDirect;
  plan.expression = &compiled;
  plan.after = first.end;
  plan.constantCase = first.code == kKeywordCase && compiled.endKind == kTokenEnd &&
                      line.nodes[compiled.root].kind == NodeKind::kInteger;
}

// Runs a statement as its plan says; the statement runner's own preparations are made.
[[gnu::always_inline]] inline int RunDirectPlan(BatchContext& context, EvalValue& result,
                                                StatementLine& statement, const DirectPlan& plan,
                                                bool skipping) {
  if (plan.kind == DirectKind::kAssignment) {
    SetTrace(context, kTracePlain, true);
    return RunAssignment(context, result, *plan.assignment);
  }
  StatementRun run{statement, plan.at, false, skipping};
  TokenizerState& tokenizer = context.tokenizer;
  if (plan.kind == DirectKind::kStructureDirect) {
    // The tokenizer stands after the keyword, with the expression that follows it found.
    BeginScan(context, statement.line + plan.after);
    tokenizer.tokenKind = kTokenKeyword;
    tokenizer.tokenCode = plan.code;
    tokenizer.tokenStart = statement.line + plan.at;
    tokenizer.directExpression = plan.expression;
    int status = RunStructureKeyword(context, result, run, plan.code);
    tokenizer.directExpression = nullptr;
    return status;
  }
  BeginScan(context, statement.line + plan.at);
  get_token(context);  // the keyword, taken from the line's tokens
  return HasError(context) ? 0 : RunStructureKeyword(context, result, run, plan.code);
}

}  // namespace

bool RunCompiledStatementLine(BatchContext& context, EvalValue& result, StatementLine& statement,
                              CompiledLine& line, int& status) {
  DirectPlan& plan = line.direct;
  if (plan.kind == DirectKind::kUnknown) LearnDirectPlan(context, line, statement.line, 0, plan);
  if (plan.kind == DirectKind::kUnknown || plan.kind == DirectKind::kNone) return false;
  const bool skipping = InnermostStructureSkipping(context);
  // Skipped assignments are left to the statement runner (and to the skips it remembers).
  if (plan.kind == DirectKind::kAssignment && skipping) return false;
  // The before-statement trace hook and the single-step debugger join here, as in
  // RunStatementLine.
  ErrorState& errors = context.errors;
  errors.errNum = 0;
  errors.statementContinues = 0;
  SetTrace(context, kTracePlain, false);
  ClearAssignTarget(context);
  bool traced = false;
  if (context.statementHooks != 0) {
    if ((context.notifyMask & kNotifyStatement) != 0 && !NotifyStatement(context, statement)) {
      status = 0;
      return true;
    }
    traced = StatementsWatched(context);
  }
  if (traced && !TraceBeforeStatement(context, statement.line + statement.start))
    status = Fail(context, kCompletionCancel);
  else
    status = RunDirectPlan(context, result, statement, plan, skipping);
  const std::uint32_t error = errors.errNum;
  if (error != 0) status = SettleError(context, statement, status);
  if (traced) TraceAfterStatement(context, result, error, error != 0 && status == 0);
  return true;
}

int ExecStatementAfter(BatchContext& context, EvalValue& result, StatementRun& run,
                       const char* rest) {
  const auto offset = static_cast<std::uint32_t>(rest - run.line.line);
  const TokenizerState& tokenizer = context.tokenizer;
  // The compiled line being run is the one this statement stands in.
  auto* line = static_cast<CompiledLine*>(tokenizer.compiledLine);
  if (!run.noCache && !run.skipping && line != nullptr && tokenizer.compiledBase == run.line.line &&
      offset < line->text.size()) {
    DirectPlan& plan = line->tail;
    if (plan.kind != DirectKind::kUnknown && plan.at != offset) plan = DirectPlan{};
    if (plan.kind == DirectKind::kUnknown)
      LearnDirectPlan(context, *line, run.line.line, static_cast<std::uint16_t>(offset), plan);
    if (plan.kind != DirectKind::kUnknown && plan.kind != DirectKind::kNone)
      return RunDirectPlan(context, result, run.line, plan, false);
  }
  return ExecStatement(context, result, run.line, offset, run.noCache);
}

int RunStatementLine(BatchContext& context, EvalValue& result, StatementLine& statement) {
  // The before-statement trace hook and the single-step debugger join here, for statements
  // that run (the innermost structure executing).
  ErrorState& errors = context.errors;
  errors.errNum = 0;
  errors.statementContinues = 0;
  SetTrace(context, kTracePlain, false);
  ClearAssignTarget(context);
  // The host that follows the script hears of the statement first, and may end the run there.
  bool traced = false;
  if (context.statementHooks != 0) {
    if ((context.notifyMask & kNotifyStatement) != 0 && !NotifyStatement(context, statement))
      return 0;
    traced = StatementsWatched(context);
  }
  int status;
  if (traced && !TraceBeforeStatement(context, statement.line + statement.start)) {
    status = Fail(context, kCompletionCancel);
  } else if (context.loader.pendingLineError != 0) {
    status = Fail(context, context.loader.pendingLineError);
  } else {
    status = ExecStatement(context, result, statement, statement.start, statement.substituted);
  }
  const std::uint32_t error = errors.errNum;
  status = SettleError(context, statement, status);
  if (traced) TraceAfterStatement(context, result, error, error != 0 && status == 0);
  return status;
}

}  // namespace kel
