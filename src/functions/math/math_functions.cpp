// The arithmetic functions: the floating-point functions of one argument, Abs, Int, Random and
// the number tests; Max, Min and Average read their own arguments (math_aggregates.cpp).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "functions/math/elementary.h"
#include "functions/math/math_aggregates.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"

namespace kel {
namespace {

// The runtime's generator gives at least 15 random bits a draw on every platform.
constexpr std::uint32_t kRandomBits = 0x7FFF;

// The value of a floating-point function. Failures are read from the result, the same way on
// every build: an argument outside the domain of a library function, an overflow and a pole
// go through the math-error slot (and yield what the slot says); a NaN left over becomes 1599
// afterwards, as it does for the square root of a negative number.
double FloatFunction(std::uint32_t code, double x) {
  switch (code) {
    case kKeywordSin:
      return MathSin(x);
    case kKeywordCos:
      return MathCos(x);
    case kKeywordTan:
      return MathTan(x);
    case kKeywordATan:
      return MathAtan(x);
    case kKeywordSqrt:
      return std::sqrt(x);
    case kKeywordFabs:
      return x < 0.0 ? -x : x;
    case kKeywordCeiling:
      return std::ceil(x);
    case kKeywordFloor:
      return std::floor(x);
    case kKeywordTanH:
      return MathTanh(x);
    case kKeywordASin:
    case kKeywordACos: {
      double angle = code == kKeywordASin ? MathAsin(x) : MathAcos(x);
      return std::isnan(angle) && !std::isnan(x) ? RaiseMathError(MathErrorKind::Domain) : angle;
    }
    case kKeywordExp:
    case kKeywordSinH:
    case kKeywordCosH: {
      double value = code == kKeywordExp    ? MathExp(x)
                     : code == kKeywordSinH ? MathSinh(x)
                                            : MathCosh(x);
      return std::isinf(value) && !std::isinf(x) ? RaiseMathError(MathErrorKind::Overflow) : value;
    }
    case kKeywordLogE:
    case kKeywordLog10:
      // The logarithm of 0 has no value; of a negative number it is NaN (1599).
      if (x == 0.0) return RaiseMathError(MathErrorKind::Singularity);
      return code == kKeywordLogE ? MathLog(x) : MathLog10(x);
    default:
      return std::numeric_limits<double>::quiet_NaN();
  }
}

// The result is a float also when the call fails, as the float functions always answer.
void RunFloatFunction(BatchContext& context, std::uint32_t code, double x, EvalValue& result) {
  ClearMathError();
  double value = FloatFunction(code, x);
  if (!TakeMathError(context) && std::isnan(value)) SetError(context, kErrFloatNan);
  result.value.flags = kValueFloat;
  result.value.floatValue = value;
}

// Two's complement: the most negative integer has no positive partner and stays as it is.
std::int32_t AbsoluteValue(std::int32_t n) {
  std::uint32_t bits = static_cast<std::uint32_t>(n);
  return static_cast<std::int32_t>(n < 0 ? 0u - bits : bits);
}

// Three 15-bit draws make the dividend; a set top bit counts as a 64-bit value with
// 0x7FFFFFFF above it, so the remainder is never negative.
std::int32_t RandomUpTo(std::int32_t maximum) {
  if (maximum < 1) return 0;
  std::uint32_t first = static_cast<std::uint32_t>(std::rand()) & kRandomBits;
  std::uint32_t second = static_cast<std::uint32_t>(std::rand()) & kRandomBits;
  std::uint32_t third = static_cast<std::uint32_t>(std::rand()) & kRandomBits;
  std::uint32_t drawn = (third << 30) | (second << 15) | first;
  std::uint64_t dividend = drawn;
  if ((drawn & 0x80000000u) != 0) dividend += std::uint64_t{0x7FFFFFFF} << 32;
  return static_cast<std::int32_t>(dividend % (static_cast<std::uint64_t>(maximum) + 1));
}

// The number tests look at the argument's text form. They never fail: whatever a conversion
// on the way reports is taken back.
std::int32_t TestNumber(BatchContext& context, std::uint32_t code, Value& value) {
  std::uint32_t saved = context.errors.errNum;
  bool answer = false;
  if (ToText(context, value)) {
    if (code == kKeywordIsInt) {
      // The strict integer rule of the text alone, not the number the Value may also carry.
      Value text{};
      text.flags = kValueText;
      text.textRef = value.textRef;
      answer = ToInteger(context, text, false);
    } else {
      answer = ToFloat(context, value);
    }
  }
  context.errors.errNum = saved;
  return answer ? 1 : 0;
}

}  // namespace

KEL_FAMILY_ROUTINE(MathFunction) {
  switch (code) {
    case kKeywordACos:
    case kKeywordASin:
    case kKeywordATan:
    case kKeywordCeiling:
    case kKeywordCos:
    case kKeywordCosH:
    case kKeywordExp:
    case kKeywordFabs:
    case kKeywordFloor:
    case kKeywordLog10:
    case kKeywordLogE:
    case kKeywordSin:
    case kKeywordSinH:
    case kKeywordSqrt:
    case kKeywordTan:
    case kKeywordTanH:
      return RunFloatFunction(context, code, arguments[0].value.floatValue, result);
    case kKeywordAbs:
      return SetEvalInteger(context, result, AbsoluteValue(arguments[0].value.intValue));
    case kKeywordInt:
      return SetEvalInteger(context, result, arguments[0].value.intValue);
    case kKeywordRandom:
      return SetEvalInteger(context, result, RandomUpTo(arguments[0].value.intValue));
    case kKeywordIsFloat:
    case kKeywordIsInt:
    case kKeywordIsNumber:
      return SetEvalInteger(context, result, TestNumber(context, code, arguments[0].value));
    case kKeywordMax:
    case kKeywordMin:
    case kKeywordAverage:
      return ReadNumberList(context, code, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
