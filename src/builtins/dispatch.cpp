// The dispatcher: argument conversion by declared type, routing by code, result tidying.
#include "builtins/dispatch.h"

#include "builtins/arguments.h"
#include "builtins/extender_router.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "lang/array_access.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/user_functions.h"

namespace kel {
namespace {

// One selection over every offered function's code.
void RunBuiltin(BatchContext& context, std::uint32_t code, int count, EvalValue& result,
                EvalValue* arguments, bool unicode) {
  switch (code) {
#define KEL_BUILTIN(identifier, routine) \
  case kKeyword##identifier:             \
    return routine(context, code, count, result, arguments, unicode);
#include "lang/functions.inc"
#undef KEL_BUILTIN
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace

void CallBuiltin(BatchContext& context, const char* name, bool objectAccess, std::uint32_t code,
                 EvalValue& result, EvalValue* arguments, bool readsOwnArguments, int count,
                 std::uint64_t types) {
  SetEvalInteger(context, result, 0);
  bool definition = code >= kDefinitionCodeBase && code <= kDefinitionCodeLast;
  bool unicode = false;
  if (!readsOwnArguments && !definition && arguments != nullptr) {
    unicode = IsUnicodeModeCall(context, arguments, count, types);
    for (int i = 0; i < count; ++i)
      if (!ConvertArgument(context, arguments[i], ArgumentTypeAt(types, i), i, unicode)) return;
  }
  if (definition) {
    CallUdf(context, static_cast<std::uint16_t>(code - kDefinitionCodeBase), result, arguments,
            count);
  } else if (code >= kHostCodeBase && code <= kHostCodeLast) {
    CallHostEntry(context, static_cast<std::int32_t>(code - kHostCodeBase), arguments, count,
                  result);
  } else if (code >= kExtenderCodeBase && code <= kExtenderCodeLast) {
    SetError(context, kErrNotAvailable);  // extenders are loaded by AddExtender, not offered yet
  } else if (objectAccess || code == kObjectReferenceCode) {
    ReadArrayElement(context, name, result);
  } else {
    RunBuiltin(context, code, count, result, arguments, unicode);
  }
  TidyResult(context, result);
  TakeMathError(context);
}

}  // namespace kel
