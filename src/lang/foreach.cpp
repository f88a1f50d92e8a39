// Enumerations for ForEach: arrays, element by element in row-major order.
#include "lang/foreach.h"

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/array_record.h"
#include "lang/string_heap.h"

namespace kel {

bool StartEnumeration(BatchContext& context, const EvalValue& collection, Enumeration& out) {
  const Value& value = collection.value;
  if ((value.flags & kValueArray) == 0 || value.textRef == 0) {
    // Looping over nothing would look like a loop that ran and found no elements.
    SetError(context, kErrVariableNotArray);
    return false;
  }
  auto* array = reinterpret_cast<ArrayRecord*>(value.textRef);
  AddArrayHolder(array);
  out.array = array;
  out.next = 0;
  out.collectionText = 0;
  out.active = 1;
  return true;
}

bool NextElement(BatchContext& context, Enumeration& enumeration, std::uint16_t slot) {
  if (enumeration.active == 0 || enumeration.array == nullptr) return false;
  // The count is read afresh each time: the body may have resized the array.
  if (enumeration.next >= enumeration.array->elementCount) return false;
  const Value& element = enumeration.array->elements[enumeration.next++];
  Value& target = context.varSlots[slot].value;
  ReleaseValue(context, target, slot, kHolderSlot);
  if ((element.flags & kValueHolding) == 0) {
    // An element never assigned leaves the variable known but without a value (a slot whose
    // flags are all clear would count as free).
    target.intValue = -1;
    target.textRef = 0;
    target.wideRef = 0;
    target.flags = kValueNoValue;
    return true;
  }
  if (!CopyValue(context, element, target, 0, kHolderOther | kCopyToSlot | kCopyDuplicateTexts)) {
    target.flags = kValueNoValue;
    return false;
  }
  return true;
}

void ReleaseEnumeration(BatchContext& context, Enumeration& enumeration) {
  if (enumeration.active == 0) return;
  if (enumeration.array != nullptr) ReleaseArrayHolder(context, enumeration.array);
  if (enumeration.collectionText != 0) VFree(context, enumeration.collectionText);
  enumeration.array = nullptr;
  enumeration.collectionText = 0;
  enumeration.next = 0;
  enumeration.active = 0;
}

}  // namespace kel
