// The debug trace: every statement's text, the time since the trace began, what the statement did
// and what became of its error, written to a file (or the system debugger) as the script runs;
// and the dumps of the variables, the structure stack, the function table and the settings
// file. DebugTrace, DebugData and Debug set it up (builtins/debug_functions.cpp).
#ifndef KEL_LANG_DEBUG_TRACE_H
#define KEL_LANG_DEBUG_TRACE_H

#include <cstdint>

#include "core/trace_state.h"
#include "core/value_record.h"

namespace kel {

struct BatchContext;

// The statement runner's hooks; each does nothing while the trace is off. Before a statement:
// the record of the one before is written. After it: its outcome and error are kept for that
// record (`ended`: the error ends the script).
void TraceBeforeStatement(BatchContext& context, const char* statement);
void TraceAfterStatement(BatchContext& context, const EvalValue& result, std::uint32_t error,
                         bool ended);
// The end of the host's run: the last record, the end lines and, after a terminal error, the
// dumps.
void TraceRunEnd(BatchContext& context, int outcome, std::uint32_t error);
// A line of its own in the trace ("\r\n" text "\r\n").
void TraceNote(BatchContext& context, const char* text);

// DebugTrace(request, text, second): the previous state (1 tracing, 0 not), or -1 with the
// error set.
std::int32_t DebugTraceRequest(BatchContext& context, std::int32_t request, const char* text,
                               const char* second);

// A user-defined function or a called script runs untraced, with the caller's trace kept and
// given back when it ends; DebugTrace 22 inside takes the caller's mode up again.
class NestedTrace {
 public:
  explicit NestedTrace(BatchContext& context);
  ~NestedTrace();
  NestedTrace(const NestedTrace&) = delete;
  NestedTrace& operator=(const NestedTrace&) = delete;

 private:
  BatchContext& context_;
  std::int32_t mode_;
  std::int32_t stepMode_;
  std::int32_t outerMode_;
  bool pending_;
};

}  // namespace kel

#endif  // KEL_LANG_DEBUG_TRACE_H
