// The debug trace: every statement's text, the time since the trace began, what the statement did
// and what became of its error, written to a file (or the system debugger) as the script runs;
// and the dumps of the variables, the structure stack, the function table and the settings
// file. DebugTrace, DebugData and Debug set it up (builtins/debug_functions.cpp).
#ifndef KEL_LANG_DEBUG_TRACE_H
#define KEL_LANG_DEBUG_TRACE_H

#include <cstdint>
#include <memory>
#include <string>

#include "core/batch_context.h"
#include "core/trace_state.h"
#include "core/value_record.h"
#include "kel/kel_host.h"

namespace kel {

struct BatchContext;

// Whether the statement runner calls the hooks below: while a trace is on, or single-step mode.
inline bool StatementsWatched(const BatchContext& context) {
  return context.trace.mode != 0 || context.trace.stepMode > 0;
}
// Sets `statementHooks` after the trace mode, the single-step mode or the notify mask changed.
inline void RefreshStatementHooks(BatchContext& context) {
  context.statementHooks =
      StatementsWatched(context) || (context.notifyMask & KEL_NOTIFY_STATEMENT) != 0 ? 1 : 0;
}
// The statement runner's hooks. Before a statement: the record of the one before is written,
// and in single-step mode the box is shown (false: the user cancelled the script). After it:
// its outcome and error are kept for that record and the box (`ended`: the error ends the
// script).
bool TraceBeforeStatement(BatchContext& context, const char* statement);
void TraceAfterStatement(BatchContext& context, const EvalValue& result, std::uint32_t error,
                         bool ended);
// The end of the host's run: the last record, the end lines and, after a terminal error, the
// dumps.
void TraceRunEnd(BatchContext& context, int outcome, std::uint32_t error);
// Before each keyword lookup, when the trace asks for it (flag 4 in mode 1): the state of the
// keyword table's first-letter index.
void TraceKeywordLookup(BatchContext& context);
// A line of its own in the trace ("\r\n" text "\r\n").
void TraceNote(BatchContext& context, const char* text);

// DebugTrace(request, text, second): the previous state (1 tracing, 0 not), or -1 with the
// error set.
std::int32_t DebugTraceRequest(BatchContext& context, std::int32_t request, const char* text,
                               const char* second);

// The records around a call of a user-defined function (`script` false, the function's name)
// or of a script file (the file's name): the calling statement with "CALLING ...", and when
// the call is over, "RETURNING FROM ...". Made before the call's NestedTrace, so that the
// return is written once the caller's trace is back.
class TracedCall {
 public:
  TracedCall(BatchContext& context, bool script, const char* name)
      : context_(context), script_(script), traced_(context.trace.mode == 1), name_(name) {
    if (traced_) Begin();
  }
  ~TracedCall() {
    if (traced_) End();
  }
  TracedCall(const TracedCall&) = delete;
  TracedCall& operator=(const TracedCall&) = delete;

 private:
  void Begin();
  void End();
  std::string Boundary(bool entering) const;

  BatchContext& context_;
  bool script_;
  bool traced_;
  const char* name_;  // lives as long as the call
};

// A user-defined function or a called script runs untraced, with the caller's trace kept and
// given back when it ends; DebugTrace 22 inside takes the caller's mode up again.
class NestedTrace {
 public:
  explicit NestedTrace(BatchContext& context)
      : context_(context),
        mode_(context.trace.mode),
        stepMode_(context.trace.stepMode),
        outerMode_(context.trace.outerMode),
        pending_(context.trace.pending),
        category_(context.flow.traceCategory),
        truth_(context.flow.traceTruth) {
    if (mode_ != 0) KeepLine();
    TraceState& trace = context.trace;
    trace.outerMode = trace.mode;
    trace.mode = 0;
    trace.stepMode = 0;
    trace.pending = false;
    RefreshStatementHooks(context);
  }
  ~NestedTrace() {
    TraceState& trace = context_.trace;
    trace.mode = mode_;
    trace.outerMode = outerMode_;
    trace.stepMode = stepMode_;
    trace.pending = pending_;
    context_.flow.traceCategory = category_;
    context_.flow.traceTruth = truth_;
    if (line_ != nullptr) GiveLineBack();
    RefreshStatementHooks(context_);
  }
  NestedTrace(const NestedTrace&) = delete;
  NestedTrace& operator=(const NestedTrace&) = delete;

 private:
  void KeepLine();
  void GiveLineBack();

  BatchContext& context_;
  std::int32_t mode_;
  std::int32_t stepMode_;
  std::int32_t outerMode_;
  bool pending_;
  // What the caller's statement did so far: the call's statements record their own.
  std::uint8_t category_;
  std::uint8_t truth_;
  // The caller's statement, whose record is still to come (kept only while tracing).
  std::unique_ptr<char[]> line_;
};

}  // namespace kel

#endif  // KEL_LANG_DEBUG_TRACE_H
