// What error reporting asks of the script's error handlers (IntControl 73): whether one is set,
// and the description of an error in the handler variables.
#ifndef KEL_ERRORS_ERROR_HANDLERS_H
#define KEL_ERRORS_ERROR_HANDLERS_H

namespace kel {

struct BatchContext;

// True when an error handler is armed, so that a user-defined error waits for it.
bool ErrorHandlerSet(const BatchContext& context);
// Describes the error in lastErrNum in tverrorarray and the single handler variables.
void FillErrorHandlerVariables(BatchContext& context);

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_HANDLERS_H
