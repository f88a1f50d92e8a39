// What error reporting asks of the script's error handlers (IntControl 72 and 73): whether one
// is set, and the description of an error in the handler variables. Running the handlers is the
// statement runner's (lang/handler_calls.h).
#ifndef KEL_ERRORS_ERROR_HANDLERS_H
#define KEL_ERRORS_ERROR_HANDLERS_H

#include "core/error_record.h"

namespace kel {

struct BatchContext;

// The settings a script, a function and a called script start with: cancel -1, error 0.
HandlerSettings StartingHandlers();
// True when an error handler is armed, so that a user-defined error waits for it.
bool ErrorHandlerSet(const BatchContext& context);
// Describes the error in lastErrNum in tverrorarray and the single handler variables.
void FillErrorHandlerVariables(BatchContext& context);

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_HANDLERS_H
