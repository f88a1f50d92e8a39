// The run loop: fetches the lines of a script text and hands each to the statement runner.
#ifndef KEL_HOST_RUN_LOOP_H
#define KEL_HOST_RUN_LOOP_H

#include <cstddef>

#include "lang/value.h"

namespace kel {

struct BatchContext;

// Runs the prepared text; returns 1 when it ran to its end, 0 when it stopped or failed.
int RunLoop(BatchContext& context, const char* text, std::size_t length, EvalValue& result);

}  // namespace kel

#endif  // KEL_HOST_RUN_LOOP_H
