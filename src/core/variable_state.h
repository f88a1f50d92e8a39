// The variable table's records: one slot per variable, and the frame table that keeps the main
// table and the local tables of running functions. The operations on them are in
// lang/variables.h.
#ifndef KEL_CORE_VARIABLE_STATE_H
#define KEL_CORE_VARIABLE_STATE_H

#include <cstddef>
#include <cstdint>

#include "core/value_record.h"
#include "platform/platform.h"

namespace kel {

constexpr std::size_t kNameBytes = 32;
constexpr std::size_t kMaxNameLength = 30;
constexpr std::uint16_t kNoSlot = 65535;
constexpr int kMaxLocalFrames = 100;

#pragma pack(push, 4)
struct VariableSlot {
  Value value;
  char slotName[kNameBytes];  // lower case, zero-terminated; the last byte is always 0
};
#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(VariableSlot) == 76, "a variable slot is 76 bytes in the 32-bit layout");
#endif

// One entry of the frame table; entry 0 is the host's main table.
struct FrameEntry {
  std::uint16_t number;
  std::uint16_t capacity;
  std::uint16_t count;
  std::uint16_t marker;  // 65535
  platform::MemoryHandle handle;
  std::uint32_t serial;
  std::uint32_t ticks;
};

// Tables of frames that ended, kept for the next calls so that a call need not allocate and
// fill a table of its own. It never holds more than the deepest nesting of calls had in use.
constexpr std::uint16_t kFramePoolSize = kMaxLocalFrames;
struct FramePool {
  platform::MemoryHandle handles[kFramePoolSize];
  std::uint16_t capacities[kFramePoolSize];
  std::uint16_t count;
  // No frame number below this one is free: calls nest, so the search for a free number starts
  // here instead of at 1.
  std::uint16_t firstFree;
};

}  // namespace kel

#endif  // KEL_CORE_VARIABLE_STATE_H
