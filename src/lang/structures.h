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

#include "core/control_flow_state.h"
#include "core/loader_state.h"
#include "errors/error_numbers.h"
#include "lang/foreach.h"

namespace kel {

struct BatchContext;

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
  // The Gosub to a handler's label, taken by a statement whose error or cancel it handles.
  kTraceCancelHandler = 16,
  kTraceErrorHandler = 17,
};

// A run starts with no structure open and no If state; whatever an earlier run left open (a
// script may end inside a loop) is released.
void ResetControlFlow(BatchContext& context);

// Opens an entry of `kind` in `state` for the line at `lineOffset` of `text`, saving
// `breakable`; the caller fills in `resume`, `var` and `aux`. Null with `overflowError` (3353,
// or 3618/3619 for a handler's frame) when 100 entries are open.
StructEntry* PushStructure(BatchContext& context, std::uint16_t kind, std::uint8_t state,
                           const ScriptText& text, std::uint32_t lineOffset,
                           std::uint32_t overflowError = kErrNestingTooDeep);
// Changes an entry's kind or state. The kind, the state and the saved `breakable` are kept in
// one store, because the runner compares them together on every skipped line, and a wide read
// of narrow stores waits for them to land.
void SetStructureKind(StructEntry& entry, std::uint16_t kind, std::uint8_t state);
inline void SetStructureState(StructEntry& entry, std::uint8_t state) {
  SetStructureKind(entry, entry.kind, state);
}
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
