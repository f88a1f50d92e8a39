// The user-defined functions and subroutines a script has defined: recording them as the run
// loop passes their #DefineFunction / #DefineSubroutine blocks, finding them by name, and
// releasing them at shutdown.
#ifndef KEL_LOADER_DEFINITIONS_H
#define KEL_LOADER_DEFINITIONS_H

#include <cstddef>
#include <cstdint>

#include "core/batch_context.h"
#include "core/loader_state.h"
#include "core/variable_state.h"
#include "platform/platform.h"

namespace kel {

constexpr std::uint16_t kNoDefinition = 65535;
// A definition's token code is this plus its index.
constexpr std::uint16_t kDefinitionTokenBase = 4000;

// One recorded definition. The loader fills everything but `lastAssigned`, which belongs to the
// running function.
struct UdfRecord {
  std::uint16_t paramCount;
  std::uint16_t udfNameLength;
  // A private copy of the body, still hidden; its bytes read with `bodyStart` as their base. It
  // is followed by a hidden terminator, so it reads like any script text.
  platform::MemoryHandle bodyCopy;
  std::uint32_t bodyStart;  // offset of the first body line in the defining text
  std::uint32_t bodyLength;
  std::int32_t lastAssigned;  // -1 when none
  std::uint32_t isSubroutine;
  char name[kNameBytes];  // lower case
  char params[kMaxParameters][kNameBytes];
  char file[kPathBytes];  // the script that held the definition
  // Where the body's first line stands in its source: an included file's own line and name.
  std::uint32_t bodyLine;
  char bodyFile[kPathBytes];
};

// The index of the recorded definition with this name (compared without case), or
// kNoDefinition. Only definitions whose end line has been passed are found.
std::uint16_t FindDefinition(const BatchContext& context, const char* name, std::size_t length);

// The record at `index` (below udfCount), or null. Asked for by every call and by every
// statement of a function, so it is found here without a call.
inline UdfRecord* DefinitionRecord(BatchContext& context, std::uint16_t index) {
  const LoaderState& loader = context.loader;
  if (index >= loader.udfCount) return nullptr;
  UdfRecord* page = loader.udfPageRecords[index / kRecordsPerPage];
  return page == nullptr ? nullptr : &page[index % kRecordsPerPage];
}

// The body of a recorded definition as a script text for the run loop; false when the record
// has no body copy (its end line was never passed) or it cannot be locked. Every successful
// call is paired with ReleaseDefinitionBody.
bool LockDefinitionBody(BatchContext& context, std::uint16_t index, ScriptText& body);
void ReleaseDefinitionBody(BatchContext& context, std::uint16_t index);

// What a line beginning with "#" meant to the definition recorder.
enum class DefinitionLine {
  NotDefinition,  // not one of the four keywords: the line is run as usual
  Recorded,       // a definition line, handled; it is never run
  Failed,         // a definition line with an error (errNum set)
};

// Handles "#DefineFunction", "#DefineSubroutine", "#EndFunction" and "#EndSubroutine" lines as
// the run loop meets them. `lineStart` is the offset of the line's first non-blank character in
// `text` and `nextOffset` the offset of the line after it.
DefinitionLine RecordDefinitionLine(BatchContext& context, const char* line, const ScriptText& text,
                                    std::uint32_t lineStart, std::uint32_t nextOffset);

// Frees every body copy and then every page (shutdown).
void ReleaseDefinitions(BatchContext& context);

}  // namespace kel

#endif  // KEL_LOADER_DEFINITIONS_H
