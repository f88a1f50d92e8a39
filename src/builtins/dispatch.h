// The dispatcher of built-in functions: converts the arguments to the types a function's row
// declares, routes the call by its code and tidies the result.
#ifndef KEL_BUILTINS_DISPATCH_H
#define KEL_BUILTINS_DISPATCH_H

#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;

// The outcome is in errNum and `result`. `readsOwnArguments`: the function reads its arguments
// from the token stream (the current token is its "(") and must leave the closing ")" current.
void CallBuiltin(BatchContext& context, const char* name, bool objectAccess, std::uint32_t code,
                 EvalValue& result, EvalValue* arguments, bool readsOwnArguments, int count,
                 std::uint64_t types);

}  // namespace kel

#endif  // KEL_BUILTINS_DISPATCH_H
