// The statement runner's handlers, one per statement keyword, and the helpers they share. Only
// the statement runner's own files include this.
#ifndef KEL_LANG_STATEMENT_HANDLERS_H
#define KEL_LANG_STATEMENT_HANDLERS_H

#include <cstdint>

#include "lang/statements.h"
#include "lang/structures.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;

// The statement being run: its line, where it starts, and how it must be run. The tokenizer
// stands after the statement's keyword when a handler is called.
struct StatementRun {
  StatementLine& line;
  std::uint32_t offset;  // where the statement starts in the line (its blanks skipped)
  bool noCache;
  bool skipping;  // the innermost structure was not executing when the statement began
};

// Cached jumps: a Goto or Gosub whose label has been found once is rewritten in the text into
// a marker byte and four bytes carrying 6 bits of the target offset each (most significant
// first, every byte 0x40 | bits). None of these can be zero, a line end, ";" or "%", so the line
// reader, the comment test and %name% substitution leave them alone.
constexpr std::uint8_t kCachedGotoMarker = 0x9F;
constexpr std::uint8_t kCachedGosubMarker = 0x9E;
constexpr std::uint32_t kCachedMarkerBytes = 5;
constexpr std::uint32_t kMaxCachedTarget = 0xFFFFFF;

// Handlers (statement_conditions.cpp).
int RunIf(BatchContext& context, EvalValue& result, StatementRun& run);
int RunThen(BatchContext& context, EvalValue& result, StatementRun& run);
int RunElseIf(BatchContext& context, StatementRun& run);
int RunElse(BatchContext& context, EvalValue& result, StatementRun& run);
int RunEndIf(BatchContext& context);
int RunSwitch(BatchContext& context, StatementRun& run);
int RunCase(BatchContext& context, StatementRun& run);
int RunEndSwitch(BatchContext& context);

// Handlers (statement_loops.cpp).
int RunWhile(BatchContext& context, StatementRun& run);
int RunEndWhile(BatchContext& context, StatementRun& run);
int RunFor(BatchContext& context, StatementRun& run);
int RunTo(BatchContext& context, StatementRun& run);
int RunNext(BatchContext& context, StatementRun& run);
int RunForEach(BatchContext& context, StatementRun& run);
int RunBreak(BatchContext& context, StatementRun& run);
int RunContinue(BatchContext& context, StatementRun& run);

// Handlers (statement_jumps.cpp).
int RunCachedJump(BatchContext& context, StatementRun& run);
int RunGoto(BatchContext& context, StatementRun& run);
int RunGosub(BatchContext& context, StatementRun& run);
int RunReturn(BatchContext& context, EvalValue& result, StatementRun& run);

// Runs the statement that follows Then or Else at `rest` of the statement's line, as
// ExecStatement does; a compiled line runs it directly from its second run on.
int ExecStatementAfter(BatchContext& context, EvalValue& result, StatementRun& run,
                       const char* rest);

// Shared helpers (statements.cpp).
// Stores the error and returns 0, the handlers' failure result.
int Fail(BatchContext& context, std::uint32_t number);
// The same with a hint text of the catalogue added to the more-error-information text.
int FailWithHint(BatchContext& context, std::uint32_t number, std::uint32_t hint);
// Records what the statement was for the debug trace.
void SetTrace(BatchContext& context, std::uint8_t category, bool truth);
// True when the current token ends the statement (the end of the line or a comment).
bool AtStatementEnd(const BatchContext& context);
// The position in the line where the tokenizer stands, its blanks skipped.
const char* RestOfStatement(const BatchContext& context);
// True when nothing but blanks and a comment follows `position`.
bool OnlyCommentFollows(const char* position);
// Reads the next token and evaluates an expression from it (assignment not allowed).
void EvaluateExpression(BatchContext& context, EvalValue& value);
// The offset in the text of a position in the line; meaningful where the line stands in the
// text as it was read (LineStandsInText).
std::uint32_t TextOffsetOf(const StatementLine& line, const char* position);
// True when `length` characters of the line from `position` are the bytes of the text at the
// corresponding offset. Substitution of %name% and "%%" change a line after it was read, and
// nothing may then be located in the text through the line.
bool LineStandsInText(const StatementLine& line, const char* position, std::uint32_t length);

}  // namespace kel

#endif  // KEL_LANG_STATEMENT_HANDLERS_H
