// The statement runner as the run loop sees it: one call per statement of a line.
#ifndef KEL_LANG_STATEMENTS_H
#define KEL_LANG_STATEMENTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "lang/value.h"
#include "loader/loader_state.h"

namespace kel {

struct BatchContext;

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

// ---------------------------------------------------------------------------------------------
// STAND-IN until the statement runner arrives: RunStatementLine only records what it was given
// (so the loader and the run loop can be tested end to end) and returns 1. Remove this section
// with it.
struct RecordedStatement {
  std::string line;     // the whole line
  std::uint32_t start;  // where the statement began in it
  std::string file;     // the source file of the line
  std::uint32_t lineNumber;
  std::uint32_t pendingError;  // the line reader's error for this line, 0 when none
  bool substituted;
};
const std::vector<RecordedStatement>& RecordedStatements();
void ClearRecordedStatements();

}  // namespace kel

#endif  // KEL_LANG_STATEMENTS_H
