// Reporting an error to the user (the error box) or, in quiet mode, to the log and the host.
#ifndef KEL_ERRORS_REPORT_H
#define KEL_ERRORS_REPORT_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kel {

struct BatchContext;

// Shows the error: a text id above 99 loads that text into the error line, a number id above
// 99 builds the headline "<number>:  <text>"; `errorClass` is 1 (minor), 0 (moderate) or 13
// (severe). Under @OFF a minor error is not shown. Returns 1 when the script goes on (errNum
// cleared, or left for the runner under @OFF), 0 when it must end. A null owner means the host
// window.
int ReportError(BatchContext& context, void* owner, std::uint32_t textId, std::uint32_t numberId,
                int errorClass);

// The statement runner's last step after a statement whose error no handler took: reports an
// errNum of 1 .. 8999 with the statement's text as the error line, then discards the
// more-error-information text. `handlerRan` tells whether a handler saw this error. Returns 1
// when the script goes on and 0 when it ends; errNum 0 and completion codes (9000 and up) are
// not errors to report and leave everything as it is (returning 1).
int ReportStatementError(BatchContext& context, const char* statementText, bool handlerRan);

// Shows the error whose line and headline are filled in, as the box of `kind`, or logs it in
// quiet mode (answering Exit). Returns the button: platform::kErrorBoxContinue,
// kErrorBoxExit or kErrorBoxWebPage (after the web page was opened).
int PresentError(BatchContext& context, void* owner, platform::ErrorBoxKind kind);

// Quiet mode (IntControl 38, DLLServices 23): `setting` 0 or 1 sets it (other values leave it),
// a non-empty `logFile` becomes the log. Returns the previous setting.
// Appends an entry to the error log of quiet mode: a dated line with the host window's title,
// the headline, the line and a rule between entries. Nothing without a log file.
void LogQuietEntry(BatchContext& context, const char* headline, const char* line);
std::int32_t SetQuietMode(BatchContext& context, std::int32_t setting, const char* logFile);
// The help web page of the error box (IntControl 50, DLLServices 30): `setting` 0 or 1 sets it,
// an address other than "" and "0" is kept (at most 255 characters). Returns the previous
// setting.
std::int32_t SetHelpPage(BatchContext& context, std::int32_t setting, const char* address);
// For the host (DLLServices 25): copies the last report's error line, headline and, when
// `place` is not null, where its statement stands ("FILE:LINE", then a line for each call that
// led there), each at most `size` bytes with the terminator. Returns 1 when there was a report,
// 0 when not.
std::int32_t CopyKeptReport(BatchContext& context, char* line, char* headline, char* place,
                            std::size_t size);

// The error settings a context starts with: @CANCEL, and the help page on when the product
// names a default address.
void InitialiseErrorReporting(BatchContext& context);

}  // namespace kel

#endif  // KEL_ERRORS_REPORT_H
