// Named error numbers for the errors the engine's own code raises. The texts are in the
// message catalogue under the same numbers.
#ifndef KEL_ERRORS_ERROR_NUMBERS_H
#define KEL_ERRORS_ERROR_NUMBERS_H

#include <cstdint>

namespace kel {

enum ErrorNumber : std::uint32_t {
  kErrFloatTooLarge = 1342,      // FP Math: Result is too large to be represented
  kErrUnableToAllocate = 1588,   // Unable to allocate or lock memory
  kErrFloatNan = 1599,           // FP Math: Function returned invalid floating point number
  kErrUndefinedVariable = 3051,  // Undefined variable or function
  kErrUninitializedVariable = 3052,
  kErrNotString = 3056,
  kErrNotNumber = 3057,
  kErrOutOfStringMemory = 3096,
  kErrOutOfVariableMemory = 3097,
  kErrNotFloat = 3340,
  kErrNotPointer = 3813,
  kErrInvalidPointer = 3814,
  kErrPointerAccess = 3815,
  kErrVariableTableAccess = 3816,
  kErrPointerUninitialized = 3817,
  kErrNotUnicode = 3820,
  kCompletionNormalEnd = 9000,
};

// Texts of the user interface and hints used with the errors above.
enum MessageNumber : std::uint32_t {
  kMsgUninitializedVariable = 880,  // Uninitialized variable or undefined function:
};

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_NUMBERS_H
