// Reporting an error to the user (the error box) or, in quiet mode, to the log and the host.
#ifndef KEL_ERRORS_REPORT_H
#define KEL_ERRORS_REPORT_H

#include <cstdint>

namespace kel {

struct BatchContext;

// Shows the error: a text id above 99 loads that text into the error line, a number id above
// 99 builds the headline "<number>:  <text>". Returns 1 when the script goes on (errNum
// cleared), 0 when it must end.
int ReportError(BatchContext& context, void* owner, std::uint32_t textId, std::uint32_t numberId,
                int errorClass);

}  // namespace kel

#endif  // KEL_ERRORS_REPORT_H
