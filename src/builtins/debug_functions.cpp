// DebugTrace, DebugData and Debug: the debug trace's requests, a line for the system debugger,
// and the single-step setting.
#include <cstdio>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "errors/report.h"
#include "lang/debug_trace.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/value.h"
#include "platform/platform.h"
#include "platform/step_box.h"

namespace kel {

KEL_FAMILY_ROUTINE(DebugFunction) {
  (void)unicode;
  auto text = [&](int i) { return i < count ? ValueText(context, arguments[i].value) : ""; };
  switch (code) {
    case kKeywordDebugTrace: {
      std::int32_t previous =
          DebugTraceRequest(context, arguments[0].value.intValue, text(1), text(2));
      if (previous >= 0) SetEvalInteger(context, result, previous);
      return;
    }
    case kKeywordDebugData:
      // In quiet mode the texts go to the error log; otherwise to the system debugger.
      if (context.errors.quietErrors != 0) {
        LogQuietEntry(context, text(0), text(1));
      } else {
        char heading[kMessageBytes];
        LoadMessage(context, kMsgDebugDataHeading, heading, sizeof heading);
        std::string line = std::string(heading) + text(0) + " " + text(1) + "\r\n";
        platform::DebuggerOutput(line.c_str());
      }
      SetEvalInteger(context, result, 1);
      return;
    case kKeywordDebug: {
      // Without a window system there is no single-step box: asking for it is refused, and the
      // setting stays.
      const std::int32_t mode = arguments[0].value.intValue;
      if (mode > 0 && !platform::StepBoxAvailable()) return SetError(context, kErrNotAvailable);
      const std::int32_t previous = context.trace.stepMode;
      context.trace.stepMode = mode > 0 ? 1 : mode < 0 ? -1 : 0;
      context.trace.stepPending = false;
      RefreshStatementHooks(context);
      std::snprintf(context.trace.stepText, sizeof context.trace.stepText, "%s", text(1));
      SetEvalInteger(context, result, previous);
      return;
    }
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
