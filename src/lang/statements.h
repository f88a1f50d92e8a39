// The statement runner as the run loop sees it: one call per statement of a line.
#ifndef KEL_LANG_STATEMENTS_H
#define KEL_LANG_STATEMENTS_H

#include <cstdint>

#include "core/loader_state.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;
struct CompiledLine;

// One statement as the run loop hands it over.
struct StatementLine {
  char* line;                // the line (the context's lineBuffer), preprocessed
  std::uint32_t start;       // where the statement begins in the line (after a label)
  std::uint32_t nextOffset;  // the line to read next; a jump changes it, the run loop follows
  std::uint32_t lineOffset;  // offset in the text of the line's first non-blank character
  const ScriptText* text;    // the text the line comes from (its length included)
  bool substituted;          // %name% substitution changed the line, so it must not be cached
};

// Runs one statement and deals with its error (handlers, the error box). A "line too long"
// error left by the line reader (context.loader.pendingLineError) is raised instead of running
// the statement. Returns 1 to go on, 0 when the script must end, -1 when a Return leaves the
// body being run; any other value ends the run loop with that value.
int RunStatementLine(BatchContext& context, EvalValue& result, StatementLine& statement);

// Runs the statement of a compiled line that has run before, from what the line learnt then:
// its first word is not read and dispatched again, and an assignment runs from its compiled
// form. `statement.line` is the compiled line's own text, active in the tokenizer. The error is
// dealt with as RunStatementLine does. False, with nothing done, when the line must go through
// RunStatementLine.
bool RunCompiledStatementLine(BatchContext& context, EvalValue& result, StatementLine& statement,
                              CompiledLine& line, int& status);

// Executes the statement that starts at `offset` of the line, without reporting its error.
// `noCache` keeps Goto and Gosub from caching their target in the text (statements run by
// Execute, handler jumps, lines that preprocessing changed). Returns 1 (go on, with the next
// line or with the offset the statement set), 0 (the statement failed or the script ends;
// errNum says why) or -1 (Return: leave the body being run).
int ExecStatement(BatchContext& context, EvalValue& result, StatementLine& statement,
                  std::uint32_t offset, bool noCache);

// Finds the line ":label" of the text being run (outside definition blocks) and makes it the
// next line. Unless `noCache` is set, the Goto or Gosub statement at `statementOffset` of the
// line is then rewritten in the text into its cached form, so that it jumps directly the next
// time. False with 3033 when there is no such label.
bool FindLabel(BatchContext& context, const char* label, StatementLine& statement,
               std::uint32_t statementOffset, bool noCache);

}  // namespace kel

#endif  // KEL_LANG_STATEMENTS_H
