// The context's table of binary buffers: allocation, lookup by handle and release.
#include "core/buffer_state.h"

#include <cstring>

#include "platform/platform.h"

namespace kel {

BufferSlot* BufferOfHandle(BufferState& state, std::int32_t handle) {
  std::int64_t index = static_cast<std::int64_t>(handle) - kFirstBufferHandle;
  if (index < 0 || index >= kMaxBuffers) return nullptr;
  BufferSlot& slot = state.slots[index];
  return slot.memory == nullptr ? nullptr : &slot;
}

std::int32_t AllocateBuffer(BufferState& state, std::int32_t size) {
  for (int i = 0; i < kMaxBuffers; ++i) {
    BufferSlot& slot = state.slots[i];
    if (slot.memory != nullptr) continue;
    if (size < 0) return -2;
    // A buffer of no bytes still takes a block, so that its slot reads as taken.
    platform::MemoryHandle memory = platform::GlobalAllocate(
        size == 0 ? 1 : static_cast<std::size_t>(size), platform::Fill::Zero);
    if (memory == nullptr) return -2;
    void* data = platform::GlobalLock(memory);
    if (data == nullptr) {
      platform::GlobalFree(memory);
      return -2;
    }
    std::memset(&slot, 0, sizeof slot);
    slot.memory = memory;
    slot.data = static_cast<std::uint8_t*>(data);
    slot.size = size;
    return kFirstBufferHandle + i;
  }
  return -1;
}

void ReleaseBuffer(BufferSlot& slot) {
  if (slot.memory != nullptr) {
    platform::GlobalUnlock(slot.memory);
    platform::GlobalFree(slot.memory);
  }
  std::memset(&slot, 0, sizeof slot);
}

void ReleaseBuffers(BufferState& state) {
  for (BufferSlot& slot : state.slots)
    if (slot.memory != nullptr) ReleaseBuffer(slot);
}

}  // namespace kel
