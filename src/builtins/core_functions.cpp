// The functions of the language core: error state, the float format setting, removing
// variables by prefix, and reading and writing through variable pointers.
#include <cstring>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_functions.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/debug_trace.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/user_functions.h"
#include "lang/variables.h"

namespace kel {

KEL_FAMILY_ROUTINE(CoreFunction) {
  auto integer = [&](int i) { return arguments[i].value.intValue; };
  auto text = [&](int i) { return ValueText(context, arguments[i].value); };
  switch (code) {
    case kKeywordDecimals:
      return SetEvalInteger(context, result, SetDecimals(context, integer(0)));
    case kKeywordDropWild:
      return SetEvalInteger(context, result, RemoveByPrefix(context, text(0)));
    case kKeywordErrorEvent:
      return SetEvalInteger(context, result, ErrorEvent(context, integer(0), integer(1), text(2)));
    case kKeywordErrorMode: {
      SetEvalInteger(context, result, ErrorMode(context, integer(0)));
      const std::int32_t mode = context.errors.errorMode;
      std::string line = std::string("********** ErrorMode: ") +
                         (mode == 0   ? "@OFF"
                          : mode == 2 ? "@NOTIFY"
                                      : "@CANCEL") +
                         " **********";
      TraceNote(context, line.c_str());
      return;
    }
    case kKeywordLastError:
      return SetEvalInteger(context, result, LastError(context));
    case kKeywordInternalGetViaPointer: {
      EvalValue read{};
      ResetEval(read);
      if (!ReadViaPointer(context, text(0), read)) return ReleaseEval(context, read);
      ReleaseEval(context, result);
      MoveEval(result, read);
      return;
    }
    case kKeywordCall:
      return CallScriptFile(context, text(0), arguments[1], result);
    case kKeywordInternalSetViaPointer:
      if (WriteViaPointer(context, text(0), arguments[1].value)) SetEvalInteger(context, result, 1);
      return;
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
