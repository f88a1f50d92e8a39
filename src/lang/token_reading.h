// Reading tokens where a part of the engine parses a statement or an argument list itself: the
// evaluator, array access, the statement handlers and the functions that read their own
// arguments (StrCat, Min, Max ...).
#ifndef KEL_LANG_TOKEN_READING_H
#define KEL_LANG_TOKEN_READING_H

#include <cstdint>

#include "core/batch_context.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/tokenizer.h"

namespace kel {

// The current token is the keyword, operator or function `code`.
inline bool IsKeyword(const BatchContext& context, std::uint32_t code) {
  return context.tokenizer.tokenKind == kTokenKeyword && context.tokenizer.tokenCode == code;
}

// Reads the next token; false (with the error set) when that failed.
inline bool Next(BatchContext& context) {
  get_token(context);
  return !HasError(context);
}

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

#endif  // KEL_LANG_TOKEN_READING_H
