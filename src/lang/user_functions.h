// Calling user-defined functions and subroutines, and running script files with Call.
#ifndef KEL_LANG_USER_FUNCTIONS_H
#define KEL_LANG_USER_FUNCTIONS_H

#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;

// Runs definition `index` with the arguments as its parameters; the value of its Return lands
// in `result`. False when the call could not be made (errNum set).
bool CallUdf(BatchContext& context, std::uint16_t index, EvalValue& result, EvalValue* arguments,
             int count);

// A call of definition `index` in an expression, with what every function call does around it:
// the result starts as 0, leaves as a number or a text, and a pending math error is taken.
void CallDefinition(BatchContext& context, std::uint16_t index, EvalValue& result,
                    EvalValue* arguments, int count);

// The Call function: runs a script file in the caller's variables with the parameters split
// into param1..paramN and Param0; the value of its Return lands in `result`.
void CallScriptFile(BatchContext& context, const char* fileName, EvalValue& parameters,
                    EvalValue& result);

// Frees the caller states the context's calls kept for reuse (at shutdown).
void ReleaseCallerStates(BatchContext& context);

// How many Call levels may be open at once.
constexpr int kMaxCallLevels = 6;

}  // namespace kel

#endif  // KEL_LANG_USER_FUNCTIONS_H
