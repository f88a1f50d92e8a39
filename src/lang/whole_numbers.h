// The rules of whole-number arithmetic that the operators and the compiled expressions'
// shortcut for whole-number variables both follow, so that both give the same results.
#ifndef KEL_LANG_WHOLE_NUMBERS_H
#define KEL_LANG_WHOLE_NUMBERS_H

#include <cstdint>

namespace kel {

// Whole-number arithmetic wraps around modulo 2^32, as the 32-bit registers it models do.
inline std::int32_t WrapWholeNumber(std::uint32_t bits) {
  return static_cast<std::int32_t>(bits);
}

// `a / b` for a divisor that is not 0: the one quotient that does not fit wraps back to itself.
inline std::int32_t WholeNumberQuotient(std::int32_t a, std::int32_t b) {
  return (a == INT32_MIN && b == -1) ? INT32_MIN : a / b;
}

// `a mod b` for a divisor that is not 0, what the quotient leaves.
inline std::int32_t WholeNumberRemainder(std::int32_t a, std::int32_t b) {
  return WrapWholeNumber(static_cast<std::uint32_t>(a) -
                         static_cast<std::uint32_t>(WholeNumberQuotient(a, b)) *
                             static_cast<std::uint32_t>(b));
}

}  // namespace kel

#endif  // KEL_LANG_WHOLE_NUMBERS_H
