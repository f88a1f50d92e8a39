// The math-library error slot: floating-point failures of the mathematics library turned into
// error numbers. The slot is process-wide because the library reports through one handler that
// knows nothing of contexts; a script's thread clears it before each floating-point operation and
// takes it into its own error number afterwards.
#ifndef KEL_ERRORS_MATH_ERROR_H
#define KEL_ERRORS_MATH_ERROR_H

#include <cstdint>

namespace kel {

struct BatchContext;

// The kinds of failure the mathematics library reports.
enum class MathErrorKind {
  Domain,
  Singularity,
  Overflow,
  Underflow,
  TotalLoss,
  PartialLoss,
  Other
};

void ClearMathError();
// Records the failure and returns the value the failing operation yields instead: 0.0 for an
// underflow, which is no error, and 1.0 for everything else.
double RaiseMathError(MathErrorKind kind);
// The number waiting in the slot; 0 when there is none.
std::uint32_t PendingMathError();
// Moves a waiting number into the context's errNum and clears the slot; true when there was one.
bool TakeMathError(BatchContext& context);

}  // namespace kel

#endif  // KEL_ERRORS_MATH_ERROR_H
