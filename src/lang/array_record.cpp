// Holder counting and release of array records.
#include "lang/array_record.h"

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "platform/platform.h"

namespace kel {

void AddArrayHolder(ArrayRecord* record) {
  if (record != nullptr) platform::GlobalLock(platform::GlobalHandleOf(record));
}

unsigned ArrayHolderCount(const ArrayRecord* record) {
  return record ? platform::GlobalLockCount(platform::GlobalHandleOf(record)) : 0;
}

void ReleaseArrayHolder(BatchContext& context, ArrayRecord* record) {
  if (record == nullptr) return;
  platform::MemoryHandle handle = platform::GlobalHandleOf(record);
  if (platform::GlobalLockCount(handle) > 1) {
    platform::GlobalUnlock(handle);
    return;
  }
  for (std::uint32_t i = 0; i < record->elementCount; ++i)
    ReleaseValue(context, record->elements[i], 0, kHolderOther);
  platform::GlobalUnlock(handle);
  platform::GlobalFree(handle);
}

namespace {

// The largest block an array may take, header included.
constexpr double kMaxArrayBytes = 4e9;

// Returns how many slots held the old record.
unsigned RepointSlots(VariableSlot* slots, std::uint16_t count, std::uintptr_t old,
                      std::uintptr_t replacement) {
  unsigned found = 0;
  for (std::uint16_t i = 0; i < count; ++i) {
    if ((slots[i].value.flags & kValueArray) != 0 && slots[i].value.textRef == old) {
      slots[i].value.textRef = replacement;
      ++found;
    }
  }
  return found;
}

}  // namespace

int CreateMyArray(BatchContext& context, Value& result, std::int32_t d1, std::int32_t d2,
                  std::int32_t d3, std::int32_t d4, std::int32_t d5, std::uint8_t flag, int count) {
  std::int32_t given[kMaxDimensions] = {d1, d2, d3, d4, d5};
  std::uint32_t sizes[kMaxDimensions] = {};
  for (int i = 0; i < kMaxDimensions && i < count; ++i) {
    if (given[i] < 0) {
      SetError(context, kErrInvalidDimension);
      return -1;
    }
    sizes[i] = static_cast<std::uint32_t>(given[i]);
  }
  int dimensions = 0;
  double elements = sizes[0] == 0 ? 0.0 : 1.0;
  if (sizes[0] != 0) {
    for (int i = 0; i < kMaxDimensions; ++i) {
      if (sizes[i] == 0) continue;
      if (i > 0 && sizes[i - 1] == 0) {
        SetError(context, kErrZeroBeforeNonZero);
        return -1;
      }
      dimensions = i + 1;
      elements *= sizes[i];
    }
  }
  if (elements * sizeof(Value) + sizeof(ArrayRecord) > kMaxArrayBytes ||
      elements * sizeof(Value) + sizeof(ArrayRecord) > static_cast<double>(SIZE_MAX)) {
    SetError(context, kErrArrayTooLarge);
    return -1;
  }
  auto elementCount = static_cast<std::uint32_t>(elements);
  std::size_t bytes = sizeof(ArrayRecord) + std::size_t{elementCount} * sizeof(Value);
  platform::MemoryHandle handle = platform::GlobalAllocate(bytes, platform::Fill::Zero);
  auto* record = handle ? static_cast<ArrayRecord*>(platform::GlobalLock(handle)) : nullptr;
  if (record == nullptr) {
    if (handle != nullptr) platform::GlobalFree(handle);
    SetError(context, kErrArrayMemory);
    return -1;
  }
  for (int i = 0; i < kMaxDimensions; ++i)
    record->sizes[i] = i < dimensions ? sizes[i] : 0;
  record->dimensionCount = static_cast<std::uint8_t>(dimensions);
  record->creatorFlag = flag;
  record->elements = reinterpret_cast<Value*>(record + 1);
  record->elementCount = elementCount;
  record->dataSize = static_cast<std::uint32_t>(elementCount * sizeof(Value));
  result.flags = kValueArray;
  result.textRef = reinterpret_cast<std::uintptr_t>(record);
  result.wideRef = 0;
  return dimensions == 0 ? 0 : 1;
}

void ReplaceArrayRecord(BatchContext& context, ArrayRecord* old, ArrayRecord* replacement,
                        EvalValue* arguments, int argumentCount) {
  auto from = reinterpret_cast<std::uintptr_t>(old);
  auto to = reinterpret_cast<std::uintptr_t>(replacement);
  // Every holder that is repointed moves its lock to the new block.
  unsigned moved = 0;
  // The current frame is reached through its locked table; the suspended ones are locked here
  // for the moment it takes.
  for (int frame = 0; frame <= kMaxLocalFrames; ++frame) {
    if (frame == context.currentFrame) {
      if (context.varSlots != nullptr)
        moved += RepointSlots(context.varSlots, context.varCount, from, to);
      continue;
    }
    FrameEntry& entry = context.frames[frame];
    if (entry.handle == nullptr) continue;
    auto* slots = static_cast<VariableSlot*>(platform::GlobalLock(entry.handle));
    if (slots == nullptr) continue;
    moved += RepointSlots(slots, entry.count, from, to);
    platform::GlobalUnlock(entry.handle);
  }
  for (Enumeration& enumeration : context.flow.enumerations) {
    if (enumeration.active != 0 && enumeration.array == old) {
      enumeration.array = replacement;
      ++moved;
    }
  }
  // The running call holds each array argument once, and an argument that is not a borrowed
  // variable's array holds it once more itself.
  for (int i = 0; i < argumentCount; ++i) {
    EvalValue& argument = arguments[i];
    if ((argument.value.flags & kValueArray) == 0 || argument.value.textRef != from) continue;
    argument.value.textRef = to;
    moved += (argument.borrowed & kValueArray) != 0 ? 1 : 2;
  }
  platform::MemoryHandle oldHandle = platform::GlobalHandleOf(old);
  platform::MemoryHandle newHandle = platform::GlobalHandleOf(replacement);
  unsigned holders = platform::GlobalLockCount(oldHandle);
  if (moved > holders) moved = holders;
  for (unsigned i = 1; i < moved; ++i)
    platform::GlobalLock(newHandle);
  if (moved == 0) ReleaseArrayHolder(context, replacement);  // nobody held the old one
  // Holders that could not be found (the arguments of calls still being evaluated further out)
  // keep the old block as an empty array until they let go of it, so that none of them is
  // left with a freed address.
  unsigned left = holders - moved;
  for (unsigned i = 0; i < moved; ++i)
    platform::GlobalUnlock(oldHandle);
  if (left == 0) {
    platform::GlobalFree(oldHandle);
    return;
  }
  for (std::uint32_t& size : old->sizes)
    size = 0;
  old->dimensionCount = 0;
  old->elementCount = 0;
  old->dataSize = 0;
}

}  // namespace kel
