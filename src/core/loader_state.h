// The loader's part of the BatchContext: recorded definitions, the line reader's pending error,
// the substitution buffers and the text the run loop is reading.
#ifndef KEL_CORE_LOADER_STATE_H
#define KEL_CORE_LOADER_STATE_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kel {

struct UdfRecord;

// Definitions are kept in pages of 16 records, each page allocated the first time a record in it
// is needed, so a script without functions costs nothing.
constexpr std::size_t kDefinitionPages = 32;
constexpr std::size_t kRecordsPerPage = 16;
constexpr std::uint16_t kMaxDefinitions = kDefinitionPages * kRecordsPerPage;  // 512
constexpr std::size_t kMaxParameters = 16;
constexpr std::size_t kSubstitutionBytes = 2050;  // at most 2048 characters and a terminator

// A script text as the line reader sees it: hidden bytes followed by a hidden terminator.
struct ScriptText {
  std::uint8_t* bytes;   // writable: the statement runner caches jump targets in place
  std::uint32_t length;  // bytes before the terminator
  std::uint32_t base;    // 0 for a whole text; for a function body, where it began in its text
  // For a function body, its definition's index + 1: its compiled lines are kept for as long
  // as the definition. 0 for every other text, whose compiled lines go when its run ends.
  std::uint16_t bodyOf;
};

struct LoaderState {
  // Definition pages stay locked from allocation to shutdown, so a record's address is stable
  // while the script runs.
  platform::MemoryHandle udfPages[kDefinitionPages];
  UdfRecord* udfPageRecords[kDefinitionPages];
  std::uint16_t udfCount;     // completed definitions; the next one is recorded at this index
  std::uint8_t udfDefining;   // the run loop is inside a definition block
  std::uint8_t udfDuplicate;  // ... and the block repeats a recorded name, so it is ignored

  // An error the line reader found in the line it just read (3722), raised when the line is run.
  std::uint32_t pendingLineError;

  // %name% substitution works here and then replaces the line.
  char expansionBuffer[kSubstitutionBytes];

  // The text the innermost run loop is reading, for the error report's line numbers.
  ScriptText runText;
};

}  // namespace kel

#endif  // KEL_CORE_LOADER_STATE_H
