// The two lines of the error box that tell where the failing statement stands.
#ifndef KEL_ERRORS_SOURCE_POSITION_H
#define KEL_ERRORS_SOURCE_POSITION_H

#include <cstddef>
#include <cstdint>

#include "core/batch_context.h"
#include "core/statement_position.h"

namespace kel {

// The line information (control 110: "On line 12 of file", "Near line ...", "In file") and the
// file information (control 111: "In file", "In Routine "name"" or ""), each at most `size`
// bytes.
void FormatLineInformation(BatchContext& context, const SourcePosition& position,
                           char* lineInformation, char* fileInformation, std::size_t size);

}  // namespace kel

#endif  // KEL_ERRORS_SOURCE_POSITION_H
