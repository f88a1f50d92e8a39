// The structure stack: the loops, If blocks, Switches and call frames open in a context, and the
// flags the statement runner keeps from one statement to the next.
//
// There is no block table: a block's end is found by running on line by line with the
// innermost structure in a skipping state. Every open structure is one entry; a line is skipped
// whenever the innermost entry's state is not kStateRunning. The stack is shared by the main
// script and every function, Gosub and called script it runs, so its 100 entries bound all of
// their nesting together.
#ifndef KEL_LANG_STRUCTURES_H
#define KEL_LANG_STRUCTURES_H

#include <cstdint>

#include "lang/foreach.h"
#include "loader/loader_state.h"

namespace kel {

struct BatchContext;

constexpr int kMaxStructures = 100;

// What an entry holds open. The loop and Switch kinds are the keyword codes of their openers.
enum StructureKind : std::uint16_t {
  kStructureCall = 226,     // a script started by Call
  kStructureFor = 373,      // For
  kStructureForEach = 374,  // ForEach
  kStructureSwitch = 566,   // Switch or Select
  kStructureWhile = 598,    // While
  kStructureIf = 10001,     // a block If before its Else
  kStructureElse = 10002,   // a block If after its Else
  // A Gosub frame; the kind keeps the If state at the call (false, true, none) for Return.
  kStructureGosubFalse = 29000,
  kStructureGosubTrue = 29001,
  kStructureGosubNone = 29003,
  kStructureFunction = 29500,  // a user-defined function or subroutine being run
};

enum StructureState : std::uint8_t {
  kStateRunning = 0,
  kStateWaiting = 1,   // skipped until an Else, ElseIf or Case switches the block on
  kStateSkipped = 2,   // skipped for good: inside skipped code, or a branch already ran
  kStateContinue = 4,  // Continue ran: skip to the loop's end and go round again
  kStateBreak = 8,     // Break ran: skip to the end and leave
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

// Trace categories: what kind of statement ran (and `traceTruth`: whether it took effect).
enum TraceCategory : std::uint8_t {
  kTracePlain = 0,          // assignment or expression
  kTraceSingleLineIf = 1,   // single-line If, Else or Then with a statement
  kTraceSkipped = 2,        // a statement in skipped code
  kTraceWhile = 3,          // While
  kTraceEnd = 4,            // EndIf, EndWhile, EndSwitch, Next, End ...
  kTraceSwitch = 5,         // Switch
  kTraceBreak = 6,          // Break
  kTraceContinue = 7,       // Continue
  kTraceFor = 8,            // For, ForEach and each For iteration
  kTraceGosub = 9,          // Gosub and Return
  kTraceBlockIf = 10,       // block If
  kTraceBlockElse = 11,     // block Else
  kTraceCase = 12,          // Case
  kTraceFunction = 13,      // entering and leaving a user-defined function
  kTraceCalledScript = 14,  // entering and leaving a called script
  kTraceElseIf = 15,        // ElseIf
};

// A run starts with no structure open and no If state; whatever an earlier run left open (a
// script may end inside a loop) is released.
void ResetControlFlow(BatchContext& context);

// Opens an entry of `kind` in `state` for the line at `lineOffset` of `text`, saving
// `breakable`; the caller fills in `resume`, `var` and `aux`. Null with `overflowError` (3353,
// or 3618/3619 for a handler's frame) when 100 entries are open.
StructEntry* PushStructure(BatchContext& context, std::uint16_t kind, std::uint8_t state,
                           const ScriptText& text, std::uint32_t lineOffset,
                           std::uint32_t overflowError = 3353);
// Removes the innermost entry: its enumeration is released and `breakable` restored.
void PopStructure(BatchContext& context);
// Removes entries until `depth` are left.
void PopStructuresTo(BatchContext& context, std::uint16_t depth);

// The innermost entry, or null when none is open.
StructEntry* InnermostStructure(BatchContext& context);

// True while the innermost open structure is skipping a branch that is not taken; errors met
// there are not reported.
bool InnermostStructureSkipping(const BatchContext& context);

// True when the innermost entry is a function or Call frame in which Return has run: the
// statement's value is then the call's result and must outlive the statement.
bool StructureHoldsResult(const BatchContext& context);

}  // namespace kel

#endif  // KEL_LANG_STRUCTURES_H
