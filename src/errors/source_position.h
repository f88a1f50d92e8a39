// Where the failing statement stands, and the two lines of the error box that tell it.
#ifndef KEL_ERRORS_SOURCE_POSITION_H
#define KEL_ERRORS_SOURCE_POSITION_H

#include <cstddef>
#include <cstdint>

#include "host/batch_context.h"

namespace kel {

constexpr std::size_t kFunctionNameBytes = 32;

struct SourcePosition {
  std::int32_t line;       // 1-based; 0 when the statement's place is not known
  std::int32_t markerTag;  // tag of the last marker line passed; -1 when none precedes
  char file[kPathBytes];   // the source file; the script's own path when no marker precedes
  char functionName[kFunctionNameBytes];  // the user-defined function being run, or ""
};

// Works out the position of the statement that failed in the text being run.
void LocateFailingStatement(BatchContext& context, SourcePosition& position);

// The line information (control 110: "On line 12 of file", "Near line ...", "In file") and the
// file information (control 111: "In file", "In Routine "name"" or ""), each at most `size`
// bytes.
void FormatLineInformation(BatchContext& context, const SourcePosition& position,
                           char* lineInformation, char* fileInformation, std::size_t size);

}  // namespace kel

#endif  // KEL_ERRORS_SOURCE_POSITION_H
