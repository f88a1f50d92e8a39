// The structure stack: opening and closing entries, and what the rest of the engine asks of it.
#include "lang/structures.h"

#include "core/batch_context.h"
#include "errors/error_state.h"
#include "lang/keyword_table.h"

namespace kel {

namespace {

constexpr bool KindedByKeyword(std::uint16_t kind, std::uint16_t keyword) {
  return kind == keyword;
}

}  // namespace

static_assert(KindedByKeyword(kStructureFor, kKeywordFor) &&
                  KindedByKeyword(kStructureForEach, kKeywordForEach) &&
                  KindedByKeyword(kStructureWhile, kKeywordWhile) &&
                  KindedByKeyword(kStructureSwitch, kKeywordSwitch) &&
                  KindedByKeyword(kStructureCall, kKeywordCall),
              "loop, Switch and Call entries are kinded by their keyword codes");

void ResetControlFlow(BatchContext& context) {
  ControlFlowState& flow = context.flow;
  PopStructuresTo(context, 0);
  flow.ifState = -1;
  flow.breakable = 0;
  flow.executeDepth = 0;
}

StructEntry* PushStructure(BatchContext& context, std::uint16_t kind, std::uint8_t state,
                           const ScriptText& text, std::uint32_t lineOffset,
                           std::uint32_t overflowError) {
  ControlFlowState& flow = context.flow;
  if (flow.depth >= kMaxStructures) {
    SetError(context, overflowError);
    return nullptr;
  }
  StructEntry& entry = flow.entries[flow.depth];
  entry.kind = kind;
  entry.state = state;
  entry.savedBreakable = flow.breakable;
  entry.resume = 0;
  entry.lineOffset = lineOffset;
  entry.buffer = text.bytes;
  entry.udfSlot = context.runningFunction;
  entry.inUdf = context.runningFunction != kNoFunction ? 1 : 0;
  entry.var = 0;
  entry.aux = 0;
  // An entry removed without PopStructure (a frame that reset the depth itself) may have left
  // its enumeration behind; it is given back before the place is reused.
  ReleaseEnumeration(context, flow.enumerations[flow.depth]);
  ++flow.depth;
  return &entry;
}

void PopStructure(BatchContext& context) {
  ControlFlowState& flow = context.flow;
  if (flow.depth == 0) return;
  --flow.depth;
  StructEntry& entry = flow.entries[flow.depth];
  // However a ForEach ends (Next, Break, Return out of it, a function that ends inside it), its
  // collection is given back.
  if (entry.kind == kStructureForEach) ReleaseEnumeration(context, flow.enumerations[flow.depth]);
  flow.breakable = entry.savedBreakable;
}

void PopStructuresTo(BatchContext& context, std::uint16_t depth) {
  while (context.flow.depth > depth)
    PopStructure(context);
}

StructEntry* InnermostStructure(BatchContext& context) {
  ControlFlowState& flow = context.flow;
  return flow.depth == 0 ? nullptr : &flow.entries[flow.depth - 1];
}

bool InnermostStructureSkipping(const BatchContext& context) {
  const ControlFlowState& flow = context.flow;
  return flow.depth != 0 && flow.entries[flow.depth - 1].state != kStateRunning;
}

bool StructureHoldsResult(const BatchContext& context) {
  const ControlFlowState& flow = context.flow;
  if (flow.depth == 0) return false;
  const StructEntry& entry = flow.entries[flow.depth - 1];
  return (entry.kind == kStructureFunction || entry.kind == kStructureCall) && entry.var == 1;
}

}  // namespace kel
