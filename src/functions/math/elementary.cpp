// The elementary functions, computed in double-double arithmetic from series whose arguments
// have first been reduced to small intervals.
#include "functions/math/elementary.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "functions/math/double_double.h"
#include "functions/math/half_pi_reduction.h"

namespace kel {
namespace {

using math::Add;
using math::Divide;
using math::DoubleDouble;
using math::Exact;
using math::Multiply;
using math::Negate;
using math::PowerOfTwo;
using math::Round;
using math::Scale;
using math::SquareRoot;
using math::Subtract;

constexpr DoubleDouble kLn2{0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56};
constexpr DoubleDouble kHalfPi{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr DoubleDouble kPi{0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
constexpr DoubleDouble kInverseLn10{0x1.bcb7b1526e50ep-2, 0x1.95355baaafad3p-57};
constexpr double kLog2E = 0x1.71547652b82fep+0;
constexpr double kSqrt2 = 0x1.6a09e667f3bcdp+0;
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// Below this size f(x) rounds to x (sin, tan, asin, atan, sinh, tanh) or to 1 (cos, cosh):
// the next term of the series is under half an ulp.
constexpr double kNegligible = 0x1p-27;

// Series lengths: the first term left out is below 2^-110 of the sum over the reduced interval.
constexpr int kExpTerms = 27;                    // |r| <= ln2/2
constexpr int kTrigTerms = 15;                   // |r| <= pi/4, terms in r^2
constexpr int kLogTerms = 24;                    // |s| <= 0.172, terms in s^2
constexpr int kAtanTerms = 18;                   // |t| <= tan(pi/32), terms in t^2
constexpr int kSinhTerms = 17;                   // |a| < 1, terms in a^2
constexpr int kFactorials = 2 * kSinhTerms + 2;  // the longest series, sinh, reads 1/35!
static_assert(kFactorials > 2 * kTrigTerms + 1 && kFactorials > kExpTerms &&
                  kLogTerms >= kAtanTerms,
              "the coefficient tables cover every series");

// 1/n! for n = 0 .. kFactorials - 1.
const std::array<DoubleDouble, kFactorials>& InverseFactorials() {
  static const std::array<DoubleDouble, kFactorials> table = [] {
    std::array<DoubleDouble, kFactorials> built{};
    built[0] = Exact(1.0);
    for (int n = 1; n < kFactorials; ++n)
      built[n] = Divide(built[n - 1], static_cast<double>(n));
    return built;
  }();
  return table;
}

// 1/(2k+1) for k = 0 .. kLogTerms.
const std::array<DoubleDouble, kLogTerms + 1>& InverseOdds() {
  static const std::array<DoubleDouble, kLogTerms + 1> table = [] {
    std::array<DoubleDouble, kLogTerms + 1> built{};
    for (int k = 0; k <= kLogTerms; ++k)
      built[k] = Divide(Exact(1.0), static_cast<double>(2 * k + 1));
    return built;
  }();
  return table;
}

bool IsNan(double x) {
  return x != x;
}

double Magnitude(double x) {
  return x < 0.0 ? -x : x;
}

// e^x = mantissa * 2^exponent with the mantissa between 1/sqrt 2 and sqrt 2; |x| <= 746.
DoubleDouble ExpParts(double x, int& exponent) {
  double turns = std::floor(x * kLog2E + 0.5);
  exponent = static_cast<int>(turns);
  // r = x - turns * ln 2, exactly enough: both products are exact, the sums are double-double.
  DoubleDouble r = Subtract(Exact(x), math::TwoProduct(turns, kLn2.hi));
  r = Subtract(r, math::TwoProduct(turns, kLn2.lo));
  const auto& inverse = InverseFactorials();
  DoubleDouble sum = inverse[kExpTerms];
  for (int n = kExpTerms - 1; n >= 0; --n)
    sum = Add(Multiply(sum, r), inverse[n]);
  return sum;
}

// e^x for |x| <= 64, where the scaled parts stay exact.
DoubleDouble ExpSmall(double x) {
  int exponent = 0;
  DoubleDouble mantissa = ExpParts(x, exponent);
  return Scale(mantissa, exponent);
}

// mantissa * 2^exponent rounded to double, overflowing to infinity and rounding into the
// subnormal range with a single step.
double ScaleToDouble(DoubleDouble mantissa, int exponent) {
  double value = Round(mantissa);
  if (exponent > 1023) {
    value *= PowerOfTwo(exponent - 1023);
    exponent = 1023;
  }
  if (exponent < -1022) {
    value *= PowerOfTwo(exponent + 1074);
    exponent = -1074;
  }
  return value * PowerOfTwo(exponent);
}

// ln x for a finite x > 0: x = m * 2^e with m near 1, ln m = 2 atanh((m - 1) / (m + 1)).
DoubleDouble LogPositive(double x) {
  int exponent = 0;
  if (x < 0x1p-1022) {
    x *= 0x1p54;
    exponent = -54;
  }
  std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  exponent += static_cast<int>(bits >> 52) - 1023;
  double m =
      std::bit_cast<double>((bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1023} << 52));
  if (m > kSqrt2) {
    m *= 0.5;
    exponent += 1;
  }
  DoubleDouble s = Divide(Exact(m - 1.0), math::TwoSum(m, 1.0));
  DoubleDouble s2 = Multiply(s, s);
  const auto& inverse = InverseOdds();
  DoubleDouble sum = inverse[kLogTerms];
  for (int k = kLogTerms - 1; k >= 0; --k)
    sum = Add(Multiply(sum, s2), inverse[k]);
  DoubleDouble logM = Scale(Multiply(s, sum), 1);
  return Add(Multiply(kLn2, static_cast<double>(exponent)), logM);
}

// sin r and cos r for |r| <= about pi/4.
DoubleDouble SinSeries(DoubleDouble r) {
  DoubleDouble r2 = Multiply(r, r);
  const auto& inverse = InverseFactorials();
  DoubleDouble sum = inverse[2 * kTrigTerms + 1];
  if (kTrigTerms % 2 != 0) sum = Negate(sum);
  for (int n = kTrigTerms - 1; n >= 0; --n) {
    DoubleDouble term = n % 2 == 0 ? inverse[2 * n + 1] : Negate(inverse[2 * n + 1]);
    sum = Add(Multiply(sum, r2), term);
  }
  return Multiply(sum, r);
}

DoubleDouble CosSeries(DoubleDouble r) {
  DoubleDouble r2 = Multiply(r, r);
  const auto& inverse = InverseFactorials();
  DoubleDouble sum = inverse[2 * kTrigTerms];
  if (kTrigTerms % 2 != 0) sum = Negate(sum);
  for (int n = kTrigTerms - 1; n >= 0; --n) {
    DoubleDouble term = n % 2 == 0 ? inverse[2 * n] : Negate(inverse[2 * n]);
    sum = Add(Multiply(sum, r2), term);
  }
  return sum;
}

// atan t for 0 <= t <= 1: three halvings of the angle, tan(a/2) = t / (1 + sqrt(1 + t^2)),
// bring t below tan(pi/32), where the series converges fast.
DoubleDouble AtanUnit(DoubleDouble t) {
  for (int i = 0; i < 3; ++i) {
    DoubleDouble root = SquareRoot(Add(Multiply(t, t), 1.0));
    t = Divide(t, Add(root, 1.0));
  }
  DoubleDouble t2 = Multiply(t, t);
  const auto& inverse = InverseOdds();
  DoubleDouble sum = inverse[kAtanTerms];
  if (kAtanTerms % 2 != 0) sum = Negate(sum);
  for (int k = kAtanTerms - 1; k >= 0; --k) {
    DoubleDouble term = k % 2 == 0 ? inverse[k] : Negate(inverse[k]);
    sum = Add(Multiply(sum, t2), term);
  }
  return Scale(Multiply(sum, t), 3);
}

// atan(numerator / denominator) for non-negative parts, not both 0.
DoubleDouble AtanRatio(DoubleDouble numerator, DoubleDouble denominator) {
  if (numerator.hi <= denominator.hi) return AtanUnit(Divide(numerator, denominator));
  return Subtract(kHalfPi, AtanUnit(Divide(denominator, numerator)));
}

// sqrt(1 - a^2) for 0 <= a <= 1, without the cancellation of 1 - a^2 near 1.
DoubleDouble Cosine(double a) {
  return SquareRoot(Multiply(math::TwoSum(1.0, -a), math::TwoSum(1.0, a)));
}

// sinh a for 0 <= a < 1, where e^a - e^-a would cancel.
DoubleDouble SinhSeries(double a) {
  DoubleDouble a2 = math::TwoProduct(a, a);
  const auto& inverse = InverseFactorials();
  DoubleDouble sum = inverse[2 * kSinhTerms + 1];
  for (int n = kSinhTerms - 1; n >= 0; --n)
    sum = Add(Multiply(sum, a2), inverse[2 * n + 1]);
  return Multiply(sum, a);
}

double WithSign(double magnitude, double x) {
  return x < 0.0 ? -magnitude : magnitude;
}

}  // namespace

double MathSin(double x) {
  if (IsNan(x) || Magnitude(x) == kInfinity) return kNan;
  if (Magnitude(x) < kNegligible) return x;
  DoubleDouble r{};
  switch (math::ReduceHalfPi(x, r)) {
    case 0:
      return Round(SinSeries(r));
    case 1:
      return Round(CosSeries(r));
    case 2:
      return -Round(SinSeries(r));
    default:
      return -Round(CosSeries(r));
  }
}

double MathCos(double x) {
  if (IsNan(x) || Magnitude(x) == kInfinity) return kNan;
  if (Magnitude(x) < kNegligible) return 1.0;
  DoubleDouble r{};
  switch (math::ReduceHalfPi(x, r)) {
    case 0:
      return Round(CosSeries(r));
    case 1:
      return -Round(SinSeries(r));
    case 2:
      return -Round(CosSeries(r));
    default:
      return Round(SinSeries(r));
  }
}

double MathTan(double x) {
  if (IsNan(x) || Magnitude(x) == kInfinity) return kNan;
  if (Magnitude(x) < kNegligible) return x;
  DoubleDouble r{};
  int quadrant = math::ReduceHalfPi(x, r);
  DoubleDouble sine = SinSeries(r);
  DoubleDouble cosine = CosSeries(r);
  if (quadrant % 2 == 0) return Round(Divide(sine, cosine));
  return -Round(Divide(cosine, sine));
}

double MathAsin(double x) {
  if (IsNan(x)) return x;
  double a = Magnitude(x);
  if (a > 1.0) return kNan;
  if (a < kNegligible) return x;
  if (a == 1.0) return WithSign(Round(kHalfPi), x);
  return WithSign(Round(AtanRatio(Exact(a), Cosine(a))), x);
}

double MathAcos(double x) {
  if (IsNan(x)) return x;
  double a = Magnitude(x);
  if (a > 1.0) return kNan;
  // Near 0 the angle is pi/2 - x to far more than double precision.
  if (a < 0x1p-60) return Round(Subtract(kHalfPi, Exact(x)));
  DoubleDouble angle = a == 1.0 ? Exact(0.0) : AtanRatio(Cosine(a), Exact(a));
  return Round(x < 0.0 ? Subtract(kPi, angle) : angle);
}

double MathAtan(double x) {
  if (IsNan(x)) return x;
  double a = Magnitude(x);
  if (a < kNegligible) return x;
  // Beyond 2^60, pi/2 - 1/a rounds to pi/2.
  if (a > 0x1p60) return WithSign(Round(kHalfPi), x);
  DoubleDouble angle =
      a <= 1.0 ? AtanUnit(Exact(a)) : Subtract(kHalfPi, AtanUnit(Divide(Exact(1.0), Exact(a))));
  return WithSign(Round(angle), x);
}

double MathExp(double x) {
  if (IsNan(x)) return x;
  if (x > 709.8) return kInfinity;
  if (x < -745.2) return 0.0;
  int exponent = 0;
  DoubleDouble mantissa = ExpParts(x, exponent);
  return ScaleToDouble(mantissa, exponent);
}

double MathLog(double x) {
  if (IsNan(x)) return x;
  if (x < 0.0) return kNan;
  if (x == 0.0) return -kInfinity;
  if (x == kInfinity) return x;
  return Round(LogPositive(x));
}

double MathLog10(double x) {
  if (IsNan(x)) return x;
  if (x < 0.0) return kNan;
  if (x == 0.0) return -kInfinity;
  if (x == kInfinity) return x;
  return Round(Multiply(LogPositive(x), kInverseLn10));
}

double MathSinh(double x) {
  if (IsNan(x)) return x;
  double a = Magnitude(x);
  if (a < kNegligible) return x;
  if (a > 711.0) return WithSign(kInfinity, x);
  if (a < 1.0) return WithSign(Round(SinhSeries(a)), x);
  if (a < 40.0) {
    DoubleDouble growing = ExpSmall(a);
    DoubleDouble shrinking = Divide(Exact(1.0), growing);
    return WithSign(Round(Scale(Subtract(growing, shrinking), -1)), x);
  }
  // e^-a is below 2^-115 of e^a here.
  int exponent = 0;
  DoubleDouble mantissa = ExpParts(a, exponent);
  return WithSign(ScaleToDouble(mantissa, exponent - 1), x);
}

double MathCosh(double x) {
  if (IsNan(x)) return x;
  double a = Magnitude(x);
  if (a < kNegligible) return 1.0;
  if (a > 711.0) return kInfinity;
  if (a < 40.0) {
    DoubleDouble growing = ExpSmall(a);
    DoubleDouble shrinking = Divide(Exact(1.0), growing);
    return Round(Scale(Add(growing, shrinking), -1));
  }
  int exponent = 0;
  DoubleDouble mantissa = ExpParts(a, exponent);
  return ScaleToDouble(mantissa, exponent - 1);
}

double MathTanh(double x) {
  if (IsNan(x)) return x;
  double a = Magnitude(x);
  if (a < kNegligible) return x;
  // 1 - tanh a is below 2^-60 here.
  if (a > 22.0) return WithSign(1.0, x);
  DoubleDouble growing = ExpSmall(a);
  DoubleDouble shrinking = Divide(Exact(1.0), growing);
  DoubleDouble numerator = a < 1.0 ? Scale(SinhSeries(a), 1) : Subtract(growing, shrinking);
  return WithSign(Round(Divide(numerator, Add(growing, shrinking))), x);
}

}  // namespace kel
