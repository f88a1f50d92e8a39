// Goto, Gosub and Return; finding a label, and caching the target of a jump in the text.
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/compiled_expressions.h"
#include "lang/compiled_lines.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/statement_handlers.h"
#include "lang/tokenizer.h"
#include "loader/hidden_text.h"
#include "loader/line_reader.h"

namespace kel {
namespace {

std::uint8_t Lower(std::uint8_t c) {
  return c >= 'A' && c <= 'Z' ? static_cast<std::uint8_t>(c + 32) : c;
}

// True when `text` begins with `word` (lower case), compared without regard to case.
bool BeginsWith(const char* text, const char* word) {
  for (; *word != '\0'; ++text, ++word)
    if (Lower(static_cast<std::uint8_t>(*text)) != static_cast<std::uint8_t>(*word)) return false;
  return true;
}

bool IsGosubFrame(std::uint16_t kind) {
  return kind == kStructureGosubFalse || kind == kStructureGosubTrue || kind == kStructureGosubNone;
}

bool IsCallFrame(std::uint16_t kind) {
  return kind == kStructureFunction || kind == kStructureCall;
}

// Goto would leave the enumeration of a ForEach of the body being run without its Next.
bool InsideForEach(const BatchContext& context) {
  const ControlFlowState& flow = context.flow;
  for (int i = flow.depth - 1; i >= 0; --i) {
    if (flow.entries[i].kind == kStructureForEach) return true;
    if (IsCallFrame(flow.entries[i].kind)) return false;
  }
  return false;
}

// label -> word of letters, digits, "@" and "_"; left in the token text.
bool ReadLabel(BatchContext& context) {
  get_string_token(context);
  if (HasError(context)) return false;
  if (AtStatementEnd(context)) {
    SetError(context, kErrLabelNotSpecified);
    return false;
  }
  return true;
}

// A Gosub frame remembers the line after the Gosub and the If state it found.
bool PushGosubFrame(BatchContext& context, const StatementRun& run) {
  ControlFlowState& flow = context.flow;
  std::uint16_t kind = flow.ifState == 0   ? kStructureGosubFalse
                       : flow.ifState == 1 ? kStructureGosubTrue
                                           : kStructureGosubNone;
  StructEntry* entry =
      PushStructure(context, kind, kStateRunning, *run.line.text, run.line.lineOffset);
  if (entry == nullptr) return false;
  entry->resume = run.line.nextOffset;
  flow.breakable = 0;
  flow.ifState = -1;
  return true;
}

// Rewrites the Goto or Gosub statement at `position` of the line, in the text, into its cached
// form. Only where the statement stands in the text exactly as it was read: a line that
// preprocessing changed, or a target beyond what four 6-bit groups carry, is left alone and
// keeps finding its label the slow way. True when the text was rewritten.
bool CacheJump(const StatementLine& statement, const char* position, std::uint32_t target) {
  if (target > kMaxCachedTarget) return false;
  std::uint8_t marker;
  if (BeginsWith(position, "goto"))
    marker = kCachedGotoMarker;
  else if (BeginsWith(position, "gosub"))
    marker = kCachedGosubMarker;
  else
    return false;
  auto length = static_cast<std::uint32_t>(std::strlen(position));
  // The label's first character must survive after the marker.
  if (length <= kCachedMarkerBytes) return false;
  if (!LineStandsInText(statement, position, length)) return false;
  const std::uint8_t plain[kCachedMarkerBytes] = {
      marker,
      static_cast<std::uint8_t>(0x40 | ((target >> 18) & 0x3F)),
      static_cast<std::uint8_t>(0x40 | ((target >> 12) & 0x3F)),
      static_cast<std::uint8_t>(0x40 | ((target >> 6) & 0x3F)),
      static_cast<std::uint8_t>(0x40 | (target & 0x3F)),
  };
  const ScriptText& text = *statement.text;
  std::uint32_t offset = TextOffsetOf(statement, position);
  for (std::uint32_t i = 0; i < kCachedMarkerBytes; ++i)
    text.bytes[offset + i] = ConcealByte(plain[i], offset + i + text.base);
  return true;
}

}  // namespace

bool FindLabel(BatchContext& context, const char* label, StatementLine& statement,
               std::uint32_t statementOffset, bool noCache) {
  const ScriptText& text = *statement.text;
  // The line being run stays in the context's line buffer; the search reads into its own.
  char line[kMaxLineLength + 2];
  std::uint32_t next = 0, lineStart = 0;
  const std::uint32_t pending = context.loader.pendingLineError;
  const std::size_t labelLength = std::strlen(label);
  bool inDefinition = false, found = false;
  std::uint32_t target = 0;
  while (ReadLine(context, line, sizeof line, text, lineStart, next) != 0) {
    // Labels inside definition blocks belong to their functions.
    if (line[0] == '#') {
      if (BeginsWith(line, "#definefunction") || BeginsWith(line, "#definesubroutine"))
        inDefinition = true;
      else if (BeginsWith(line, "#endfunction") || BeginsWith(line, "#endsubroutine"))
        inDefinition = false;
      continue;
    }
    if (inDefinition || line[0] != ':') continue;
    std::size_t i = 0;
    while (i < labelLength && Lower(static_cast<std::uint8_t>(line[1 + i])) ==
                                  Lower(static_cast<std::uint8_t>(label[i])))
      ++i;
    char after = i == labelLength ? line[1 + i] : 'x';
    if (after == ' ' || after == '\t' || after == '\0' || after == ';') {
      found = true;
      target = lineStart;
      break;
    }
  }
  context.loader.pendingLineError = pending;
  if (!found) {
    SetError(context, kErrLabelNotFound);
    return false;
  }
  statement.nextOffset = target;
  // The text's compiled lines were read before the rewrite: they are read again, so that the
  // statement jumps directly from now on.
  if (!noCache && CacheJump(statement, statement.line + statementOffset, target))
    if (LineCache* cache = RunningLineCache(context, text)) cache->Forget();
  return true;
}

// A cached Goto or Gosub: the marker byte and the target in the next four bytes.
int RunCachedJump(BatchContext& context, StatementRun& run) {
  if (run.skipping) {
    SetTrace(context, kTraceSkipped, false);
    return 1;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(run.line.line + run.offset);
  std::uint32_t target = 0;
  for (std::uint32_t i = 1; i < kCachedMarkerBytes; ++i) {
    if ((bytes[i] & 0xC0) != 0x40) return Fail(context, kErrUnrecognizableItem);
    target = (target << 6) | (bytes[i] & 0x3F);
  }
  if (target > run.line.text->length) return Fail(context, kErrLabelNotFound);
  if (bytes[0] == kCachedGosubMarker) {
    SetTrace(context, kTraceGosub, true);
    if (!PushGosubFrame(context, run)) return 0;
  } else {
    SetTrace(context, kTracePlain, true);
    context.flow.ifState = -1;
    if (InsideForEach(context)) return Fail(context, kErrGotoInForEach);
  }
  run.line.nextOffset = target;
  return 1;
}

// goto -> "goto" label
int RunGoto(BatchContext& context, StatementRun& run) {
  context.flow.ifState = -1;
  if (InsideForEach(context)) return Fail(context, kErrGotoInForEach);
  if (!ReadLabel(context)) return 0;
  return FindLabel(context, context.tokenizer.tokenText, run.line, run.offset, run.noCache) ? 1 : 0;
}

// gosub -> "gosub" label
int RunGosub(BatchContext& context, StatementRun& run) {
  if (run.skipping) {
    SetTrace(context, kTraceSkipped, false);
    return 1;
  }
  SetTrace(context, kTraceGosub, true);
  if (!PushGosubFrame(context, run)) return 0;
  if (ReadLabel(context) &&
      FindLabel(context, context.tokenizer.tokenText, run.line, run.offset, run.noCache))
    return 1;
  PopStructure(context);
  return 0;
}

// return -> "return" [expression]
int RunReturn(BatchContext& context, EvalValue& result, StatementRun& run) {
  ControlFlowState& flow = context.flow;
  flow.ifState = -1;
  if (run.skipping) {
    SetTrace(context, kTraceSkipped, false);
    return 1;
  }
  SetTrace(context, kTraceGosub, false);
  bool valueGiven = true;
  if (!EvaluateCompiledAhead(context, result)) {
    get_token(context);
    if (HasError(context)) return 0;
    valueGiven = !AtStatementEnd(context);
    if (valueGiven) ProcessSubExpression(context, result, false);
  }
  if (valueGiven) {
    if (HasError(context)) return 0;
    if (!AtStatementEnd(context))
      return FailWithHint(context, kErrStatementContinues, kMsgHintExtraneousText);
  } else {
    SetEvalInteger(context, result, 0);
  }
  for (int i = flow.depth - 1; i >= 0; --i) {
    StructEntry& entry = flow.entries[i];
    if (IsGosubFrame(entry.kind)) {
      if (valueGiven) return Fail(context, kErrReturnValueFromGosub);
      const std::uint16_t kind = entry.kind;
      const std::uint32_t resume = entry.resume;
      PopStructuresTo(context, static_cast<std::uint16_t>(i));
      run.line.nextOffset = resume;
      flow.ifState = kind == kStructureGosubFalse ? 0 : kind == kStructureGosubTrue ? 1 : -1;
      return 1;
    }
    if (IsCallFrame(entry.kind)) {
      // The frame stays for its caller, which reads the mark and restores the depth; the value
      // must outlive the variables of the function it may have come from.
      PopStructuresTo(context, static_cast<std::uint16_t>(i + 1));
      entry.var = 1;
      if (!OwnEval(context, result)) return 0;
      return -1;
    }
  }
  // No frame: the body being run ends here.
  return -1;
}

}  // namespace kel
