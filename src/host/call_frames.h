// The calls that led to the failing statement, for the error report a host reads back.
#ifndef KEL_HOST_CALL_FRAMES_H
#define KEL_HOST_CALL_FRAMES_H

#include <cstddef>

namespace kel {

struct BatchContext;

// Writes one line per open function call or called script, innermost first:
// "  in function NAME, called from FILE:LINE: statement", or "  in script FILE, called from ..."
// with the called script's file as the error box names it. Empty when the statement ran at the
// script's own level. Returns the length written (cut to fit `size`).
std::size_t DescribeCallers(BatchContext& context, char* out, std::size_t size);

}  // namespace kel

#endif  // KEL_HOST_CALL_FRAMES_H
