// The array functions that make, describe, fill and convert arrays: ArrDimension, ArrInfo,
// ArrInitialize, ArraySwapElements, ArrayFromStr, ArrayToStr and Arrayize.
#include <cstring>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/arrays/array_support.h"
#include "functions/strings/item_lists.h"
#include "functions/strings/text_units.h"
#include "lang/array_access.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"

namespace kel {
namespace {

void Dimension(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  std::int32_t sizes[kMaxDimensions] = {};
  for (int i = 0; i < count && i < kMaxDimensions; ++i)
    sizes[i] = arguments[i].value.intValue;
  NewResultArray(context, result, sizes, count);
}

void Info(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::int32_t request = arguments[1].value.intValue;
  const Value& value = arguments[0].value;
  if (request == -1) return SetEvalInteger(context, result, (value.flags & kValueArray) != 0);
  ArrayRecord* array = CheckedArray(context, value, false, kMaxDimensions);
  if (array == nullptr) return;
  std::int64_t answer;
  if (request == 0) {
    answer = array->dimensionCount;
  } else if (request >= 1 && request <= kMaxDimensions) {
    answer = array->sizes[request - 1];
  } else if (request == 6) {
    answer = array->elementCount;
  } else {
    return SetError(context, kErrInfoRequest);
  }
  SetEvalInteger(context, result, static_cast<std::int32_t>(answer));
}

void Initialize(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* array = CheckedArray(context, arguments[0].value, true, kMaxDimensions);
  if (array == nullptr) return;
  for (std::uint32_t i = 0; i < array->elementCount; ++i)
    if (!StoreByType(context, array->elements[i], arguments[1].value)) return;
  SetEvalInteger(context, result, 1);
}

// The linear index of five subscripts; subscripts past the dimension count must be 0.
bool LinearIndex(const ArrayRecord& array, const EvalValue* subscripts, std::uint32_t& index) {
  std::int64_t linear = 0;
  for (int k = 0; k < kMaxDimensions; ++k) {
    std::int64_t s = subscripts[k].value.intValue;
    if (k >= array.dimensionCount) {
      if (s != 0) return false;
      continue;
    }
    if (s < 0) return false;
    linear = linear * array.sizes[k] + s;
    if (linear >= std::int64_t{1} << 40) return false;
  }
  if (linear >= array.elementCount) return false;
  index = static_cast<std::uint32_t>(linear);
  return true;
}

void SwapElements(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* array = CheckedArray(context, arguments[0].value, true, kMaxDimensions);
  if (array == nullptr) return;
  std::uint32_t first, second;
  if (!LinearIndex(*array, arguments + 1, first) || !LinearIndex(*array, arguments + 6, second))
    return SetError(context, kErrSubscriptOutOfBounds);
  Value held = array->elements[first];
  array->elements[first] = array->elements[second];
  array->elements[second] = held;
  SetEvalInteger(context, result, 1);
}

template <typename Unit>
void FromString(BatchContext& context, EvalValue& result, const EvalValue& argument) {
  TextSpan<Unit> text = TextArgument<Unit>(context, argument);
  CharacterSteps steps(context);
  CharacterIndex<Unit> characters;
  if (!characters.Build(steps, text)) return SetError(context, kErrUnableToAllocate);
  std::int32_t size = static_cast<std::int32_t>(characters.Count());
  ArrayRecord* array = NewResultArray(context, result, &size, 1);
  if (array == nullptr) return;
  for (std::size_t i = 0; i < characters.Count(); ++i) {
    std::size_t start = characters.Offset(i), end = characters.Offset(i + 1);
    Value& element = array->elements[i];
    std::uint32_t offset;
    if constexpr (sizeof(Unit) == 1) {
      offset = HeapCopyText(context, text.data + start, end - start);
      element.flags = kValueText;
      element.textRef = offset;
    } else {
      offset = HeapCopyWide(context, text.data + start, end - start);
      element.flags = kValueWideText;
      element.wideRef = offset;
    }
    if (offset == 0) {
      element.flags = 0;
      return SetError(context, kErrOutOfStringMemory);
    }
  }
}

void ToString(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* array = CheckedArray(context, arguments[0].value, true, 1);
  if (array == nullptr) return;
  const Value& first = array->elements[0];
  bool ansi = (first.flags & kValueText) != 0 && (first.flags & kValueArray) == 0;
  std::string text;
  std::u16string wide;
  for (std::uint32_t i = 0; i < array->elementCount; ++i) {
    const Value& element = array->elements[i];
    if ((element.flags & kValueHolding) == 0) continue;
    if (ansi ? !AppendElementText(context, element, text)
             : !AppendElementWide(context, element, wide))
      return;
  }
  if (ansi) {
    SetTextResult(context, result, text);
  } else {
    SetWideResult(context, result, wide);
  }
}

template <typename Unit>
void Arrayize(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> list = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> delimiterText = TextArgument<Unit>(context, arguments[1]);
  CharacterSteps steps(context);
  Delimiter<Unit> delimiter;
  if (!ReadDelimiter(delimiterText, steps, true, Unit('\t'), delimiter))
    return SetError(context, kErrInvalidDelimiter);
  ItemScanner<Unit> items(list, delimiter, steps);
  std::size_t count = items.Count();
  std::int32_t size = static_cast<std::int32_t>(count);
  ArrayRecord* array = NewResultArray(context, result, &size, 1);
  if (array == nullptr) return;
  std::size_t start = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t end = items.NextDelimiter(start);
    Value& element = array->elements[i];
    std::size_t length = end - start;
    std::uint32_t offset = 0;
    if constexpr (sizeof(Unit) == 1) {
      element.flags = kValueText;
      if (length != 0) offset = element.textRef = HeapCopyText(context, list.data + start, length);
    } else {
      element.flags = kValueWideText;
      if (length != 0) offset = element.wideRef = HeapCopyWide(context, list.data + start, length);
    }
    if (length != 0 && offset == 0) {
      element.flags = 0;
      return SetError(context, kErrOutOfStringMemory);
    }
    start = end + items.Width();
  }
}

}  // namespace

KEL_FAMILY_ROUTINE(ArrayFunction) {
  switch (code) {
    case kKeywordArrDimension:
      return Dimension(context, count, result, arguments);
    case kKeywordArrInfo:
      return Info(context, result, arguments);
    case kKeywordArrInitialize:
      return Initialize(context, result, arguments);
    case kKeywordArraySwapElements:
      return SwapElements(context, result, arguments);
    case kKeywordArrayFromStr:
      return unicode ? FromString<char16_t>(context, result, arguments[0])
                     : FromString<char>(context, result, arguments[0]);
    case kKeywordArrayToStr:
      return ToString(context, result, arguments);
    case kKeywordArrayize:
      return unicode ? Arrayize<char16_t>(context, result, arguments)
                     : Arrayize<char>(context, result, arguments);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
