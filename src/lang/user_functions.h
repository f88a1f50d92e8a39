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

}  // namespace kel

#endif  // KEL_LANG_USER_FUNCTIONS_H
