// Reduction of a trigonometric argument to the interval around 0 of width pi/2, exact for every
// finite double however large.
#ifndef KEL_FUNCTIONS_MATH_HALF_PI_REDUCTION_H
#define KEL_FUNCTIONS_MATH_HALF_PI_REDUCTION_H

#include "functions/math/double_double.h"

namespace kel::math {

// Writes x as quadrant * pi/2 + remainder (modulo 2 pi), with |remainder| at most about pi/4,
// and returns the quadrant (0 .. 3). x must be finite.
int ReduceHalfPi(double x, DoubleDouble& remainder);

}  // namespace kel::math

#endif  // KEL_FUNCTIONS_MATH_HALF_PI_REDUCTION_H
