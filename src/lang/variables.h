// Variable slots, the main table and the local frames of running functions, lookup by name,
// assignment, removal, and pointer texts that name a variable in a given frame.
#ifndef KEL_LANG_VARIABLES_H
#define KEL_LANG_VARIABLES_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/variable_state.h"
#include "lang/value.h"
#include "platform/platform.h"

namespace kel {

struct BatchContext;

// What EnterFrame saves so that LeaveFrame can restore the frame that was current.
struct SavedFrame {
  std::uint16_t number;
  std::uint16_t capacity;
  platform::MemoryHandle handle;
  std::uint32_t serial;
  std::uint32_t ticks;
};

// The parts of a pointer text.
struct PointerTarget {
  std::uint32_t frame;
  std::uintptr_t handle;
  std::uint32_t serial;
  std::uint32_t ticks;
  char name[kNameBytes];
};

// True when a slot name is `name`. Both are zero-padded to their kNameBytes bytes where the
// tokenizer and the compiled lines keep them (as every slot keeps its own), so comparing the
// bytes settles the usual case at once; the text compare covers a name written otherwise.
inline bool SlotNameIs(const char* slotName, const char* paddedName) {
  return std::memcmp(slotName, paddedName, kNameBytes) == 0 ||
         std::strcmp(slotName, paddedName) == 0;
}

// Folds a name of any length into at most 30 lower-case characters (the by-name operations'
// rule); `out` gets kNameBytes bytes.
void FoldName(const char* name, std::size_t length, char* out);

std::uint16_t FindSlot(BatchContext& context, const char* name);
std::uint16_t find_var(BatchContext& context, const char* name, bool report);
// find_var for a lower-case name that was last found in slot `hint` (kNoSlot: unknown); the
// hint is checked before it is trusted. With a hint the name must be zero-padded to
// kNameBytes bytes.
std::uint16_t FindVariable(BatchContext& context, const char* name, std::uint16_t hint,
                           bool report);
// Finds the slot of a folded name or makes one with the no-value bit; kNoSlot and 3097 when
// the table is full.
std::uint16_t FindOrCreateSlot(BatchContext& context, const char* name);

enum VariableType : std::uint32_t {
  kVariableInteger = 1,
  kVariableText = 2,
  kVariableWideText = 128,
  kVariableArray = 256,
};
void SetVariable(BatchContext& context, const char* name, const void* text, std::int32_t number,
                 std::uint32_t type);
void AssignValue(BatchContext& context, const char* name, const Value& value);
// AssignValue for a table that has just been entered and where nothing was removed (a function's
// new frame): a name not in it yet takes the next slot without a search for a free one.
// `key` is the name as FoldName gives it, all kNameBytes bytes of it.
void AddFreshVariable(BatchContext& context, const char* key, const Value& value);
bool VariableText(BatchContext& context, const char* name, char* buffer, std::size_t size);
void RemoveSlot(BatchContext& context, std::uint16_t index);
int RemoveByPrefix(BatchContext& context, const char* pattern);

int AllocateFrame(BatchContext& context, std::uint16_t capacity);
bool FreeFrame(BatchContext& context, int number);
// Frees the kept tables (at shutdown).
void ReleaseFramePool(BatchContext& context);
bool EnterFrame(BatchContext& context, int number, SavedFrame& saved);
bool LeaveFrame(BatchContext& context, const SavedFrame& saved);
// Ends the current frame `number` (a function's, entered with EnterFrame): its variables are
// released, the frame `saved` is current again and the table is given back. False when the
// table of `saved` could not be locked again.
bool LeaveAndFreeFrame(BatchContext& context, int number, const SavedFrame& saved);

// "#VAR$PTR#" + frame (4 hex) + handle, serial, ticks (8 hex each) + name.
std::size_t MakePointerText(BatchContext& context, const char* name, char* out, std::size_t size);
bool ParsePointer(BatchContext& context, const char* text, PointerTarget& target);
bool ReadViaPointer(BatchContext& context, const char* text, EvalValue& result);
bool WriteViaPointer(BatchContext& context, const char* text, const Value& value);
bool PointerHoldsArray(BatchContext& context, const char* text);

// The slots of the current table.
VariableSlot* CurrentSlots(BatchContext& context);

}  // namespace kel

#endif  // KEL_LANG_VARIABLES_H
