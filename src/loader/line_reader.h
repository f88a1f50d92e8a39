// Reading a hidden script text one line at a time.
#ifndef KEL_LOADER_LINE_READER_H
#define KEL_LOADER_LINE_READER_H

#include <cstddef>
#include <cstdint>

#include "core/loader_state.h"

namespace kel {

struct BatchContext;

// The longest line a statement may have; a longer one leaves 3722 pending for when it is run.
constexpr std::size_t kMaxLineLength = 2048;

// Reads the line at `nextOffset` into `buffer` without its leading blanks and moves
// `nextOffset` past its end; `lineStart` receives the offset of its first non-blank character.
// Returns 1 when a line (possibly empty) was read, 0 at the end of the text. A line longer than
// 2048 characters is cut there and the rest of it consumed; the error waits in
// `context.loader.pendingLineError`, which every call first clears.
int ReadLine(BatchContext& context, char* buffer, std::size_t size, const ScriptText& text,
             std::uint32_t& lineStart, std::uint32_t& nextOffset);

}  // namespace kel

#endif  // KEL_LOADER_LINE_READER_H
