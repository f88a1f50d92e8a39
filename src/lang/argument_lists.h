// The argument lists that StrCat, Min, Max and their kind read themselves, token by token.
#ifndef KEL_LANG_ARGUMENT_LISTS_H
#define KEL_LANG_ARGUMENT_LISTS_H

#include "core/batch_context.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/token_reading.h"

namespace kel {

// What follows an argument of a list read by ReadListArgument.
enum class ListAfter { kComma, kClose, kOther, kFailed };

// Reads the next argument of "(" argument { "," argument } ")" as the functions that read their
// own arguments do: steps over the "(" or "," that stands current, lets `beforeArgument` look
// at the argument's tokens first (it returns false, with the error set, to stop), evaluates the
// argument into `value` and says what follows it. kFailed: an error is set, and `value` holds
// something only if `beforeArgument` ran to its end.
template <typename BeforeArgument>
ListAfter ReadListArgument(BatchContext& context, EvalValue& value, BeforeArgument beforeArgument) {
  if (!Next(context)) return ListAfter::kFailed;
  if (!beforeArgument()) return ListAfter::kFailed;
  ResetEval(value);
  ProcessSubExpression(context, value, false);
  if (HasError(context)) return ListAfter::kFailed;
  if (IsKeyword(context, kKeywordCloseParenthesis)) return ListAfter::kClose;
  return IsKeyword(context, kKeywordComma) ? ListAfter::kComma : ListAfter::kOther;
}

inline ListAfter ReadListArgument(BatchContext& context, EvalValue& value) {
  return ReadListArgument(context, value, [] { return true; });
}

}  // namespace kel

#endif  // KEL_LANG_ARGUMENT_LISTS_H
