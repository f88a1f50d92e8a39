// The routines of higher subsystems that lower ones call. The statement runner yields to the
// host's message pump and calls the dispatcher of built-in functions and the host's commands;
// the error box asks the loader where the failing statement stands. Each goes through this
// table, which the host fills once when it sets up the process, before any script runs, so that
// no folder includes one above it.
#ifndef KEL_CORE_HOOKS_H
#define KEL_CORE_HOOKS_H

#include <cstddef>
#include <cstdint>

#include "core/statement_position.h"
#include "core/value_record.h"

namespace kel {

struct BatchContext;

struct EngineHooks {
  // The message pump (host/pump.h: FullPump, PumpBetweenStatements).
  void (*fullPump)(BatchContext& context);
  void (*pumpBetweenStatements)(BatchContext& context);
  // A built-in function, a user-defined function or a host function by its code
  // (builtins/dispatch.h: CallBuiltin).
  void (*callBuiltin)(BatchContext& context, const char* name, bool objectAccess,
                      std::uint32_t code, EvalValue& result, EvalValue* arguments,
                      bool readsOwnArguments, int count, std::uint64_t types);
  // A command of the host's keyword table (builtins/extender_router.h: CallHostEntry).
  bool (*callHostEntry)(BatchContext& context, std::int32_t request, EvalValue* arguments,
                        int count, EvalValue& result);
  // Where the failing statement stands (loader/source_lines.h: LocateFailingStatement).
  void (*locateFailingStatement)(BatchContext& context, SourcePosition& position);
  // The function calls and called scripts that led there (host/call_frames.h: DescribeCallers).
  std::size_t (*describeCallers)(BatchContext& context, char* out, std::size_t size);
  // Describes the error in lastErrNum (or a cancel) in the script's handler variables
  // (lang/handler_calls.h: DescribeError).
  void (*describeError)(BatchContext& context, bool cancel, bool arrayOnly);
};

// The process's table: written once by the host's set-up, then only read.
EngineHooks& Hooks();

}  // namespace kel

#endif  // KEL_CORE_HOOKS_H
