// The statement runner.
//
// STAND-IN: statements are recorded, not run, until the statement runner replaces this file's
// body. Everything here exists for that purpose only.
#include "lang/statements.h"

#include <new>

#include "host/batch_context.h"
#include "loader/source_lines.h"

namespace kel {
namespace {

std::vector<RecordedStatement>& Recorded() {
  static std::vector<RecordedStatement> statements;
  return statements;
}

}  // namespace

int RunStatementLine(BatchContext& context, EvalValue&, StatementLine& statement) {
  SourceLine source{};
  FindSourceLine(context, *statement.text, statement.lineOffset, source);
  try {
    Recorded().push_back(RecordedStatement{statement.line, statement.start, source.file,
                                           source.line, context.loader.pendingLineError,
                                           statement.substituted});
  } catch (const std::bad_alloc&) {
    // A record lost to a full memory changes nothing in the run.
  }
  return 1;
}

const std::vector<RecordedStatement>& RecordedStatements() {
  return Recorded();
}

void ClearRecordedStatements() {
  Recorded().clear();
}

}  // namespace kel
