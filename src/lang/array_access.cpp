// Array elements by subscript: the subscript parser, element reads and element assignment.
#include "lang/array_access.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/batch_context.h"
#include "core/bounded_text.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "lang/tokenizer.h"
#include "lang/tokenizer_characters.h"
#include "lang/variables.h"
#include "lang/token_reading.h"

namespace kel {
namespace {

// More subscripts than this are read (and counted) but not kept: the count alone is wrong.
constexpr int kMaxSubscripts = kMaxDimensions;
// The subscript text of a %name[...]% substitution.
constexpr std::size_t kMaxSubstitutionSubscript = 40;

void Fail(BatchContext& context, std::uint32_t number, std::uint32_t hint = 0) {
  SetError(context, number);
  if (hint == 0) return;
  char text[256];
  LoadMessage(context, hint, text, sizeof text);
  AppendMoreErrorInfo(context, text);
}

// Dotted references belong to the automation support, which this build does not have; they are
// refused before anything of them is read.
bool IsPlainReference(BatchContext& context, const char* name) {
  if (std::strchr(name, '.') == nullptr) return true;
  SetError(context, kErrNotAvailable);
  return false;
}

// The array a reference's name stands for: an array variable, or a text that points to one
// (then `holder` keeps the array alive until it is released). Null with the error set.
ArrayRecord* ArrayOfName(BatchContext& context, const char* name, EvalValue& holder) {
  ResetEval(holder);
  if (!IsPlainReference(context, name)) return nullptr;
  char key[kNameBytes];
  FoldName(name, std::strlen(name), key);
  std::uint16_t slot = find_var(context, key, true);
  if (slot == kNoSlot) return nullptr;
  const Value& value = context.varSlots[slot].value;
  if ((value.flags & kValueArray) != 0) return ArrayOfValue(context, value);
  if ((value.flags & kValueText) != 0) {
    char pointer[kTokenTextBytes];
    CopyBounded(pointer, sizeof pointer, ValueText(context, value));
    if (!ReadViaPointer(context, pointer, holder)) return nullptr;
    return ArrayOfValue(context, holder.value);
  }
  SetError(context, (value.flags & kValueObject) != 0 ? kErrNotAvailable : kErrNotAnArray);
  return nullptr;
}

// "[" expression {"," expression} "]": the scan stands at "["; the closing "]" is left as the
// current token. `count` receives the number of subscripts, of which the first five are kept.
bool ReadSubscripts(BatchContext& context, std::int32_t* subscripts, int& count) {
  count = 0;
  if (!Next(context)) return false;
  if (!IsKeyword(context, kKeywordOpenBracket)) {
    SetError(context, kErrIllegalSubscriptSyntax);
    return false;
  }
  for (;;) {
    if (!Next(context)) return false;
    if (context.tokenizer.tokenKind == kTokenEnd || IsKeyword(context, kKeywordComma) ||
        IsKeyword(context, kKeywordCloseBracket)) {
      SetError(context, kErrIllegalSubscriptSyntax);
      return false;
    }
    EvalValue subscript;
    ResetEval(subscript);
    ProcessSubExpression(context, subscript, false);
    bool numeric = !HasError(context) && ToInteger(context, subscript.value, true);
    std::int32_t number = subscript.value.intValue;
    ReleaseEval(context, subscript);
    if (HasError(context)) return false;
    if (!numeric) {
      SetError(context, kErrSubscriptNotNumber);
      return false;
    }
    if (count < kMaxSubscripts) subscripts[count] = number;
    ++count;
    if (IsKeyword(context, kKeywordCloseBracket)) return true;
    if (!IsKeyword(context, kKeywordComma)) {
      SetError(context, kErrIllegalSubscriptSyntax);
      return false;
    }
  }
}

// Where the "]" that closes the bracket at `bracket` stands, stepping over nested brackets,
// parentheses and string literals; null when it is not on this line.
const char* ClosingBracket(const char* bracket) {
  int depth = 0;
  for (const char* p = bracket; !IsLineEnd(*p); ++p) {
    char c = *p;
    if (c == '"' || c == '\'' || c == '`') {
      const char* close = std::strchr(p + 1, c);
      if (close == nullptr) return nullptr;
      p = close;
    } else if (c == '[' || c == '(') {
      ++depth;
    } else if ((c == ']' || c == ')') && --depth == 0) {
      return c == ']' ? p : nullptr;
    }
  }
  return nullptr;
}

// True when the statement goes on with "=" (not "==") after the subscript at the scan position;
// nothing is read, so a statement that only reads an element is evaluated once, as it stands.
bool AssignmentFollows(BatchContext& context) {
  const char* scan = ScanPosition(context);
  if (scan == nullptr || *scan != '[') return false;
  const char* close = ClosingBracket(scan);
  if (close == nullptr) return false;
  const char* p = close + 1;
  while (IsBlank(*p))
    ++p;
  return p[0] == '=' && p[1] != '=';
}

// The element the subscripts name in the array `name` stands for; null with the error set.
Value* ElementOfName(BatchContext& context, const char* name, const std::int32_t* subscripts,
                     int count, EvalValue& holder) {
  ArrayRecord* array = ArrayOfName(context, name, holder);
  if (array == nullptr) return nullptr;
  std::uint32_t index;
  if (!ElementIndex(context, *array, subscripts, count, index)) return nullptr;
  return &array->elements[index];
}

// The element an array reference names: its subscripts are read first (the scan stands at the
// "["; the closing "]" is left current), and only then is the array found and the subscripts
// checked against its shape. A subscript may reshape the array (ArrayRedim), drop it or give
// its variable another value (a function or subroutine that changes it), so the array as it
// was before the subscripts ran may be gone by then. `holder` keeps an array reached through a
// pointer alive until it is released. Null with the error set.
Value* ElementOfReference(BatchContext& context, const char* name, std::int32_t* subscripts,
                          int& count, EvalValue& holder) {
  ResetEval(holder);
  count = 0;
  if (!IsPlainReference(context, name) || !ReadSubscripts(context, subscripts, count))
    return nullptr;
  return ElementOfName(context, name, subscripts, count, holder);
}

// One subscript of a substitution: a decimal integer or the name of a variable holding one.
bool SubstitutionSubscript(BatchContext& context, const char* text, std::size_t length,
                           std::int32_t& number) {
  while (length > 0 && IsBlank(*text)) {
    ++text;
    --length;
  }
  while (length > 0 && IsBlank(text[length - 1]))
    --length;
  if (length == 0 || length > kMaxSubstitutionSubscript) return false;
  char item[kMaxSubstitutionSubscript + 1];
  std::memcpy(item, text, length);
  item[length] = '\0';
  if (IsIntegerText(item)) {
    // A number beyond the integers names no element; it must not wrap around into one.
    long long wide = std::strtoll(item, nullptr, 10);
    if (wide < INT32_MIN || wide > INT32_MAX) return false;
    number = static_cast<std::int32_t>(wide);
    return true;
  }
  if (length > kMaxNameLength) return false;
  char key[kNameBytes];
  FoldName(item, length, key);
  std::uint16_t slot = find_var(context, key, false);
  if (slot == kNoSlot) return false;
  Value copy = context.varSlots[slot].value;
  if ((copy.flags & (kValueInteger | kValueFloat)) == 0) return false;
  copy.flags &= kValueInteger | kValueFloat;  // the conversion may add no text to a borrowed copy
  if (!ToInteger(context, copy, true)) return false;
  number = copy.intValue;
  return true;
}

}  // namespace

ArrayRecord* ArrayOfValue(BatchContext& context, const Value& value) {
  if ((value.flags & kValueArray) == 0) {
    SetError(context, kErrNotAnArray);
    return nullptr;
  }
  auto* array = reinterpret_cast<ArrayRecord*>(value.textRef);
  if (array == nullptr || (array->elementCount != 0 && array->elements == nullptr)) {
    SetError(context, kErrArrayData);
    return nullptr;
  }
  return array;
}

bool ElementIndex(BatchContext& context, const ArrayRecord& array, const std::int32_t* subscripts,
                  int count, std::uint32_t& index) {
  if (array.dimensionCount == 0) {
    SetError(context, kErrArrayEmpty);
    return false;
  }
  if (count != array.dimensionCount) {
    SetError(context, kErrWrongDimensionCount);
    return false;
  }
  std::uint32_t linear = 0;
  for (int k = 0; k < count; ++k) {
    if (subscripts[k] < 0 || static_cast<std::uint32_t>(subscripts[k]) >= array.sizes[k]) {
      SetError(context, kErrSubscriptOutOfBounds);
      return false;
    }
    linear = linear * array.sizes[k] + static_cast<std::uint32_t>(subscripts[k]);
  }
  index = linear;
  return true;
}

bool StoreElement(BatchContext& context, Value& element, const Value& source) {
  if ((source.flags & kValueArray) != 0) {
    SetError(context, kErrEmbeddedArray);
    return false;
  }
  Value copy;
  if (!CopyValue(context, source, copy, 0, kHolderOther | kCopyToOther | kCopyDuplicateTexts))
    return false;
  ReleaseValue(context, element, 0, kHolderOther);
  std::uint32_t keep = element.unused;
  std::memcpy(&element, &copy, sizeof(Value));
  element.unused = keep;
  return true;
}

void ReadArrayElement(BatchContext& context, const char* name, EvalValue& result) {
  EvalValue holder;
  std::int32_t subscripts[kMaxSubscripts] = {};
  int count = 0;
  if (const Value* element = ElementOfReference(context, name, subscripts, count, holder)) {
    if ((element->flags & kValueHolding) == 0) {
      SetError(context, kErrUninitializedElement);
    } else {
      ReleaseEval(context, result);
      CopyValue(context, *element, result.value, 0,
                kHolderOther | kCopyToEval | kCopyDuplicateTexts);
    }
  }
  ReleaseEval(context, holder);
}

Value* ElementAtReference(BatchContext& context) {
  char name[kTokenTextBytes];
  CopyBounded(name, sizeof name, context.tokenizer.tokenText);
  EvalValue holder;
  std::int32_t subscripts[kMaxSubscripts] = {};
  int count = 0;
  Value* element = ElementOfReference(context, name, subscripts, count, holder);
  ReleaseEval(context, holder);
  // The array stays held by its variable, so the element outlives the holder just released.
  return element;
}

bool AssignArrayElement(BatchContext& context, EvalValue& result, bool allowAssign) {
  if (!IsKeyword(context, kObjectReferenceCode) || !AssignmentFollows(context)) return false;
  if (!allowAssign) {
    Fail(context, kErrAssignmentNotLegal, kMsgHintUseDoubleEquals);
    return true;
  }
  char name[kTokenTextBytes];
  CopyBounded(name, sizeof name, context.tokenizer.tokenText);
  std::int32_t subscripts[kMaxSubscripts] = {};
  int count = 0;
  // The target is checked before the value is computed, so that a wrong subscript is reported
  // as such rather than after the right side's own effects.
  EvalValue holder;
  bool ok = ElementOfReference(context, name, subscripts, count, holder) != nullptr;
  ReleaseEval(context, holder);
  if (!ok) return true;
  if (!Next(context)) return true;
  if (!IsKeyword(context, kKeywordAssign)) {
    SetError(context, kErrIllegalSubscriptSyntax);
    return true;
  }
  if (!Next(context)) return true;
  EvalLogical(context, result);
  if (HasError(context)) return true;
  if (context.tokenizer.tokenKind != kTokenEnd) {
    Fail(context, kErrStatementContinues, kMsgHintExtraneousText);
    return true;
  }
  if ((result.value.flags & kValueArray) != 0) {
    SetError(context, kErrEmbeddedArray);
    return true;
  }
  // The right side may have reshaped the array (ArrayRedim replaces its record), so the element
  // is looked up afresh.
  Value* element = ElementOfName(context, name, subscripts, count, holder);
  if (element != nullptr) StoreElement(context, *element, result.value);
  ReleaseEval(context, holder);
  return true;
}

bool ArrayElementText(BatchContext& context, const Value& arrayValue, const char* subscripts,
                      char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0 || subscripts == nullptr || *subscripts != '[') return false;
  std::uint32_t standing = context.errors.errNum;
  auto done = [&](bool ok) {
    context.errors.errNum = standing;
    return ok;
  };
  const char* close = std::strchr(subscripts, ']');
  if (close == nullptr || static_cast<std::size_t>(close - subscripts) > kMaxSubstitutionSubscript)
    return false;
  std::int32_t numbers[kMaxSubscripts] = {};
  int count = 0;
  for (const char* item = subscripts + 1;;) {
    const char* end = item;
    while (end < close && *end != ',')
      ++end;
    if (count == kMaxSubscripts) return done(false);
    if (!SubstitutionSubscript(context, item, static_cast<std::size_t>(end - item),
                               numbers[count++]))
      return done(false);
    if (end == close) break;
    item = end + 1;
  }
  ArrayRecord* array = ArrayOfValue(context, arrayValue);
  std::uint32_t index;
  if (array == nullptr || !ElementIndex(context, *array, numbers, count, index)) return done(false);
  Value copy;
  if (!CopyValue(context, array->elements[index], copy, 0,
                 kHolderOther | kCopyToOther | kCopyDuplicateTexts))
    return done(false);
  bool ok = (copy.flags & (kValueText | kValueWideText | kValueInteger | kValueFloat)) != 0 &&
            ToText(context, copy);
  if (ok) std::snprintf(buffer, size, "%s", ValueText(context, copy));
  ReleaseValue(context, copy, 0, kHolderOther);
  return done(ok);
}

}  // namespace kel
