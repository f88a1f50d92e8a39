// The script functions of error reporting: LastError, ErrorMode and ErrorEvent.
#ifndef KEL_ERRORS_ERROR_FUNCTIONS_H
#define KEL_ERRORS_ERROR_FUNCTIONS_H

#include <cstdint>

namespace kel {

struct BatchContext;

// The number of the last error reported to the script (the companion code for extender errors
// and errors already reported); resets it, so a second call answers 0.
std::int32_t LastError(BatchContext& context);
// Sets the error mode (0 @OFF, 1 @CANCEL, anything else @NOTIFY); returns the previous one.
std::int32_t ErrorMode(BatchContext& context, std::int32_t mode);
// Raises a user-defined error: severity -1, -2 or -3 (minor, moderate, severe), a code of
// 7000 .. 7999 and a message. Returns 1; a bad severity (1666) or code (1667) returns 0 with the
// error standing. When the error is shown at once, errNum is 9016 afterwards and
// `statementContinues` tells whether the user chose to go on.
std::int32_t ErrorEvent(BatchContext& context, std::int32_t severity, std::int32_t code,
                        const char* message);

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_FUNCTIONS_H
