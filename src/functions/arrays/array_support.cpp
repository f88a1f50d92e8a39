// Shared checks and conversions of the array functions.
#include "functions/arrays/array_support.h"

#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/array_access.h"
#include "lang/eval_value.h"
#include "lang/string_heap.h"

namespace kel {

ArrayRecord* CheckedArray(BatchContext& context, const Value& value, bool needElements,
                          int maxDimensions) {
  ArrayRecord* array = ArrayOfValue(context, value);
  if (array == nullptr) return nullptr;
  if (needElements && array->dimensionCount == 0) {
    SetError(context, kErrArrayEmpty);
    return nullptr;
  }
  if (array->dimensionCount > maxDimensions) {
    SetError(context, kErrBadDimensionCount);
    return nullptr;
  }
  return array;
}

ArrayRecord* NewResultArray(BatchContext& context, EvalValue& result, const std::int32_t* sizes,
                            int count, std::uint8_t flag) {
  std::int32_t d[kMaxDimensions] = {};
  for (int i = 0; i < count && i < kMaxDimensions; ++i)
    d[i] = sizes[i];
  Value made{};
  if (CreateMyArray(context, made, d[0], d[1], d[2], d[3], d[4], flag, count) < 0) return nullptr;
  ReleaseEval(context, result);
  result.value.flags = kValueArray;
  result.value.textRef = made.textRef;
  return reinterpret_cast<ArrayRecord*>(made.textRef);
}

bool StoreByType(BatchContext& context, Value& element, const Value& value) {
  Value stored{};
  if ((value.flags & kValueInteger) != 0) {
    stored.flags = kValueInteger;
    stored.intValue = value.intValue;
  } else if ((value.flags & kValueFloat) != 0) {
    stored.flags = kValueFloat;
    stored.floatValue = value.floatValue;
  } else if ((value.flags & (kValueArray | kValueObject)) == 0 && (value.flags & kValueText) != 0) {
    const char* text = ValueText(context, value);
    stored.flags = kValueText;
    if (*text != '\0' && (stored.textRef = HeapCopyText(context, text, std::strlen(text))) == 0) {
      SetError(context, kErrOutOfStringMemory);
      return false;
    }
  } else if ((value.flags & (kValueArray | kValueObject)) == 0 &&
             (value.flags & kValueWideText) != 0) {
    const char16_t* wide = ValueWideText(context, value);
    std::size_t length = std::char_traits<char16_t>::length(wide);
    stored.flags = kValueWideText;
    if (length != 0 && (stored.wideRef = HeapCopyWide(context, wide, length)) == 0) {
      SetError(context, kErrOutOfStringMemory);
      return false;
    }
  } else {
    SetError(context, kErrInitializeType);
    return false;
  }
  ReleaseValue(context, element, 0, kHolderOther);
  std::uint32_t keep = element.unused;
  element = stored;
  element.unused = keep;
  return true;
}

namespace {

// A copy of an element that owns its texts, for conversions that add representations.
struct ElementCopy {
  BatchContext& context;
  Value value{};
  bool ok;
  ElementCopy(BatchContext& c, const Value& element) : context(c) {
    ok = CopyValue(context, element, value, 0, kHolderOther | kCopyToOther | kCopyDuplicateTexts);
  }
  ~ElementCopy() {
    if (ok) ReleaseValue(context, value, 0, kHolderOther);
  }
  ElementCopy(const ElementCopy&) = delete;
  ElementCopy& operator=(const ElementCopy&) = delete;
};

constexpr std::uint32_t kTextForms = kValueText | kValueWideText | kValueInteger | kValueFloat;

}  // namespace

bool AppendElementText(BatchContext& context, const Value& element, std::string& out) {
  if ((element.flags & kValueText) != 0 && (element.flags & kValueArray) == 0) {
    out += ValueText(context, element);
    return true;
  }
  ElementCopy copy(context, element);
  if (!copy.ok) return false;
  if ((copy.value.flags & kTextForms) == 0 || !ToText(context, copy.value)) {
    if (!HasError(context)) SetError(context, kErrNotString);
    return false;
  }
  out += ValueText(context, copy.value);
  return true;
}

bool AppendElementWide(BatchContext& context, const Value& element, std::u16string& out) {
  if ((element.flags & kValueWideText) != 0 && (element.flags & kValueArray) == 0) {
    out += ValueWideText(context, element);
    return true;
  }
  ElementCopy copy(context, element);
  if (!copy.ok) return false;
  if ((copy.value.flags & kTextForms) == 0 || !ToWideText(context, copy.value)) {
    if (!HasError(context)) SetError(context, kErrNotString);
    return false;
  }
  out += ValueWideText(context, copy.value);
  return true;
}

bool SetTextResult(BatchContext& context, EvalValue& result, const std::string& text) {
  std::uint32_t offset = 0;
  if (!text.empty() && (offset = HeapCopyText(context, text.data(), text.size())) == 0) {
    SetError(context, kErrOutOfStringMemory);
    return false;
  }
  ReleaseEval(context, result);
  result.value.flags = kValueText;
  result.value.textRef = offset;
  return true;
}

bool SetWideResult(BatchContext& context, EvalValue& result, const std::u16string& text) {
  std::uint32_t offset = 0;
  if (!text.empty() && (offset = HeapCopyWide(context, text.data(), text.size())) == 0) {
    SetError(context, kErrOutOfStringMemory);
    return false;
  }
  ReleaseEval(context, result);
  result.value.flags = kValueWideText;
  result.value.wideRef = offset;
  return true;
}

}  // namespace kel
