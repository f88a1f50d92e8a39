// The traceback window's lines: the open structures and the failing statement.
#ifndef KEL_ERRORS_TRACEBACK_H
#define KEL_ERRORS_TRACEBACK_H

#include <cstddef>

#include "errors/source_position.h"

namespace kel {

struct BatchContext;

// Writes the traceback as lines separated by line feeds: the header, an empty line, one line per
// open structure (outermost first) and the "<error>" line with the failing statement. Returns the
// length written (cut to fit `size`).
std::size_t FormatTraceback(BatchContext& context, const SourcePosition& position, char* out,
                            std::size_t size);

}  // namespace kel

#endif  // KEL_ERRORS_TRACEBACK_H
