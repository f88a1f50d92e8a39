// Reading tokens where a part of the engine parses a statement or an argument list itself: the
// evaluator, array access, the statement handlers and the functions that read their own
// arguments (argument_lists.h).
#ifndef KEL_LANG_TOKEN_READING_H
#define KEL_LANG_TOKEN_READING_H

#include <cstdint>

#include "core/batch_context.h"
#include "errors/error_state.h"
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

}  // namespace kel

#endif  // KEL_LANG_TOKEN_READING_H
