// Argument conversion by declared type, and the tidying of function results.
#include "builtins/arguments.h"

#include <cstdio>

#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "lang/eval_value.h"
#include "lang/string_heap.h"

namespace kel {
namespace {

bool IsWideOnly(const Value& value) {
  return (value.flags & kValueWideText) != 0 && (value.flags & kValueText) == 0;
}

bool Fail(BatchContext& context, std::uint32_t number) {
  SetError(context, number);
  return false;
}

bool ToText(BatchContext& context, EvalValue& argument, bool wide) {
  // A conversion that ran out of memory keeps its own error.
  if (wide)
    return ToWideText(context, argument.value) ||
           (HasError(context) ? false : Fail(context, kErrNotUnicode));
  return kel::ToText(context, argument.value) ||
         (HasError(context) ? false : Fail(context, kErrNotString));
}

bool ToArgumentInteger(BatchContext& context, EvalValue& argument, int index) {
  Value& value = argument.value;
  if (ToInteger(context, value, true)) return true;
  if (!HasError(context) && (value.flags & kValueFloat) == 0 && ToFloat(context, value) &&
      ToInteger(context, value, true))
    return true;
  if (HasError(context)) return false;
  // The argument's number helps find which of several arguments was wrong.
  char format[128], hint[160];
  LoadMessage(context, kMsgHintArgumentNotConverted, format, sizeof format);
  std::snprintf(hint, sizeof hint, format, index + 1);
  AppendMoreErrorInfo(context, hint);
  return Fail(context, kErrNotNumber);
}

}  // namespace

bool IsUnicodeModeCall(const BatchContext&, const EvalValue* arguments, int count,
                       std::uint64_t types) {
  for (int i = 0; i < count; ++i) {
    // Most arguments hold no UTF-16 text at all.
    if ((arguments[i].value.flags & kValueWideText) == 0 || !IsWideOnly(arguments[i].value))
      continue;
    std::uint32_t type = ArgumentTypeAt(types, i);
    if (type == kArgumentModeText || (type == kArgumentModeSystemText && Process().system.ntFamily))
      return true;
  }
  return false;
}

bool ConvertArgumentValue(BatchContext& context, EvalValue& argument, std::uint32_t type, int index,
                          bool unicodeMode) {
  bool nt = Process().system.ntFamily;
  switch (type) {
    case kArgumentInteger:
      return ToArgumentInteger(context, argument, index);
    case kArgumentText:
      return ToText(context, argument, false);
    case kArgumentFloat:
      if (ToFloat(context, argument.value)) return true;
      return HasError(context) ? false : Fail(context, kErrNotFloat);
    case kArgumentArray:
      return (argument.value.flags & kValueArray) != 0 || Fail(context, kErrVariableNotArray);
    case kArgumentVariant:
      // Variants belong to the automation support, which this build does not have.
      return Fail(context, kErrNotVariant);
    case kArgumentWide:
      return ToText(context, argument, true);
    case kArgumentModeText:
      return ToText(context, argument, unicodeMode);
    case kArgumentSystemText:
      return ToText(context, argument, nt);
    case kArgumentModeSystemText:
      return ToText(context, argument, unicodeMode && nt);
    case kArgumentAny:
    default:
      return true;
  }
}

bool SetAnsiResult(BatchContext& context, EvalValue& result, const char* text, std::size_t length) {
  std::uint32_t offset = 0;
  if (length != 0 && (offset = HeapCopyText(context, text, length)) == 0)
    return Fail(context, kErrOutOfStringMemory);
  ReleaseEval(context, result);
  result.value.flags = kValueText;
  result.value.textRef = offset;
  return true;
}

}  // namespace kel
