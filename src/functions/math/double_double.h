// Double-double arithmetic: a number carried as the unevaluated sum of two doubles, good to
// about 106 bits, built only from the correctly rounded +, -, *, / and square root.
//
// The elementary functions compute in this form so that their results are the nearly exact
// value rounded once, and so that every build (whatever its C library) gets the same bits.
// The error-free steps below rely on each operation being rounded to double exactly once:
// the files that use them are compiled without contraction into fused multiply-adds and,
// on 32-bit x86, with SSE2 arithmetic instead of the extended-precision stack.
#ifndef KEL_FUNCTIONS_MATH_DOUBLE_DOUBLE_H
#define KEL_FUNCTIONS_MATH_DOUBLE_DOUBLE_H

#include <bit>
#include <cmath>
#include <cstdint>

namespace kel::math {

// hi is the value rounded to double; |lo| is at most half an ulp of hi.
struct DoubleDouble {
  double hi;
  double lo;
};

inline DoubleDouble Exact(double value) {
  return {value, 0.0};
}

inline double Round(DoubleDouble value) {
  return value.hi + value.lo;
}

// a + b exactly, for any a and b.
inline DoubleDouble TwoSum(double a, double b) {
  double sum = a + b;
  double bPart = sum - a;
  double error = (a - (sum - bPart)) + (b - bPart);
  return {sum, error};
}

// a + b exactly, when |a| >= |b| (or a is 0).
inline DoubleDouble QuickTwoSum(double a, double b) {
  double sum = a + b;
  return {sum, b - (sum - a)};
}

// Splits a into two halves of 26 bits whose sum is a; |a| must stay below 2^995.
inline void SplitHalves(double a, double& high, double& low) {
  constexpr double kSplitter = 134217729.0;  // 2^27 + 1
  double scaled = kSplitter * a;
  high = scaled - (scaled - a);
  low = a - high;
}

// a * b exactly (Dekker's product), while neither factor nor the product nears the range ends.
inline DoubleDouble TwoProduct(double a, double b) {
  double product = a * b;
  double aHigh, aLow, bHigh, bLow;
  SplitHalves(a, aHigh, aLow);
  SplitHalves(b, bHigh, bLow);
  double error = ((aHigh * bHigh - product) + aHigh * bLow + aLow * bHigh) + aLow * bLow;
  return {product, error};
}

inline DoubleDouble Negate(DoubleDouble a) {
  return {-a.hi, -a.lo};
}

inline DoubleDouble Add(DoubleDouble a, DoubleDouble b) {
  DoubleDouble high = TwoSum(a.hi, b.hi);
  DoubleDouble low = TwoSum(a.lo, b.lo);
  high.lo += low.hi;
  high = QuickTwoSum(high.hi, high.lo);
  high.lo += low.lo;
  return QuickTwoSum(high.hi, high.lo);
}

inline DoubleDouble Add(DoubleDouble a, double b) {
  DoubleDouble sum = TwoSum(a.hi, b);
  sum.lo += a.lo;
  return QuickTwoSum(sum.hi, sum.lo);
}

inline DoubleDouble Subtract(DoubleDouble a, DoubleDouble b) {
  return Add(a, Negate(b));
}

inline DoubleDouble Multiply(DoubleDouble a, DoubleDouble b) {
  DoubleDouble product = TwoProduct(a.hi, b.hi);
  product.lo += a.hi * b.lo + a.lo * b.hi;
  return QuickTwoSum(product.hi, product.lo);
}

inline DoubleDouble Multiply(DoubleDouble a, double b) {
  DoubleDouble product = TwoProduct(a.hi, b);
  product.lo += a.lo * b;
  return QuickTwoSum(product.hi, product.lo);
}

// Three correction steps make the quotient good to the full width.
inline DoubleDouble Divide(DoubleDouble a, DoubleDouble b) {
  double first = a.hi / b.hi;
  DoubleDouble rest = Subtract(a, Multiply(b, first));
  double second = rest.hi / b.hi;
  rest = Subtract(rest, Multiply(b, second));
  double third = rest.hi / b.hi;
  return Add(QuickTwoSum(first, second), third);
}

inline DoubleDouble Divide(DoubleDouble a, double b) {
  return Divide(a, Exact(b));
}

// The square root of a non-negative number: one Newton step from the double root.
inline DoubleDouble SquareRoot(DoubleDouble a) {
  if (a.hi <= 0.0) return {0.0, 0.0};
  double root = std::sqrt(a.hi);
  DoubleDouble residual = Subtract(a, TwoProduct(root, root));
  return QuickTwoSum(root, residual.hi / (2.0 * root));
}

// 2^exponent for an exponent from -1074 to 1023, made from its bits.
inline double PowerOfTwo(int exponent) {
  if (exponent >= -1022)
    return std::bit_cast<double>(static_cast<std::uint64_t>(exponent + 1023) << 52);
  return std::bit_cast<double>(std::uint64_t{1} << (exponent + 1074));
}

// Multiplies by 2^exponent; exact while the parts stay normal numbers.
inline DoubleDouble Scale(DoubleDouble a, int exponent) {
  double factor = PowerOfTwo(exponent);
  return {a.hi * factor, a.lo * factor};
}

}  // namespace kel::math

#endif  // KEL_FUNCTIONS_MATH_DOUBLE_DOUBLE_H
