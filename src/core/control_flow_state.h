// The statement runner's part of the BatchContext: the structure stack of open loops, If blocks,
// Switches and call frames, the enumerations of the ForEach loops among them, and the flags
// kept from one statement to the next. The operations on them are in lang/structures.h and
// lang/foreach.h.
#ifndef KEL_CORE_CONTROL_FLOW_STATE_H
#define KEL_CORE_CONTROL_FLOW_STATE_H

#include <cstdint>

namespace kel {

struct ArrayRecord;

constexpr int kMaxStructures = 100;

// One running enumeration. It lives beside the ForEach entry of the structure stack that uses
// it, and is released when that entry is removed, however the loop ends.
struct Enumeration {
  ArrayRecord* array;            // the collection, held while the enumeration is active
  std::uint32_t next;            // index of the element to fetch next
  std::uint32_t collectionText;  // heap text of the collection as the ForEach line wrote it
  std::uint8_t active;
};

struct StructEntry {
  std::uint16_t kind;
  std::uint8_t state;
  std::uint8_t savedBreakable;  // `breakable` as it was when the entry was opened
  std::uint32_t resume;         // where a loop goes back to or a frame returns to
  std::uint32_t lineOffset;     // the line that opened it
  const std::uint8_t* buffer;   // the text that line belongs to
  std::uint16_t udfSlot;        // the function running when it was opened; kNoFunction none
  std::uint16_t inUdf;          // 1 when opened inside a user-defined function
  // For and ForEach: the loop variable's slot. Switch: the low 16 bits of the Switch value
  // (the high 16 bits are in `resume`). Function and Call frames: 1 once Return ran in them.
  std::uint16_t var;
  std::uint16_t aux;  // ForEach: the number of its enumeration
};

// The statement runner's part of the BatchContext.
struct ControlFlowState {
  std::uint16_t depth;
  StructEntry entries[kMaxStructures];
  // The enumeration of the ForEach entry at the same depth.
  Enumeration enumerations[kMaxStructures];
  // The result of the most recent If or ElseIf condition: 1 true, 0 false, -1 none. A
  // single-line Else and a line that starts with Then read it.
  std::int8_t ifState;
  // 1 while a While, For, ForEach or Switch is the innermost loop-like structure: Break and
  // Continue need it. Gosub and function frames clear it until they end.
  std::uint8_t breakable;
  // What the last statement was and whether it took effect, for the debug trace.
  std::uint8_t traceCategory;
  std::uint8_t traceTruth;
  // How an error inside Execute is reported: 0 a box with OK and Cancel, 1 a box with OK only,
  // 2 nothing (IntControl 87).
  std::int32_t executeMode;
  std::uint16_t executeDepth;        // statements being run by Execute
  std::uint16_t enumerationCounter;  // numbers the enumerations of ForEach loops
};

}  // namespace kel

#endif  // KEL_CORE_CONTROL_FLOW_STATE_H
