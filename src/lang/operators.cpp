// The operators: arithmetic, bitwise and logical (ApplyBinaryOp), comparison (CompareValues),
// concatenation (ConcatValues) and the prefix operators (ApplyUnaryOp).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/math_error.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "lang/whole_numbers.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr double kLargestResult = 1e300;
constexpr double kSmallestResult = 1e-300;

enum class NumberClass { Integer, Float, Invalid };

// What kind of number an operand is, converting a text by the strict integer rule first and
// then as a float.
NumberClass Classify(BatchContext& context, EvalValue& operand) {
  Value& value = operand.value;
  if ((value.flags & kValueInteger) != 0) return NumberClass::Integer;
  if ((value.flags & kValueFloat) != 0) return NumberClass::Float;
  if ((value.flags & (kValueText | kValueWideText)) == 0) return NumberClass::Invalid;
  std::uint32_t saved = context.errors.errNum;
  if (ToInteger(context, value, false)) return NumberClass::Integer;
  if (ToFloat(context, value)) return NumberClass::Float;
  context.errors.errNum = saved;
  return NumberClass::Invalid;
}

void SetInteger(EvalValue& value, std::int32_t number) {
  value.value.flags = kValueInteger;
  value.value.intValue = number;
}

void SetFloat(EvalValue& value, double number) {
  value.value.flags = kValueFloat;
  value.value.floatValue = number;
}

bool IntegerOperation(BatchContext& context, std::uint32_t op, std::int32_t a, std::int32_t b,
                      std::int32_t& out) {
  auto ua = static_cast<std::uint32_t>(a), ub = static_cast<std::uint32_t>(b);
  switch (op) {
    case kKeywordPlus:
      out = WrapWholeNumber(ua + ub);
      return true;
    case kKeywordMinus:
      out = WrapWholeNumber(ua - ub);
      return true;
    case kKeywordAsterisk:
      out = WrapWholeNumber(ua * ub);
      return true;
    case kKeywordDivide:
    case kKeywordMod: {
      if (b == 0) {
        SetError(context, kErrDivideByZero);
        return false;
      }
      out = op == kKeywordDivide ? WholeNumberQuotient(a, b) : WholeNumberRemainder(a, b);
      return true;
    }
    case kKeywordPower: {
      if (b < 0) {
        SetError(context, kErrNegativePower);
        return false;
      }
      // Repeated multiplication, wrapping; squaring gives the same bits in far fewer steps.
      std::uint32_t result = 1, base = ua;
      for (std::uint32_t exponent = static_cast<std::uint32_t>(b); exponent != 0; exponent >>= 1) {
        if ((exponent & 1) != 0) result *= base;
        base *= base;
      }
      out = WrapWholeNumber(result);
      return true;
    }
    case kKeywordAmpersand:
      out = a & b;
      return true;
    case kKeywordBar:
      out = a | b;
      return true;
    case kKeywordCaret:
      out = a ^ b;
      return true;
    case kKeywordShiftLeft:
      out = WrapWholeNumber(ua << (ub & 31));
      return true;
    case kKeywordShiftRight:
      out = a >> (b & 31);
      return true;
    case kKeywordLogicalAnd:
      out = (a != 0 && b != 0) ? 1 : 0;
      return true;
    case kKeywordLogicalOr:
      out = (a != 0 || b != 0) ? 1 : 0;
      return true;
    default:
      SetError(context, kErrBinaryNotLegal);
      return false;
  }
}

// Floating-point arithmetic; `isInteger` is set for the logical operators, whose result is 0/1.
bool FloatOperation(BatchContext& context, std::uint32_t op, double a, double b, double& out,
                    bool& isInteger) {
  isInteger = false;
  switch (op) {
    case kKeywordPlus:
      out = a + b;
      break;
    case kKeywordMinus:
      out = a - b;
      break;
    case kKeywordAsterisk:
      out = a * b;
      break;
    case kKeywordDivide:
      if (b == 0.0) {
        SetError(context, kErrDivideByZero);
        return false;
      }
      out = a / b;
      break;
    case kKeywordMod: {
      if (b == 0.0) {
        SetError(context, kErrDivideByZero);
        return false;
      }
      double quotient = a / b;
      quotient = quotient < 0 ? std::ceil(quotient) : std::floor(quotient);
      out = a - quotient * b;
      break;
    }
    case kKeywordPower:
      out = std::pow(a, b);
      if (std::isnan(out))
        out = RaiseMathError(MathErrorKind::Domain);
      else if (std::isinf(out))
        out = RaiseMathError(a == 0.0 ? MathErrorKind::Singularity : MathErrorKind::Overflow);
      break;
    case kKeywordLogicalAnd:
      out = (a != 0.0 && b != 0.0) ? 1 : 0;
      isInteger = true;
      return true;
    case kKeywordLogicalOr:
      out = (a != 0.0 || b != 0.0) ? 1 : 0;
      isInteger = true;
      return true;
    default:
      SetError(context, kErrBinaryNotLegal);
      return false;
  }
  if (std::fabs(out) > kLargestResult) {
    SetError(context, kErrFloatTooLarge);
    return false;
  }
  if (std::fabs(out) < kSmallestResult) out = 0.0;
  return true;
}

// ----------------------------------------------------------------------------------------------
// Comparison.

enum class CompareMode { Integer, Float, Text, WideText, LongNumber };

bool IsFloatLike(BatchContext& context, const char* text) {
  std::uint32_t saved = context.errors.errNum;
  double ignored;
  bool ok = ParseFloat(context, text, &ignored);
  context.errors.errNum = saved;
  return ok;
}

// The ANSI text of a string operand (wide texts narrowed for the probes).
const char* OperandText(BatchContext& context, EvalValue& operand) {
  if ((operand.value.flags & kValueText) == 0) {
    std::uint32_t saved = context.errors.errNum;
    if (!ToText(context, operand.value)) {
      context.errors.errNum = saved;
      return "";
    }
  }
  return ValueText(context, operand.value);
}

int Sign(double x) {
  return x > 0 ? 1 : x < 0 ? -1 : 0;
}

int TruthOf(std::uint32_t op, int ordering, bool& known) {
  known = true;
  switch (op) {
    case kKeywordEqual:
      return ordering == 0;
    case kKeywordNotEqual:
    case kKeywordLessGreater:
      return ordering != 0;
    case kKeywordLess:
      return ordering < 0;
    case kKeywordLessEqual:
      return ordering <= 0;
    case kKeywordGreater:
      return ordering > 0;
    case kKeywordGreaterEqual:
      return ordering >= 0;
    default:
      known = false;
      return 0;
  }
}

}  // namespace

void ApplyBinaryOp(BatchContext& context, std::uint32_t op, EvalValue& left, EvalValue& right) {
  if (op == kKeywordColon) return ConcatValues(context, left, right);
  NumberClass leftClass = Classify(context, left);
  NumberClass rightClass = Classify(context, right);
  if (leftClass == NumberClass::Invalid || rightClass == NumberClass::Invalid) {
    if (!HasError(context)) SetError(context, kErrNotNumber);
    return;
  }
  ReleaseEvalTexts(context, left);
  if (leftClass == NumberClass::Integer && rightClass == NumberClass::Integer) {
    std::int32_t result;
    if (IntegerOperation(context, op, left.value.intValue, right.value.intValue, result))
      SetInteger(left, result);
    TakeMathError(context);
    return;
  }
  if (op == kKeywordAmpersand || op == kKeywordBar || op == kKeywordCaret ||
      op == kKeywordShiftLeft || op == kKeywordShiftRight) {
    SetError(context, kErrBinaryNotLegal);
    return;
  }
  ClearMathError();
  if (!ToFloat(context, left.value) || !ToFloat(context, right.value)) {
    SetError(context, kErrNotNumber);
    return;
  }
  double result;
  bool isInteger;
  if (FloatOperation(context, op, left.value.floatValue, right.value.floatValue, result,
                     isInteger)) {
    if (isInteger)
      SetInteger(left, static_cast<std::int32_t>(result));
    else
      SetFloat(left, result);
  }
  TakeMathError(context);
}

void ConcatValues(BatchContext& context, EvalValue& left, EvalValue& right) {
  bool wide =
      ((left.value.flags & kValueWideText) != 0 && (left.value.flags & kValueText) == 0) ||
      ((right.value.flags & kValueWideText) != 0 && (right.value.flags & kValueText) == 0) ||
      ((left.value.flags | right.value.flags) & kValueObject) != 0;
  std::uint32_t offset;
  if (wide) {
    if (!ToWideText(context, left.value) || !ToWideText(context, right.value)) {
      if (!HasError(context)) SetError(context, kErrNotString);
      return;
    }
    std::u16string joined = ValueWideText(context, left.value);
    joined += ValueWideText(context, right.value);
    offset = HeapCopyWide(context, joined.data(), joined.size());
  } else {
    if (!ToText(context, left.value) || !ToText(context, right.value)) {
      if (!HasError(context)) SetError(context, kErrNotString);
      return;
    }
    const char* a = ValueText(context, left.value);
    const char* b = ValueText(context, right.value);
    std::size_t lengthA = std::strlen(a), lengthB = std::strlen(b);
    offset = VMalloc(context, static_cast<std::uint32_t>(lengthA + lengthB + 1));
    if (offset != 0) {
      char* out = reinterpret_cast<char*>(context.heapBase + offset);
      std::memcpy(out, a, lengthA);
      std::memcpy(out + lengthA, b, lengthB);
      out[lengthA + lengthB] = '\0';
    }
  }
  if (offset == 0) {
    SetError(context, kErrOutOfStringMemory);
    return;
  }
  ReleaseEval(context, left);
  if (wide) {
    left.value.wideRef = offset;
    left.value.flags = kValueWideText;
  } else {
    left.value.textRef = offset;
    left.value.flags = kValueText;
  }
}

int CompareNumericStrings(BatchContext&, const char* a, const char* b) {
  struct Number {
    bool negative;
    const char* digits;
    std::size_t length;
  };
  auto parse = [](const char* text, Number& number) {
    while (*text == ' ' || *text == '\t')
      ++text;
    number.negative = false;
    if (*text == '-' || *text == '+') number.negative = *text++ == '-';
    while (*text == '0' && text[1] >= '0' && text[1] <= '9')
      ++text;
    number.digits = text;
    number.length = 0;
    while (text[number.length] >= '0' && text[number.length] <= '9')
      ++number.length;
    return text[number.length] != ' ';
  };
  Number x, y;
  if (!parse(a, x) || !parse(b, y)) {
    platform::MessageBoxText(nullptr, "Trailing spaces in numeric string", "KEL Internal Error");
    return 0;
  }
  bool xZero = x.length == 1 && x.digits[0] == '0', yZero = y.length == 1 && y.digits[0] == '0';
  if (xZero && yZero) return 0;
  bool xNegative = x.negative && !xZero, yNegative = y.negative && !yZero;
  if (xNegative != yNegative) return xNegative ? -1 : 1;
  int magnitude = x.length != y.length ? (x.length < y.length ? -1 : 1)
                                       : Sign(std::strncmp(x.digits, y.digits, x.length));
  return xNegative ? -magnitude : magnitude;
}

int CompareValues(BatchContext& context, std::uint32_t op, EvalValue& left, EvalValue& right,
                  bool release, bool ignoreCase) {
  auto classOf = [](const Value& v) {
    if ((v.flags & kValueInteger) != 0) return 0;
    if ((v.flags & kValueFloat) != 0) return 1;
    if ((v.flags & kValueText) != 0) return 2;
    if ((v.flags & kValueWideText) != 0) return 10;
    return 99;
  };
  int leftClass = classOf(left.value), rightClass = classOf(right.value);
  if (leftClass == 99 || rightClass == 99) {
    SetError(context, kErrNotNumber);
    return 0;
  }
  bool anyWide = leftClass == 10 || rightClass == 10;
  CompareMode mode = CompareMode::Text;
  bool leftString = leftClass >= 2, rightString = rightClass >= 2;
  if (!leftString && !rightString) {
    mode = leftClass == 0 && rightClass == 0 ? CompareMode::Integer : CompareMode::Float;
  } else {
    const char* leftText = leftString ? OperandText(context, left) : nullptr;
    const char* rightText = rightString ? OperandText(context, right) : nullptr;
    bool leftLong = leftString && std::strlen(leftText) > 9,
         rightLong = rightString && std::strlen(rightText) > 9;
    if (!leftString || !rightString) {
      // A number against a string.
      int numberClass = leftString ? rightClass : leftClass;
      const char* text = leftString ? leftText : rightText;
      bool textLong = leftString ? leftLong : rightLong;
      if (numberClass == 0 && IsStrictIntegerText(text))
        mode = textLong ? CompareMode::LongNumber : CompareMode::Integer;
      else if (IsFloatLike(context, text))
        mode = CompareMode::Float;
      else
        mode = CompareMode::Text;
    } else if (!IsStrictIntegerText(leftText)) {
      mode = IsFloatLike(context, leftText) && IsFloatLike(context, rightText) ? CompareMode::Float
                                                                               : CompareMode::Text;
    } else if (IsStrictIntegerText(rightText)) {
      mode = (leftLong || rightLong) ? CompareMode::LongNumber : CompareMode::Integer;
    } else {
      mode = IsFloatLike(context, rightText) ? CompareMode::Float : CompareMode::Text;
    }
  }
  if (mode == CompareMode::Text && anyWide) mode = CompareMode::WideText;

  int ordering = 0;
  switch (mode) {
    case CompareMode::Integer: {
      if (!ToInteger(context, left.value, false) || !ToInteger(context, right.value, false)) {
        SetError(context, kErrNotNumber);
        return 0;
      }
      std::int64_t difference =
          std::int64_t{left.value.intValue} - std::int64_t{right.value.intValue};
      ordering = difference > 0 ? 1 : difference < 0 ? -1 : 0;
      break;
    }
    case CompareMode::Float: {
      if (!ToFloat(context, left.value) || !ToFloat(context, right.value)) {
        SetError(context, kErrNotNumber);
        return 0;
      }
      if (op == kKeywordEqual || op == kKeywordNotEqual || op == kKeywordLessGreater) {
        // Floats are equal when they print the same under the current decimals setting.
        char a[kNumberTextBytes], b[kNumberTextBytes];
        if (!FormatFloat(context, left.value.floatValue, a) ||
            !FormatFloat(context, right.value.floatValue, b))
          return 0;
        ordering = platform::CompareLocaleText(a, b, false);
      } else {
        ordering = Sign(left.value.floatValue - right.value.floatValue);
      }
      break;
    }
    case CompareMode::Text:
      if (!ToText(context, left.value) || !ToText(context, right.value)) {
        if (!HasError(context)) SetError(context, kErrNotString);
        return 0;
      }
      ordering = platform::CompareLocaleText(ValueText(context, left.value),
                                             ValueText(context, right.value), ignoreCase);
      break;
    case CompareMode::WideText:
      if (!ToWideText(context, left.value) || !ToWideText(context, right.value)) {
        if (!HasError(context)) SetError(context, kErrNotUnicode);
        return 0;
      }
      ordering = platform::CompareLocaleWide(ValueWideText(context, left.value),
                                             ValueWideText(context, right.value), ignoreCase);
      break;
    case CompareMode::LongNumber:
      ordering =
          CompareNumericStrings(context, OperandText(context, left), OperandText(context, right));
      break;
  }
  if (HasError(context)) return 0;
  bool known;
  int truth = TruthOf(op, ordering, known);
  if (!known) {
    SetError(context, kErrBinaryNotLegal);
    return ordering;
  }
  if (release)
    ReleaseEval(context, left);
  else
    ResetEval(left);
  SetInteger(left, truth);
  TakeMathError(context);
  return ordering;
}

void ApplyUnaryOp(BatchContext& context, std::uint32_t op, EvalValue& value) {
  NumberClass numberClass = Classify(context, value);
  if (numberClass == NumberClass::Invalid) {
    if (!HasError(context)) SetError(context, kErrNotNumber);
    return;
  }
  if (numberClass == NumberClass::Integer) {
    std::int32_t n = value.value.intValue;
    std::int32_t result;
    switch (op) {
      case kKeywordNot:
        result = n == 0 ? 1 : 0;
        break;
      case kKeywordTilde:
        result = ~n;
        break;
      case kKeywordMinus:
        result = WrapWholeNumber(0u - static_cast<std::uint32_t>(n));
        break;
      case kKeywordPlus:
        result = n;
        break;
      default:
        SetError(context, kErrUnaryNotLegal);
        return;
    }
    ReleaseEval(context, value);
    SetInteger(value, result);
  } else {
    double x = value.value.floatValue;
    switch (op) {
      case kKeywordNot:
        ReleaseEval(context, value);
        SetInteger(value, x == 0.0 ? 1 : 0);
        break;
      case kKeywordMinus:
        ReleaseEval(context, value);
        SetFloat(value, -x);
        break;
      case kKeywordPlus:
        ReleaseEval(context, value);
        SetFloat(value, x);
        break;
      default:
        SetError(context, kErrUnaryNotLegal);
        return;
    }
  }
  TakeMathError(context);
}

bool ConditionValue(BatchContext& context, EvalValue& value, bool& truth) {
  Value& v = value.value;
  if ((v.flags & kValueInteger) == 0 && (v.flags & kValueFloat) == 0 &&
      (v.flags & (kValueText | kValueWideText)) != 0) {
    if (!ToInteger(context, v, false) && !ToFloat(context, v)) {
      SetError(context, kErrNotNumber);
      return false;
    }
  }
  if ((v.flags & kValueInteger) != 0) {
    truth = v.intValue != 0;
    return true;
  }
  if ((v.flags & kValueFloat) != 0) {
    double rounded = std::trunc(v.floatValue >= 0 ? v.floatValue + 0.5 : v.floatValue - 0.5);
    truth = rounded != 0.0;  // out of the integer range counts as true as well
    return true;
  }
  SetError(context, kErrNotNumber);
  return false;
}

}  // namespace kel
