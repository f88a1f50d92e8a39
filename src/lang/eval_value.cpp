// Ownership of evaluator Values: borrowed storage is forgotten, owned storage freed.
#include "lang/eval_value.h"

#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/array_record.h"
#include "lang/string_heap.h"

namespace kel {
namespace {

constexpr std::uint32_t kStorageBits = kValueText | kValueWideText | kValueArray;

// Drops the borrowed references without freeing them.
void ForgetBorrowed(EvalValue& value) {
  if ((value.borrowed & kValueText) != 0 && (value.value.flags & kValueArray) == 0)
    value.value.textRef = 0;
  if ((value.borrowed & kValueArray) != 0) value.value.textRef = 0;
  if ((value.borrowed & kValueWideText) != 0) value.value.wideRef = 0;
  value.value.flags &= ~(value.borrowed & kStorageBits);
  value.borrowed = 0;
}

void ClearLink(EvalValue& value) {
  value.originElement = 0;
  value.originSlot = kOriginNone;
  value.originFrame = kOriginNone;
}

}  // namespace

void ResetEval(EvalValue& value) {
  std::memset(&value.value, 0, sizeof value.value);
  ClearLink(value);
  value.borrowed = 0;
}

void BorrowVariable(BatchContext&, const Value& variable, std::uint16_t slot, std::uint16_t frame,
                    EvalValue& out) {
  std::memcpy(&out.value, &variable, sizeof(Value));
  out.originElement = 0;
  out.originSlot = slot;
  out.originFrame = frame;
  out.borrowed = variable.flags & kStorageBits;
}

void DiscardEval(BatchContext& context, EvalValue& value) {
  // A number holds nothing to give back.
  if ((value.value.flags & (kStorageBits | kValueObject)) != 0 || value.borrowed != 0) {
    ForgetBorrowed(value);
    // Objects are left to their variable when the value is a copy of one; nothing else is.
    ReleaseValue(context, value.value, 0, kHolderOther);
  }
}

void ReleaseEval(BatchContext& context, EvalValue& value) {
  DiscardEval(context, value);
  ResetEval(value);
}

void ReleaseEvalTexts(BatchContext& context, EvalValue& value) {
  Value& v = value.value;
  if ((v.flags & kValueText) != 0) {
    if ((value.borrowed & kValueText) == 0 && v.textRef != 0)
      VFree(context, static_cast<std::uint32_t>(v.textRef));
    v.textRef = 0;
    v.flags &= ~kValueText;
  }
  if ((v.flags & kValueWideText) != 0) {
    if ((value.borrowed & kValueWideText) == 0 && v.wideRef != 0) VFree(context, v.wideRef);
    v.wideRef = 0;
    v.flags &= ~kValueWideText;
  }
  value.borrowed &= ~(kValueText | kValueWideText);
  ClearLink(value);
}

bool OwnEval(BatchContext& context, EvalValue& value) {
  Value& v = value.value;
  if ((value.borrowed & kValueText) != 0 && (v.flags & kValueText) != 0 && v.textRef != 0) {
    const char* text = ValueText(context, v);
    std::uint32_t copy = HeapCopyText(context, text, std::strlen(text));
    if (copy == 0) {
      SetError(context, kErrOutOfStringMemory);
      return false;
    }
    v.textRef = copy;
  }
  if ((value.borrowed & kValueWideText) != 0 && (v.flags & kValueWideText) != 0 && v.wideRef != 0) {
    const char16_t* wide = ValueWideText(context, v);
    std::size_t length = 0;
    while (wide[length] != 0)
      ++length;
    std::uint32_t copy = HeapCopyWide(context, wide, length);
    if (copy == 0) {
      // The ANSI copy just made is owned now; keep it owned and report the failure.
      value.borrowed &= ~kValueText;
      SetError(context, kErrOutOfStringMemory);
      return false;
    }
    v.wideRef = copy;
  }
  if ((value.borrowed & kValueArray) != 0 && (v.flags & kValueArray) != 0)
    AddArrayHolder(reinterpret_cast<ArrayRecord*>(v.textRef));
  value.borrowed = 0;
  ClearLink(value);
  return true;
}

void MoveEval(EvalValue& destination, EvalValue& source) {
  destination = source;
  ResetEval(source);
}

void SetEvalInteger(BatchContext& context, EvalValue& value, std::int32_t number) {
  ReleaseEval(context, value);
  value.value.flags = kValueInteger;
  value.value.intValue = number;
}

void TidyResult(BatchContext& context, EvalValue& result) {
  Value& value = result.value;
  if ((value.flags & (kValueInteger | kValueFloat)) != 0 && (value.flags & kValueText) != 0) {
    if (value.textRef != 0) VFree(context, static_cast<std::uint32_t>(value.textRef));
    value.textRef = 0;
    value.flags &= ~kValueText;
  }
}

}  // namespace kel
