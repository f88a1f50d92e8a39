// Holder counting and release of array records.
#include "lang/array_record.h"

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

}  // namespace kel
