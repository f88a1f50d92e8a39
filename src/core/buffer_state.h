// The binary buffers' part of the context: the table of the buffers a script allocated with
// BinaryAlloc (or an extender through the binary services). Plain data, as the context is.
#ifndef KEL_CORE_BUFFER_STATE_H
#define KEL_CORE_BUFFER_STATE_H

#include <cstdint>

namespace kel {

constexpr int kMaxBuffers = 128;
// The handle of slot i is i + kFirstBufferHandle, so that a small number that happens to reach a
// buffer function is not mistaken for a handle.
constexpr std::int32_t kFirstBufferHandle = 987659;

struct BufferSlot {
  void* memory;               // the movable block; null marks a free slot
  std::uint8_t* data;         // its locked address while the slot is in use
  void* comObjects[2];        // kept for the automation bridge, released with the buffer
  std::int32_t size;          // bytes allocated, fixed for the buffer's life
  std::int32_t eod;           // end of data, 0 .. size
  std::int32_t oleType;       // 0 (not set) .. 11, set by BinaryOleType
  std::int32_t oleDirection;  // 1 .. 3 when oleType is set
};

struct BufferState {
  BufferSlot slots[kMaxBuffers];
};

// The slot that `handle` names, or null for a number that is no handle or a free slot.
BufferSlot* BufferOfHandle(BufferState& state, std::int32_t handle);
// Takes the first free slot for a zero-filled buffer of `size` bytes. Returns the handle, -1
// when every slot is taken, -2 when the memory cannot be had.
std::int32_t AllocateBuffer(BufferState& state, std::int32_t size);
// Unlocks and frees one buffer and clears its slot.
void ReleaseBuffer(BufferSlot& slot);
// Frees every buffer the script left allocated (context shutdown).
void ReleaseBuffers(BufferState& state);

}  // namespace kel

#endif  // KEL_CORE_BUFFER_STATE_H
