// Where the failing statement stands: the loader works it out from the text being run
// (LocateFailingStatement), the error box and the traceback show it.
#ifndef KEL_CORE_STATEMENT_POSITION_H
#define KEL_CORE_STATEMENT_POSITION_H

#include <cstddef>
#include <cstdint>

#include "core/batch_context.h"

namespace kel {

constexpr std::size_t kFunctionNameBytes = 32;

struct SourcePosition {
  std::int32_t line;  // 1-based; 0 when the statement's place is not known
  // The line in `file` itself: `line` counts from the start of a function's body, this from the
  // start of the file that holds it.
  std::int32_t fileLine;
  // The file `fileLine` counts in, when it is not `file` (a function defined in an included
  // file); null otherwise.
  const char* fileOfLine;
  std::int32_t markerTag;  // tag of the last marker line passed; -1 when none precedes
  char file[kPathBytes];   // the source file; the script's own path when no marker precedes
  char functionName[kFunctionNameBytes];  // the user-defined function being run, or ""
};

}  // namespace kel

#endif  // KEL_CORE_STATEMENT_POSITION_H
