// The structure stack: opening and closing entries, and what the rest of the engine asks of it.
#include "lang/structures.h"

#include <bit>
#include <cstddef>
#include <cstring>

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
static_assert(std::endian::native == std::endian::little && offsetof(StructEntry, kind) == 0 &&
                  offsetof(StructEntry, state) == 2 && offsetof(StructEntry, savedBreakable) == 3 &&
                  offsetof(StructEntry, resume) == 4 &&
                  offsetof(StructEntry, inUdf) == offsetof(StructEntry, udfSlot) + 2 &&
                  offsetof(StructEntry, var) == offsetof(StructEntry, udfSlot) + 4 &&
                  offsetof(StructEntry, aux) == offsetof(StructEntry, udfSlot) + 6,
              "an entry's small fields stand side by side, low word first");

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
  // Written in wide stores, as the runner reads the entry back in wide loads (kind and state
  // together) that narrow stores would hold up.
  const std::uint64_t head = std::uint64_t{kind} | (std::uint64_t{state} << 16) |
                             (std::uint64_t{flow.breakable} << 24);  // resume 0
  std::memcpy(&entry.kind, &head, sizeof head);
  entry.lineOffset = lineOffset;
  entry.buffer = text.bytes;
  const std::uint16_t running = context.runningFunction;
  const std::uint64_t tail = std::uint64_t{running} |
                             (std::uint64_t{running != kNoFunction ? 1u : 0u} << 16);  // var, aux 0
  std::memcpy(&entry.udfSlot, &tail, sizeof tail);
  // An entry removed without PopStructure (a frame that reset the depth itself) may have left
  // its enumeration behind; it is given back before the place is reused.
  ReleaseEnumeration(context, flow.enumerations[flow.depth]);
  ++flow.depth;
  return &entry;
}

void SetStructureKind(StructEntry& entry, std::uint16_t kind, std::uint8_t state) {
  const std::uint32_t head = std::uint32_t{kind} | (std::uint32_t{state} << 16) |
                             (std::uint32_t{entry.savedBreakable} << 24);
  std::memcpy(&entry.kind, &head, sizeof head);
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
