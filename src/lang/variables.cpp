// Variable slots and frames: lookup, creation, assignment, removal and pointer texts.
#include "lang/variables.h"

#include <bit>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/settings.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "lang/array_access.h"
#include "lang/array_record.h"
#include "lang/string_heap.h"
#include "lang/structures.h"

namespace kel {
namespace {

constexpr char kPointerPrefix[] = "#VAR$PTR#";
constexpr std::size_t kPointerPrefixLength = 9;
constexpr std::size_t kPointerMinimumLength = 38;
constexpr std::size_t kPointerMaximumLength = 67;

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// Lower-cases in place; a name whose first byte has the high bit set keeps that byte.
void LowerName(char* name) {
  char* p = name;
  if ((static_cast<unsigned char>(*p) & 0x80) != 0) ++p;
  for (; *p != '\0'; ++p)
    *p = LowerAscii(*p);
}

bool HoldsValue(const Value& value) {
  return (value.flags & kValueHolding) != 0;
}

std::uint32_t Low32(const void* handle) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

// Copies the texts and the array reference of `value` for a new holder; false (error set)
// when the heap has no room.
bool DuplicateForHolder(BatchContext& context, const Value& value, Value& copy) {
  return CopyValue(context, value, copy, 0,
                   kHolderOther | kCopyToOther | kCopyDuplicateTexts | kCopyAddArrayHolder);
}

}  // namespace

VariableSlot* CurrentSlots(BatchContext& context) {
  return context.varSlots;
}

void FoldName(const char* name, std::size_t length, char* out) {
  std::memset(out, 0, kNameBytes);
  std::size_t kept = length < kMaxNameLength ? length : kMaxNameLength;
  std::memcpy(out, name, kept);
  // Each character past the thirtieth is added onto positions 5..29 in turn, so long names
  // that differ only at their end still fold apart.
  std::size_t position = 5;
  for (std::size_t i = kMaxNameLength; i < length; ++i) {
    out[position] = static_cast<char>(static_cast<unsigned char>(out[position]) +
                                      static_cast<unsigned char>(name[i]));
    if (++position == kMaxNameLength) position = 5;
  }
  LowerName(out);
}

std::uint16_t FindSlot(BatchContext& context, const char* name) {
  char key[kNameBytes];
  std::size_t length = strnlen(name, kNameBytes - 1);
  std::memcpy(key, name, length);
  key[length] = '\0';
  LowerName(key);
  VariableSlot* slots = context.varSlots;
  if (slots == nullptr) return kNoSlot;
  for (std::uint16_t i = 0; i < context.varCount; ++i)
    if (slots[i].value.flags != 0 && std::strcmp(slots[i].slotName, key) == 0) return i;
  return kNoSlot;
}

std::uint16_t find_var(BatchContext& context, const char* name, bool report) {
  return FindVariable(context, name, kNoSlot, report);
}

std::uint16_t FindVariable(BatchContext& context, const char* name, std::uint16_t hint,
                           bool report) {
  VariableSlot* slots = context.varSlots;
  std::uint16_t slot = hint;
  if (slots == nullptr || slot >= context.varCount || slots[slot].value.flags == 0 ||
      !SlotNameIs(slots[slot].slotName, name))
    slot = FindSlot(context, name);
  if (slot == kNoSlot) {
    SetError(context, kErrUndefinedVariable);
    return kNoSlot;
  }
  if (HoldsValue(context.varSlots[slot].value)) return slot;
  if (report && !InnermostStructureSkipping(context)) {
    platform::WriteProfileText(kSettingsFile, kSettingsErrorReporting, "3052", name);
    char heading[256], text[320];
    LoadMessage(context, kMsgUninitializedVariable, heading, sizeof heading);
    std::snprintf(text, sizeof text, "%s\n\n    %s", heading, name);
    AppendMoreErrorInfo(context, text);
  }
  SetError(context, kErrUninitializedVariable);
  return kNoSlot;
}

std::uint16_t FindOrCreateSlot(BatchContext& context, const char* name) {
  VariableSlot* slots = context.varSlots;
  if (slots == nullptr) {
    SetError(context, kErrOutOfVariableMemory);
    return kNoSlot;
  }
  std::uint16_t freeSlot = kNoSlot;
  for (std::uint16_t i = 0; i < context.varCount; ++i) {
    if (slots[i].value.flags == 0) {
      freeSlot = i;
    } else if (std::strcmp(slots[i].slotName, name) == 0) {
      return i;
    }
  }
  if (freeSlot == kNoSlot) {
    if (context.varCount + 1 >= context.varCapacity) {
      SetError(context, kErrOutOfVariableMemory);
      return kNoSlot;
    }
    freeSlot = context.varCount++;
  }
  VariableSlot& slot = slots[freeSlot];
  std::memset(&slot, 0, sizeof slot);
  std::memcpy(slot.slotName, name, strnlen(name, kNameBytes - 1));
  slot.value.flags = kValueNoValue;
  return freeSlot;
}

void SetVariable(BatchContext& context, const char* name, const void* text, std::int32_t number,
                 std::uint32_t type) {
  if (type != kVariableInteger && type != kVariableText && type != kVariableWideText &&
      type != kVariableArray)
    return;
  char key[kNameBytes];
  FoldName(name, std::strlen(name), key);
  // The new text is copied into the heap before the old value is released, so a variable can
  // be set from its own text.
  std::uint32_t textRef = 0, wideRef = 0;
  if (type == kVariableText) {
    const char* source = text ? static_cast<const char*>(text) : "";
    textRef = HeapCopyText(context, source, std::strlen(source));
    if (textRef == 0) return SetError(context, kErrOutOfStringMemory);
  } else if (type == kVariableWideText) {
    const char16_t* source = text ? static_cast<const char16_t*>(text) : u"";
    std::size_t length = 0;
    while (source[length] != 0)
      ++length;
    wideRef = HeapCopyWide(context, source, length);
    if (wideRef == 0) return SetError(context, kErrOutOfStringMemory);
  }
  std::uint16_t index = FindOrCreateSlot(context, key);
  if (index == kNoSlot) {
    if (textRef) VFree(context, textRef);
    if (wideRef) VFree(context, wideRef);
    return;
  }
  VariableSlot& slot = context.varSlots[index];
  ReleaseValue(context, slot.value, index, kHolderSlot);
  std::memcpy(slot.slotName, key, kNameBytes);
  slot.value.intValue = number;
  slot.value.flags = type;
  slot.value.textRef = type == kVariableArray ? reinterpret_cast<std::uintptr_t>(text) : textRef;
  slot.value.wideRef = wideRef;
}

void AssignValue(BatchContext& context, const char* name, const Value& value) {
  char key[kNameBytes];
  FoldName(name, std::strlen(name), key);
  Value copy;
  // The new holder's texts and array reference are taken before the old value goes, so
  // assigning a variable's own value (or its own array) to it loses nothing.
  if (!DuplicateForHolder(context, value, copy)) return;
  std::uint16_t index = FindOrCreateSlot(context, key);
  if (index == kNoSlot) {
    ReleaseValue(context, copy, 0, kHolderOther);
    return;
  }
  VariableSlot& slot = context.varSlots[index];
  ReleaseValue(context, slot.value, index, kHolderSlot | kReleaseKeepObject);
  std::memcpy(&slot.value, &copy, sizeof(Value));
}

void AddFreshVariable(BatchContext& context, const char* key, const Value& value) {
  VariableSlot* slots = context.varSlots;
  bool taken = slots == nullptr || context.varCount + 1 >= context.varCapacity;
  // The first slot is reserved, without a name.
  for (std::uint16_t i = 1; !taken && i < context.varCount; ++i)
    taken = std::memcmp(slots[i].slotName, key, kNameBytes) == 0;
  // A name met before, or no room: the general assignment finds it or reports the full table.
  if (taken) return AssignValue(context, key, value);
  // The copy is made in the slot itself (a failed copy writes nothing), and the slot counts
  // once it holds it.
  VariableSlot& slot = slots[context.varCount];
  if (!DuplicateForHolder(context, value, slot.value)) return;
  std::memcpy(slot.slotName, key, kNameBytes);
  ++context.varCount;
}

bool VariableText(BatchContext& context, const char* name, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return false;
  buffer[0] = '\0';
  const char* bracket = std::strchr(name, '[');
  std::size_t nameLength = bracket ? static_cast<std::size_t>(bracket - name) : std::strlen(name);
  char key[kNameBytes];
  FoldName(name, nameLength, key);
  std::uint32_t savedError = context.errors.errNum;
  std::uint16_t index = find_var(context, key, false);
  if (index == kNoSlot) {
    context.errors.errNum = savedError;
    return false;
  }
  Value& value = context.varSlots[index].value;
  const char* text = nullptr;
  char number[kNumberTextBytes];
  if ((value.flags & kValueArray) != 0) {
    // A whole array reads as a marker.
    if (bracket != nullptr) return ArrayElementText(context, value, bracket, buffer, size);
    text = "<array>";
  } else if ((value.flags & kValueText) != 0) {
    text = ValueText(context, value);
  } else if ((value.flags & kValueWideText) != 0) {
    const char16_t* wide = ValueWideText(context, value);
    std::size_t length = 0;
    while (wide[length] != 0)
      ++length;
    int bytes = platform::WideToAnsi(context.codePage, wide, length, buffer, size - 1);
    if (bytes < 0) return false;
    buffer[bytes] = '\0';
    return true;
  } else if ((value.flags & kValueInteger) != 0) {
    FormatInteger(value.intValue, number, 10);
    text = number;
  } else if ((value.flags & kValueFloat) != 0) {
    if (!FormatFloat(context, value.floatValue, number)) return false;
    text = number;
  } else {
    return false;
  }
  std::size_t length = std::strlen(text);
  if (length >= size) length = size - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
  return true;
}

void RemoveSlot(BatchContext& context, std::uint16_t index) {
  if (context.varSlots == nullptr || index >= context.varCount) return;
  VariableSlot& slot = context.varSlots[index];
  ReleaseValue(context, slot.value, index, kHolderSlot);
  std::memset(&slot, 0, sizeof slot);
  if (index == context.varCount - 1) --context.varCount;
}

int RemoveByPrefix(BatchContext& context, const char* pattern) {
  char prefix[32];
  std::size_t length = strnlen(pattern, 31);
  if (length == 0 || pattern[length - 1] != '*') return 0;
  std::memcpy(prefix, pattern, length - 1);
  prefix[length - 1] = '\0';
  LowerName(prefix);
  std::size_t prefixLength = length - 1;
  int removed = 0;
  for (std::uint16_t i = context.varCount; i-- > 0;) {
    VariableSlot& slot = context.varSlots[i];
    if (slot.value.flags == 0 || slot.slotName[0] == '\0') continue;  // free or reserved
    if (i == context.resultSlot && context.currentFrame == context.resultFrame) continue;
    if (std::strncmp(slot.slotName, prefix, prefixLength) != 0) continue;
    RemoveSlot(context, i);
    ++removed;
  }
  return removed;
}

int AllocateFrame(BatchContext& context, std::uint16_t capacity) {
  for (int number = context.framePool.firstFree > 0 ? context.framePool.firstFree : 1;
       number <= kMaxLocalFrames; ++number) {
    FrameEntry& entry = context.frames[number];
    if (entry.handle != nullptr) continue;
    // A table that an earlier call gave back is taken again: only the slots in use are read,
    // and those are cleared as they are taken, so it needs no filling.
    platform::MemoryHandle handle = nullptr;
    FramePool& pool = context.framePool;
    for (std::uint16_t i = pool.count; i > 0; --i) {
      if (pool.capacities[i - 1] != capacity) continue;
      handle = pool.handles[i - 1];
      pool.handles[i - 1] = pool.handles[pool.count - 1];
      pool.capacities[i - 1] = pool.capacities[pool.count - 1];
      --pool.count;
      break;
    }
    if (handle == nullptr)
      handle = platform::GlobalAllocate(std::size_t{capacity} * sizeof(VariableSlot),
                                        platform::Fill::Zero);
    if (handle == nullptr) return 0;
    // The entry's numbers are written in two wide stores, as entering the frame reads them back
    // in wide loads that narrow stores would hold up: number, capacity, count 0 and the marker;
    // then the serial and the tick count. The tick count that names the frame in pointer texts
    // is read when the first pointer into it is made: most frames never have one (0).
    static_assert(std::endian::native == std::endian::little &&
                      offsetof(FrameEntry, capacity) == 2 && offsetof(FrameEntry, count) == 4 &&
                      offsetof(FrameEntry, marker) == 6 &&
                      offsetof(FrameEntry, ticks) == offsetof(FrameEntry, serial) + 4,
                  "the entry's numbers stand side by side, low word first");
    const std::uint64_t head = static_cast<std::uint64_t>(number) |
                               (std::uint64_t{capacity} << 16) | (std::uint64_t{65535} << 48);
    std::memcpy(&entry.number, &head, sizeof head);
    entry.handle = handle;
    const std::uint64_t stamp = ++context.serialCounter;
    std::memcpy(&entry.serial, &stamp, sizeof stamp);
    context.framePool.firstFree = static_cast<std::uint16_t>(number + 1);
    return number;
  }
  return 0;
}

namespace {

// Releases what the slots in use hold and clears them, ready for the table's next user.
void ClearSlots(BatchContext& context, VariableSlot* slots, std::uint16_t count) {
  for (std::uint16_t i = 0; i < count; ++i)
    if (slots[i].value.flags != 0) ReleaseValue(context, slots[i].value, i, kHolderSlot);
  std::memset(slots, 0, std::size_t{count} * sizeof(VariableSlot));
}

// The table of frame `number`, whose slots are clear (`reusable`) or not to be trusted, goes
// back to the pool or is freed, and the frame's entry is free again.
void GiveBackFrame(BatchContext& context, int number, bool reusable) {
  FrameEntry& entry = context.frames[number];
  FramePool& pool = context.framePool;
  if (reusable && pool.count < kFramePoolSize) {
    pool.handles[pool.count] = entry.handle;
    pool.capacities[pool.count] = entry.capacity;
    ++pool.count;
  } else {
    platform::GlobalFree(entry.handle);
  }
  std::memset(&entry, 0, sizeof entry);
  if (number < pool.firstFree) pool.firstFree = static_cast<std::uint16_t>(number);
}

}  // namespace

bool LeaveAndFreeFrame(BatchContext& context, int number, const SavedFrame& saved) {
  if (context.currentFrame != number) {
    bool left = LeaveFrame(context, saved);
    FreeFrame(context, number);
    return left;
  }
  // The frame is current: its variables go while its table is at hand.
  ClearSlots(context, context.varSlots, context.varCount);
  context.varCount = 0;
  bool left = LeaveFrame(context, saved);
  GiveBackFrame(context, number, true);
  return left;
}

bool FreeFrame(BatchContext& context, int number) {
  if (number < 1 || number > kMaxLocalFrames || context.frames[number].handle == nullptr)
    return false;
  FrameEntry& entry = context.frames[number];
  // Whatever the frame's variables still hold goes with it.
  auto* slots = static_cast<VariableSlot*>(platform::GlobalLock(entry.handle));
  if (slots != nullptr) {
    ClearSlots(context, slots, entry.count);
    platform::GlobalUnlock(entry.handle);
  }
  GiveBackFrame(context, number, slots != nullptr);
  return true;
}

void ReleaseFramePool(BatchContext& context) {
  FramePool& pool = context.framePool;
  for (std::uint16_t i = 0; i < pool.count; ++i)
    platform::GlobalFree(pool.handles[i]);
  pool.count = 0;
}

namespace {
bool MakeCurrent(BatchContext& context, int number) {
  FrameEntry& entry = context.frames[number];
  auto* slots = static_cast<VariableSlot*>(platform::GlobalLock(entry.handle));
  if (slots == nullptr) return false;
  context.currentFrame = static_cast<std::uint16_t>(number);
  context.varTable = entry.handle;
  context.varSlots = slots;
  context.runSerial = entry.serial;
  context.runStartTicks = entry.ticks;
  context.varCapacity = entry.capacity;
  context.varCount = entry.count;
  return true;
}
}  // namespace

bool EnterFrame(BatchContext& context, int number, SavedFrame& saved) {
  if (number < 0 || number > kMaxLocalFrames || context.frames[number].handle == nullptr)
    return false;
  FrameEntry& current = context.frames[context.currentFrame];
  current.count = context.varCount;
  saved = SavedFrame{context.currentFrame, context.varCapacity, context.varTable, context.runSerial,
                     context.runStartTicks};
  platform::GlobalUnlock(context.varTable);
  if (MakeCurrent(context, number)) return true;
  MakeCurrent(context, saved.number);  // stay where we were
  return false;
}

bool LeaveFrame(BatchContext& context, const SavedFrame& saved) {
  context.frames[context.currentFrame].count = context.varCount;
  platform::GlobalUnlock(context.varTable);
  return MakeCurrent(context, saved.number);
}

std::size_t MakePointerText(BatchContext& context, const char* name, char* out, std::size_t size) {
  FrameEntry& entry = context.frames[context.currentFrame];
  if (entry.ticks == 0 && context.currentFrame != 0) {
    entry.ticks = platform::TickCount();
    if (entry.ticks == 0) entry.ticks = 1;
  }
  // The handle is written as its low 32 bits; with the serial and the tick count it still
  // names one frame for as long as that frame lives.
  int length = std::snprintf(
      out, size, "%s%04X%08lX%08lX%08lX%s", kPointerPrefix,
      static_cast<unsigned>(context.currentFrame), static_cast<unsigned long>(Low32(entry.handle)),
      static_cast<unsigned long>(entry.serial), static_cast<unsigned long>(entry.ticks), name);
  return length < 0 || static_cast<std::size_t>(length) >= size ? 0
                                                                : static_cast<std::size_t>(length);
}

bool ParsePointer(BatchContext& context, const char* text, PointerTarget& target) {
  std::size_t length = std::strlen(text);
  if (length < kPointerMinimumLength || length > kPointerMaximumLength ||
      std::strncmp(text, kPointerPrefix, kPointerPrefixLength) != 0) {
    SetError(context, kErrNotPointer);
    return false;
  }
  auto field = [&](std::size_t at, std::size_t digits) {
    char part[9];
    std::memcpy(part, text + at, digits);
    part[digits] = '\0';
    return static_cast<std::uint32_t>(ParseRadix(part, 16));
  };
  target.frame = field(9, 4);
  target.handle = field(13, 8);
  target.serial = field(21, 8);
  target.ticks = field(29, 8);
  std::size_t nameLength = length - 37;
  if (nameLength > kMaxNameLength) nameLength = kMaxNameLength;
  std::memcpy(target.name, text + 37, nameLength);
  target.name[nameLength] = '\0';
  LowerName(target.name);
  if (target.frame > static_cast<std::uint32_t>(kMaxLocalFrames)) {
    SetError(context, kErrInvalidPointer);
    return false;
  }
  const FrameEntry& entry = context.frames[target.frame];
  if (entry.handle == nullptr || Low32(entry.handle) != target.handle ||
      entry.serial != target.serial || entry.ticks != target.ticks) {
    SetError(context, kErrInvalidPointer);
    return false;
  }
  return true;
}

namespace {
// Parses the pointer and makes its frame current; `entered` says whether it had to move.
bool EnterPointerFrame(BatchContext& context, const char* text, PointerTarget& target,
                       SavedFrame& saved, bool& entered) {
  if (!ParsePointer(context, text, target)) return false;
  entered = target.frame != context.currentFrame;
  if (entered && !EnterFrame(context, static_cast<int>(target.frame), saved)) {
    SetError(context, kErrPointerAccess);
    return false;
  }
  return true;
}

bool LeavePointerFrame(BatchContext& context, SavedFrame& saved, bool entered) {
  if (entered && !LeaveFrame(context, saved)) {
    SetError(context, kErrVariableTableAccess);
    return false;
  }
  return true;
}
}  // namespace

bool ReadViaPointer(BatchContext& context, const char* text, EvalValue& result) {
  PointerTarget target;
  SavedFrame saved;
  bool entered = false;
  if (!EnterPointerFrame(context, text, target, saved, entered)) return false;
  std::uint16_t index = FindSlot(context, target.name);
  bool ok = false;
  if (index == kNoSlot) {
    SetError(context, kErrPointerUninitialized);
  } else {
    ok = CopyValue(
        context, context.varSlots[index].value, result.value, (target.frame << 16) | index,
        kHolderSlot | kCopyToEval | kCopyFrameGiven | kCopyDuplicateTexts | kCopyAddArrayHolder);
  }
  return LeavePointerFrame(context, saved, entered) && ok;
}

bool WriteViaPointer(BatchContext& context, const char* text, const Value& value) {
  PointerTarget target;
  SavedFrame saved;
  bool entered = false;
  if (!EnterPointerFrame(context, text, target, saved, entered)) return false;
  AssignValue(context, target.name, value);
  bool ok = !HasError(context);
  return LeavePointerFrame(context, saved, entered) && ok;
}

bool PointerHoldsArray(BatchContext& context, const char* text) {
  PointerTarget target;
  SavedFrame saved;
  bool entered = false;
  if (!EnterPointerFrame(context, text, target, saved, entered)) return false;
  std::uint16_t index = FindSlot(context, target.name);
  bool holds = index != kNoSlot && (context.varSlots[index].value.flags & kValueArray) != 0 &&
               context.varSlots[index].value.textRef != 0;
  LeavePointerFrame(context, saved, entered);
  return holds;
}

}  // namespace kel
