// Max, Min and Average. Each reads "(" expression { "," expression } ")" itself, so that it
// takes any number of arguments; the list stays integer until an argument is not one.
#include "functions/math/math_aggregates.h"

#include <cmath>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/tokenizer.h"
#include "lang/argument_lists.h"

namespace kel {
namespace {

// The sum is kept a second time scaled down, so that the average of numbers near the top of
// the float range is still found when their sum overflows.
constexpr double kSumScale = 0x1p-16;

struct NumberList {
  bool integers = true;  // every argument so far was an integer
  int count = 0;
  double best = 0.0;             // Max and Min: the winner so far
  std::int32_t bestInteger = 0;  // the same as an integer, while the list is integers
  double sum = 0.0;              // Average
  double scaledSum = 0.0;        // Average: the sum times kSumScale
  std::int64_t integerSum = 0;   // Average, while the list is integers: the exact sum
};

// Takes one argument into the list; false with the error set when it is not a number.
bool Take(BatchContext& context, std::uint32_t code, Value& value, NumberList& list) {
  std::int32_t integer = 0;
  if (list.integers) {
    // Without rounding: a float, or a text such as 2.5, makes the whole list a float list.
    if (ToInteger(context, value, false))
      integer = value.intValue;
    else if (HasError(context))
      return false;
    else
      list.integers = false;
  }
  if (!ToFloat(context, value)) {
    SetError(context, kErrNotNumber);
    return false;
  }
  double x = value.floatValue;
  bool first = list.count == 0;
  ++list.count;
  switch (code) {
    case kKeywordMax:
    case kKeywordMin:
      // The first argument starts the comparison, so that any float can win; a tie keeps the
      // earlier value.
      if (first || (code == kKeywordMax ? x > list.best : x < list.best)) {
        list.best = x;
        list.bestInteger = integer;
      }
      break;
    default:
      list.sum += x;
      list.scaledSum += x * kSumScale;
      list.integerSum += integer;
      break;
  }
  return true;
}

// The integer quotient rounded half away from zero, as the rounding conversion of a float
// rounds; exact for any sum of 32-bit integers, and within their range.
std::int32_t RoundedQuotient(std::int64_t sum, int count) {
  std::int64_t quotient = sum / count;
  std::int64_t remainder = sum % count;
  if (2 * (remainder < 0 ? -remainder : remainder) >= count) quotient += sum < 0 ? -1 : 1;
  return static_cast<std::int32_t>(quotient);
}

}  // namespace

void ReadNumberList(BatchContext& context, std::uint32_t code, EvalValue& result) {
  NumberList list;
  for (;;) {
    EvalValue argument{};
    ResetEval(argument);
    ListAfter after = ReadListArgument(context, argument);
    bool taken = false;
    if (after == ListAfter::kOther)
      SetError(context, kErrListSyntax);
    else if (after != ListAfter::kFailed)
      taken = Take(context, code, argument.value, list);
    ReleaseEval(context, argument);
    if (!taken) return;
    if (after == ListAfter::kClose) break;
  }

  if (list.integers) {
    std::int32_t answer =
        code == kKeywordAverage ? RoundedQuotient(list.integerSum, list.count) : list.bestInteger;
    return SetEvalInteger(context, result, answer);
  }
  double answer = list.best;
  if (code == kKeywordAverage) {
    answer = list.sum / list.count;
    if (std::isinf(answer)) answer = list.scaledSum / list.count / kSumScale;
  }
  result.value.flags = kValueFloat;
  result.value.floatValue = answer;
}

}  // namespace kel
