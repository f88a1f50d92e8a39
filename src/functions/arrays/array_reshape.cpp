// The functions that give an array a new shape: ArrayRedim, ArrayInsert and ArrayRemove. Each
// builds a new record, moves the elements that stay, and puts the new record in the place of
// the old one wherever the old one was held.
#include <cstring>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/arrays/array_support.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"

namespace kel {
namespace {

// The new record replaces the old one; the elements have been moved or released already.
void Replace(BatchContext& context, ArrayRecord* old, ArrayRecord* made, EvalValue& result,
             EvalValue* arguments, int count) {
  ReplaceArrayRecord(context, old, made, arguments, count);
  SetEvalInteger(context, result, 1);
}

// A new record without a result Value around it; null with the error set.
ArrayRecord* NewRecord(BatchContext& context, const std::int32_t* sizes, std::uint8_t flag) {
  Value made{};
  if (CreateMyArray(context, made, sizes[0], sizes[1], sizes[2], sizes[3], sizes[4], flag,
                    kMaxDimensions) < 0)
    return nullptr;
  return reinterpret_cast<ArrayRecord*>(made.textRef);
}

void Redim(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* old = CheckedArray(context, arguments[0].value, false, kMaxDimensions);
  if (old == nullptr) return;
  std::int32_t sizes[kMaxDimensions] = {};
  for (int k = 0; k < kMaxDimensions && k + 1 < count; ++k) {
    std::int32_t size = arguments[k + 1].value.intValue;
    sizes[k] = size == -1 ? static_cast<std::int32_t>(old->sizes[k]) : size;
  }
  ArrayRecord* made = NewRecord(context, sizes, old->creatorFlag);
  if (made == nullptr) return;
  // Walk the old elements with their subscripts; each one whose subscripts exist in the new
  // shape moves there, the others are freed.
  std::uint32_t subscripts[kMaxDimensions] = {};
  for (std::uint32_t i = 0; i < old->elementCount; ++i) {
    bool fits = made->dimensionCount != 0;
    std::uint64_t target = 0;
    for (int k = 0; k < kMaxDimensions && fits; ++k) {
      if (k >= made->dimensionCount) {
        fits = subscripts[k] == 0;
      } else if (subscripts[k] >= made->sizes[k]) {
        fits = false;
      } else {
        target = target * made->sizes[k] + subscripts[k];
      }
    }
    if (fits) {
      std::memcpy(&made->elements[target], &old->elements[i], sizeof(Value));
    } else {
      ReleaseValue(context, old->elements[i], 0, kHolderOther);
    }
    for (int k = old->dimensionCount - 1; k >= 0; --k) {
      if (++subscripts[k] < old->sizes[k]) break;
      subscripts[k] = 0;
    }
  }
  Replace(context, old, made, result, arguments, count);
}

// Inserts (`delta` 1) or removes (`delta` -1) row or column `position` of a one- or
// two-dimensional array.
void InsertOrRemove(BatchContext& context, int count, EvalValue& result, EvalValue* arguments,
                    int delta) {
  ArrayRecord* old = CheckedArray(context, arguments[0].value, true, 2);
  if (old == nullptr) return;
  std::int32_t position = arguments[1].value.intValue;
  bool dimensionGiven = count >= 3;
  std::int32_t dimension = dimensionGiven ? arguments[2].value.intValue : 1;
  if (old->dimensionCount == 2 ? !dimensionGiven || (dimension != 1 && dimension != 2)
                               : dimension != 1)
    return SetError(context, kErrRowColumnParameter);
  const Value* fill = delta > 0 && count >= 4 ? &arguments[3].value : nullptr;
  if (fill != nullptr) {
    std::uint32_t flags = fill->flags;
    if ((flags & (kValueArray | kValueObject)) != 0 ||
        (flags & (kValueInteger | kValueFloat | kValueText | kValueWideText)) == 0)
      return SetError(context, kErrInitializeType);
  }
  std::uint32_t rows = old->sizes[0];
  std::uint32_t columns = old->dimensionCount == 2 ? old->sizes[1] : 1;
  std::uint32_t along = dimension == 1 ? rows : columns;
  std::int64_t limit = delta > 0 ? std::int64_t{along} : std::int64_t{along} - 1;
  if (position < 0 || position > limit) return SetError(context, kErrSubscriptOutOfBounds);

  std::uint32_t newRows = dimension == 1 ? rows + delta : rows;
  std::uint32_t newColumns = dimension == 2 ? columns + delta : columns;
  std::int32_t sizes[kMaxDimensions] = {};
  // The last row or column removed leaves an empty array, not one of another shape.
  if (newRows != 0 && newColumns != 0) {
    sizes[0] = static_cast<std::int32_t>(newRows);
    if (old->dimensionCount == 2) sizes[1] = static_cast<std::int32_t>(newColumns);
  }
  ArrayRecord* made = NewRecord(context, sizes, old->creatorFlag);
  if (made == nullptr) return;
  auto p = static_cast<std::uint32_t>(position);
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::uint32_t c = 0; c < columns; ++c) {
      Value& element = old->elements[r * columns + c];
      std::uint32_t moved = dimension == 1 ? r : c;
      bool removed = delta < 0 && moved == p;
      if (moved >= p) moved = delta > 0 ? moved + 1 : moved - (removed ? 0 : 1);
      if (removed || made->elementCount == 0) {
        ReleaseValue(context, element, 0, kHolderOther);
        continue;
      }
      std::uint32_t nr = dimension == 1 ? moved : r, nc = dimension == 2 ? moved : c;
      std::memcpy(&made->elements[nr * newColumns + nc], &element, sizeof(Value));
    }
  }
  if (fill != nullptr) {
    std::uint32_t span = dimension == 1 ? newColumns : newRows;
    for (std::uint32_t i = 0; i < span; ++i) {
      std::uint32_t nr = dimension == 1 ? p : i, nc = dimension == 1 ? i : p;
      if (!StoreByType(context, made->elements[nr * newColumns + nc], *fill)) {
        // Too little string memory for the value: the reshaping stands, without the value.
        break;
      }
    }
  }
  Replace(context, old, made, result, arguments, count);
}

}  // namespace

KEL_FAMILY_ROUTINE(ArrayShapeFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordArrayRedim:
      return Redim(context, count, result, arguments);
    case kKeywordArrayInsert:
      return InsertOrRemove(context, count, result, arguments, 1);
    case kKeywordArrayRemove:
      return InsertOrRemove(context, count, result, arguments, -1);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
