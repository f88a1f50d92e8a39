// Max, Min and Average: functions that read their own list of numbers from the statement.
#ifndef KEL_FUNCTIONS_MATH_MATH_AGGREGATES_H
#define KEL_FUNCTIONS_MATH_MATH_AGGREGATES_H

#include <cstdint>

#include "lang/value.h"

namespace kel {

struct BatchContext;

// Called with the current token on "(" and leaves it on the closing ")". The result is an
// integer when every argument was an integer, else a float.
void ReadNumberList(BatchContext& context, std::uint32_t code, EvalValue& result);

}  // namespace kel

#endif  // KEL_FUNCTIONS_MATH_MATH_AGGREGATES_H
