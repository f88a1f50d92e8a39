// ArraySort, ArraySearch and ArrayLocate: ordering and finding elements with the language's
// own comparison.
//
// OPTIMIZATION: the comparison of the evaluator converts its operands on every call. A sort
// instead classifies each key once: numbers are compared as numbers and texts that can never
// read as numbers with the locale comparison directly, which is exactly what the evaluator
// would do for such a pair. Any other pair goes through the evaluator's comparison itself.
#include <cstring>
#include <utility>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/arrays/array_support.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr std::int32_t kDescending = 16;
constexpr std::int32_t kSearchBinary = 1;
constexpr std::int32_t kSearchIgnoreCase = 2;

enum class KeyClass : std::uint8_t { Integer, Float, PlainText, Other, Empty };

struct Key {
  KeyClass kind;
  std::int32_t integer;
  double number;
};

Key KeyOf(BatchContext& context, const Value& value) {
  Key key{KeyClass::Other, 0, 0.0};
  if ((value.flags & kValueHolding) == 0) {
    key.kind = KeyClass::Empty;
  } else if ((value.flags & kValueInteger) != 0) {
    key.kind = KeyClass::Integer;
    key.integer = value.intValue;
    key.number = value.intValue;
  } else if ((value.flags & kValueFloat) != 0) {
    key.kind = KeyClass::Float;
    key.number = value.floatValue;
  } else if ((value.flags & kValueText) != 0 && (value.flags & (kValueArray | kValueObject)) == 0) {
    const char* text = ValueText(context, value);
    std::uint32_t standing = context.errors.errNum;
    double ignored;
    bool numeric = IsStrictIntegerText(text) || ParseFloat(context, text, &ignored);
    context.errors.errNum = standing;
    if (!numeric) key.kind = KeyClass::PlainText;
  }
  return key;
}

// The ordering of two values as the evaluator's operator `op` sees it; `failed` is set (with
// the error) when they cannot be compared.
int CompareThroughEvaluator(BatchContext& context, std::uint32_t op, const Value& left,
                            const Value& right, bool ignoreCase, bool& failed) {
  EvalValue a, b;
  ResetEval(a);
  ResetEval(b);
  BorrowVariable(context, left, kOriginNone, kOriginNone, a);
  BorrowVariable(context, right, kOriginNone, kOriginNone, b);
  int ordering = CompareValues(context, op, a, b, true, ignoreCase);
  ReleaseEval(context, a);
  ReleaseEval(context, b);
  if (HasError(context)) failed = true;
  return ordering;
}

int Compare(BatchContext& context, std::uint32_t op, const Key& x, const Value& left, const Key& y,
            const Value& right, bool ignoreCase, bool& failed) {
  if (x.kind == KeyClass::Integer && y.kind == KeyClass::Integer)
    return x.integer < y.integer ? -1 : x.integer > y.integer ? 1 : 0;
  // Floats are equal for "==" when they print alike, which only the evaluator knows.
  bool equality = op == kKeywordEqual;
  if (!equality && (x.kind == KeyClass::Integer || x.kind == KeyClass::Float) &&
      (y.kind == KeyClass::Integer || y.kind == KeyClass::Float))
    return x.number < y.number ? -1 : x.number > y.number ? 1 : 0;
  if (x.kind == KeyClass::PlainText && y.kind == KeyClass::PlainText) {
    // The texts are found afresh: a comparison through the evaluator may have grown the heap.
    int ordering = platform::CompareLocaleText(ValueText(context, left), ValueText(context, right),
                                               ignoreCase);
    return ordering < 0 ? -1 : ordering > 0 ? 1 : 0;
  }
  if (x.kind == KeyClass::Empty || y.kind == KeyClass::Empty) {
    SetError(context, kErrUninitializedElement);
    failed = true;
    return 0;
  }
  return CompareThroughEvaluator(context, op, left, right, ignoreCase, failed);
}

// Rows and the column that the sort and search functions work on.
struct Table {
  ArrayRecord* array;
  std::uint32_t rows;
  std::uint32_t columns;
  std::uint32_t column;
  Value& At(std::uint32_t row) const { return array->elements[row * columns + column]; }
};

// Reads the column, start and end arguments (`first` is the column's argument index).
bool ReadRange(BatchContext& context, const ArrayRecord& array, int count, EvalValue* arguments,
               int first, std::uint32_t columnError, std::uint32_t rangeError, Table& table,
               std::int64_t& start, std::int64_t& end) {
  table.rows = array.sizes[0];
  table.columns = array.dimensionCount == 2 ? array.sizes[1] : 1;
  std::int64_t column = count > first ? arguments[first].value.intValue : 0;
  if (column < 0) column = 0;
  if (column >= table.columns) {
    SetError(context, columnError);
    return false;
  }
  table.column = static_cast<std::uint32_t>(column);
  start = count > first + 1 ? arguments[first + 1].value.intValue : 0;
  end = count > first + 2 ? arguments[first + 2].value.intValue : -1;
  if (start < 0) start = 0;
  if (end < 0) end = std::int64_t{table.rows} - 1;
  if (start >= table.rows || end >= table.rows || end < start) {
    SetError(context, rangeError);
    return false;
  }
  return true;
}

class Sorter {
 public:
  Sorter(BatchContext& context, const Table& table, bool descending)
      : context_(context), table_(table), descending_(descending) {}

  bool Run(std::uint32_t start, std::uint32_t end) {
    keys_.resize(std::size_t{end} + 1);
    allIntegers_ = true;
    for (std::uint32_t row = start; row <= end; ++row) {
      keys_[row] = KeyOf(context_, table_.At(row));
      if (keys_[row].kind == KeyClass::Empty && end > start) {
        SetError(context_, kErrUninitializedElement);
        return false;
      }
      if (keys_[row].kind != KeyClass::Integer) allIntegers_ = false;
    }
    // The left part of each partition is sorted before the right one; which of the two is
    // taken first does not change the order, so the smaller one is taken by recursion (on an
    // explicit stack) to keep the depth small whatever the data.
    std::vector<std::pair<std::int64_t, std::int64_t>> pending{{start, end}};
    while (!pending.empty() && !failed_) {
      auto [lo, hi] = pending.back();
      pending.pop_back();
      while (lo < hi && !failed_) {
        std::int64_t left = Partition(lo, hi);
        if (left - lo < hi - left) {
          pending.emplace_back(left + 1, hi);
          hi = left - 1;
        } else {
          pending.emplace_back(lo, left - 1);
          lo = left + 1;
        }
      }
    }
    return !failed_;
  }

 private:
  // The middle row becomes the pivot at hi; rows that order before it gather on the left.
  std::int64_t Partition(std::int64_t lo, std::int64_t hi) {
    SwapRows(static_cast<std::uint32_t>((lo + hi) / 2), static_cast<std::uint32_t>(hi));
    auto pivot = static_cast<std::uint32_t>(hi);
    std::int64_t left = lo, right = hi;
    while (left < right) {
      while (left < right && Before(static_cast<std::uint32_t>(left), pivot, true))
        ++left;
      while (left < right && Before(static_cast<std::uint32_t>(right), pivot, false))
        --right;
      if (failed_) return left;
      if (left < right)
        SwapRows(static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(right));
    }
    SwapRows(static_cast<std::uint32_t>(left), pivot);
    return left;
  }

  // Ascending, the left index moves on while its key is <= the pivot's and the right index
  // while its key is >= it; descending exchanges the two.
  bool Before(std::uint32_t row, std::uint32_t pivot, bool leftSide) {
    bool lessEqual = leftSide != descending_;
    // Whole numbers, the usual keys, compare as Compare compares them, without asking it.
    if (allIntegers_) {
      std::int32_t a = keys_[row].integer, b = keys_[pivot].integer;
      return lessEqual ? a <= b : a >= b;
    }
    if (failed_) return false;
    std::uint32_t op = lessEqual ? kKeywordLessEqual : kKeywordGreaterEqual;
    int ordering = Compare(context_, op, keys_[row], table_.At(row), keys_[pivot], table_.At(pivot),
                           false, failed_);
    return lessEqual ? ordering <= 0 : ordering >= 0;
  }

  void SwapRows(std::uint32_t a, std::uint32_t b) {
    if (a == b) return;
    std::swap(keys_[a], keys_[b]);
    Value* elements = table_.array->elements;
    for (std::uint32_t c = 0; c < table_.columns; ++c)
      std::swap(elements[a * table_.columns + c], elements[b * table_.columns + c]);
  }

  BatchContext& context_;
  const Table& table_;
  bool descending_;
  bool failed_ = false;
  bool allIntegers_ = false;  // every key sorted is a whole number
  std::vector<Key> keys_;
};

void Sort(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* array = CheckedArray(context, arguments[0].value, true, 2);
  if (array == nullptr) return;
  std::int32_t options = 0;
  if (count > 1) {
    const char* text = ValueText(context, arguments[1].value);
    if (*text != '\0' && !IsIntegerText(text)) return SetError(context, kErrSortOption);
    options = ParseInteger(text);
  }
  if (options != 0 && options != kDescending) return SetError(context, kErrSortOption);
  Table table{array, 0, 0, 0};
  std::int64_t start, end;
  if (!ReadRange(context, *array, count, arguments, 2, kErrSortColumn, kErrSortRange, table, start,
                 end))
    return;
  Sorter sorter(context, table, options == kDescending);
  if (sorter.Run(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end)))
    SetEvalInteger(context, result, 1);
}

void Search(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  std::uint32_t standing = context.errors.errNum;
  ArrayRecord* array = CheckedArray(context, arguments[0].value, true, 2);
  if (array == nullptr) return;
  const Value& value = arguments[1].value;
  if ((value.flags & kValueArray) != 0) return SetError(context, kErrArrayMustHaveDimensions);
  std::int32_t options = count > 2 ? arguments[2].value.intValue : 0;
  if ((options & ~(kSearchBinary | kSearchIgnoreCase)) != 0)
    return SetError(context, kErrSearchOption);
  Table table{array, 0, 0, 0};
  std::int64_t start, end;
  if (!ReadRange(context, *array, count, arguments, 3, kErrSearchColumn, kErrSearchRange, table,
                 start, end))
    return;
  bool ignoreCase = (options & kSearchIgnoreCase) != 0;
  Key wanted = KeyOf(context, value);
  bool failed = false;
  std::int64_t found = -1;
  if ((options & kSearchBinary) == 0) {
    for (std::int64_t row = start; row <= end && !failed; ++row) {
      const Value& element = table.At(static_cast<std::uint32_t>(row));
      if ((element.flags & kValueHolding) == 0) continue;
      if (Compare(context, kKeywordEqual, wanted, value, KeyOf(context, element), element,
                  ignoreCase, failed) == 0 &&
          !failed) {
        found = row;
        break;
      }
    }
  } else {
    std::int64_t lo = start, hi = end;
    while (lo <= hi && !failed) {
      std::int64_t mid = (lo + hi) / 2;
      const Value& element = table.At(static_cast<std::uint32_t>(mid));
      int ordering = Compare(context, kKeywordGreater, wanted, value, KeyOf(context, element),
                             element, ignoreCase, failed);
      if (failed) break;
      if (ordering > 0) {
        lo = mid + 1;
      } else if (ordering < 0) {
        hi = mid - 1;
      } else {
        found = mid;
        break;
      }
    }
  }
  if (failed) return;
  if (!HasError(context)) context.errors.errNum = standing;
  SetEvalInteger(context, result, static_cast<std::int32_t>(found));
}

void Locate(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* array = CheckedArray(context, arguments[0].value, true, kMaxDimensions);
  if (array == nullptr) return;
  int given = count - 2;
  if (given > array->dimensionCount) return SetError(context, kErrBadDimensionCount);
  const Value& value = arguments[1].value;
  if ((value.flags & kValueArray) != 0) return SetError(context, kErrArrayMustHaveDimensions);
  int dimensions = array->dimensionCount;
  std::int64_t start[kMaxDimensions] = {};
  for (int k = 0; k < given; ++k)
    start[k] = arguments[k + 2].value.intValue;
  // The start position: inside the array, or exactly one past its last element.
  bool pastEnd = start[dimensions - 1] == array->sizes[dimensions - 1];
  for (int k = 0; k < dimensions - 1; ++k)
    pastEnd = pastEnd && start[k] == std::int64_t{array->sizes[k]} - 1;
  std::uint64_t first = 0;
  for (int k = 0; k < dimensions && !pastEnd; ++k) {
    if (start[k] < 0 || start[k] >= array->sizes[k])
      return SetError(context, kErrSubscriptOutOfBounds);
    first = first * array->sizes[k] + static_cast<std::uint64_t>(start[k]);
  }
  std::int64_t found = -1;
  if (!pastEnd) {
    Key wanted = KeyOf(context, value);
    bool failed = false;
    for (std::uint64_t i = first; i < array->elementCount; ++i) {
      const Value& element = array->elements[i];
      if ((element.flags & kValueHolding) == 0) continue;
      if (Compare(context, kKeywordEqual, wanted, value, KeyOf(context, element), element, false,
                  failed) == 0 &&
          !failed) {
        found = static_cast<std::int64_t>(i);
        break;
      }
      if (failed) return;
    }
  }
  std::int32_t size = dimensions;
  ArrayRecord* answer = NewResultArray(context, result, &size, 1);
  if (answer == nullptr) return;
  std::uint64_t rest = found < 0 ? 0 : static_cast<std::uint64_t>(found);
  for (int k = dimensions - 1; k >= 0; --k) {
    Value& element = answer->elements[k];
    element.flags = kValueInteger;
    element.intValue = found < 0 ? -1 : static_cast<std::int32_t>(rest % array->sizes[k]);
    rest /= array->sizes[k];
  }
}

}  // namespace

KEL_FAMILY_ROUTINE(ArraySortFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordArraySort:
      return Sort(context, count, result, arguments);
    case kKeywordArraySearch:
      return Search(context, count, result, arguments);
    case kKeywordArrayLocate:
      return Locate(context, count, result, arguments);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
