// The elementary functions against their exact values rounded to double: the same bits on
// every build, whatever its C library.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "functions/math/elementary.h"
#include "functions/math/half_pi_reduction.h"

namespace kel::testing {
namespace {

enum Function { kSin, kCos, kTan, kAsin, kAcos, kAtan, kExp, kLog, kLog10, kSinh, kCosh, kTanh };

struct Reference {
  Function function;
  std::uint64_t argument;
  std::uint64_t expected;
};

constexpr Reference kReferences[] = {
#include "unit/math_reference_values.inc"
};

const char* Name(Function function) {
  static const char* const kNames[] = {"sin", "cos", "tan",   "asin", "acos", "atan",
                                       "exp", "log", "log10", "sinh", "cosh", "tanh"};
  return kNames[function];
}

double Compute(Function function, double x) {
  switch (function) {
    case kSin:
      return MathSin(x);
    case kCos:
      return MathCos(x);
    case kTan:
      return MathTan(x);
    case kAsin:
      return MathAsin(x);
    case kAcos:
      return MathAcos(x);
    case kAtan:
      return MathAtan(x);
    case kExp:
      return MathExp(x);
    case kLog:
      return MathLog(x);
    case kLog10:
      return MathLog10(x);
    case kSinh:
      return MathSinh(x);
    case kCosh:
      return MathCosh(x);
    case kTanh:
      return MathTanh(x);
  }
  return 0.0;
}

TEST(MathElementaryTest, EveryReferenceValueIsMetToTheLastBit) {
  int failures = 0;
  for (const Reference& reference : kReferences) {
    double x = std::bit_cast<double>(reference.argument);
    double got = Compute(reference.function, x);
    std::uint64_t bits = std::bit_cast<std::uint64_t>(got);
    if (bits != reference.expected && ++failures <= 20) {
      ADD_FAILURE() << Name(reference.function) << "(" << std::hexfloat << x << ") = " << got
                    << ", expected " << std::bit_cast<double>(reference.expected);
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(MathElementaryTest, OddFunctionsKeepTheSignAndEvenOnesDropIt) {
  for (double x : {0.3, 2.0, 1e22, 700.0}) {
    EXPECT_EQ(MathSin(-x), -MathSin(x)) << x;
    EXPECT_EQ(MathTan(-x), -MathTan(x)) << x;
    EXPECT_EQ(MathAtan(-x), -MathAtan(x)) << x;
    EXPECT_EQ(MathSinh(-x), -MathSinh(x)) << x;
    EXPECT_EQ(MathTanh(-x), -MathTanh(x)) << x;
    EXPECT_EQ(MathCos(-x), MathCos(x)) << x;
    EXPECT_EQ(MathCosh(-x), MathCosh(x)) << x;
  }
}

TEST(MathElementaryTest, EdgesFollowTheLibraryConventions) {
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(std::isnan(MathAsin(1.0000000000000002)));
  EXPECT_TRUE(std::isnan(MathAcos(-2.0)));
  EXPECT_TRUE(std::isnan(MathLog(-1.0)));
  EXPECT_TRUE(std::isnan(MathLog10(-1e-300)));
  EXPECT_EQ(MathLog(0.0), -kInfinity);
  EXPECT_EQ(MathLog10(0.0), -kInfinity);
  EXPECT_EQ(MathExp(709.79), kInfinity);
  EXPECT_EQ(MathExp(-746.0), 0.0);
  EXPECT_EQ(MathSinh(711.0), kInfinity);
  EXPECT_EQ(MathSinh(-711.0), -kInfinity);
  EXPECT_EQ(MathCosh(-711.0), kInfinity);
  EXPECT_EQ(MathTanh(-1000.0), -1.0);
  EXPECT_EQ(MathAcos(1.0), 0.0);
  EXPECT_EQ(MathLog(1.0), 0.0);
  EXPECT_EQ(MathExp(0.0), 1.0);
  EXPECT_EQ(MathLog10(1000.0), 3.0);
  EXPECT_EQ(MathLog10(1e22), 22.0);
  for (double x : {kInfinity, -kInfinity, kNan}) {
    EXPECT_TRUE(std::isnan(MathSin(x)));
    EXPECT_TRUE(std::isnan(MathCos(x)));
    EXPECT_TRUE(std::isnan(MathTan(x)));
  }
  EXPECT_EQ(MathAtan(kInfinity), MathAtan(1e300));
  EXPECT_EQ(MathExp(-kInfinity), 0.0);
  EXPECT_TRUE(std::isnan(MathExp(kNan)));
}

// x = quadrant * pi/2 + remainder, checked where the reduction is hardest: the double closest
// to a multiple of pi/2, and the largest double.
TEST(MathElementaryTest, ReductionByHalfPiKeepsTheRemainderOfHugeArguments) {
  math::DoubleDouble remainder{};
  double closest = std::ldexp(6381956970095103.0, 797);
  int quadrant = math::ReduceHalfPi(closest, remainder);
  EXPECT_EQ(quadrant, 1);
  // The remainder is about 4.687e-19, and right to the last bit.
  EXPECT_EQ(remainder.hi + remainder.lo, 0x1.14ae72e6ba22fp-61) << std::hexfloat << remainder.hi;

  quadrant = math::ReduceHalfPi(1.0, remainder);
  EXPECT_EQ(quadrant, 1);
  EXPECT_EQ(remainder.hi + remainder.lo, -0x1.243f6a8885a31p-1);  // 1 - pi/2
  EXPECT_EQ(math::ReduceHalfPi(-1.0, remainder), 3);
  EXPECT_EQ(math::ReduceHalfPi(0.5, remainder), 0);
  EXPECT_EQ(remainder.hi, 0.5);
}

}  // namespace
}  // namespace kel::testing
