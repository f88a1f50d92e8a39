// The numbers of the message catalogue that the engine's code uses, by the names the catalogue
// gives them: each KEL_ERROR(number, Name, "text") line of resources/messages.inc is kErrName
// here, each KEL_TEXT(number, Name, "text") line (texts of the user interface and hints for the
// more-error-information text) kMsgName. A number the code starts to use gets its name there.
#ifndef KEL_ERRORS_ERROR_NUMBERS_H
#define KEL_ERRORS_ERROR_NUMBERS_H

#include <cstdint>

namespace kel {

enum ErrorNumber : std::uint32_t {
#define KEL_MESSAGE(number, text)
#define KEL_ERROR(number, name, text) kErr##name = number,
#define KEL_TEXT(number, name, text)
#include "resources/messages.inc"
#undef KEL_TEXT
#undef KEL_ERROR
#undef KEL_MESSAGE

  // Completion codes: how a statement or a run ended when no error is left to report. They are
  // no texts of the catalogue.
  kCompletionNormalEnd = 9000,
  kCompletionHostStop = 9012,             // the host's function asked the script to stop
  kCompletionReported = 9013,             // an error was reported; userErrCode says why
  kCompletionExtenderReported = 9014,     // an extender error was reported
  kCompletionFunctionReported = 9015,     // an error inside a user-defined function was reported
  kCompletionUserReported = 9016,         // an ErrorEvent error was reported
  kCompletionQuietEnd = 9019,             // IntControl 8: the run ends without a report
  kCompletionHandledInAssignment = 9998,  // a handler took the error of an assignment
  kCompletionCancel = 9999,               // User requested Cancel
};

// Errors are numbered 1 .. 8999; the numbers above are the completion codes.
constexpr std::uint32_t kLastErrorNumber = 8999;

enum MessageNumber : std::uint32_t {
#define KEL_MESSAGE(number, text)
#define KEL_ERROR(number, name, text)
#define KEL_TEXT(number, name, text) kMsg##name = number,
#include "resources/messages.inc"
#undef KEL_TEXT
#undef KEL_ERROR
#undef KEL_MESSAGE

  // The product's default help web address; the catalogue names none, so none is configured.
  kMsgHelpPageAddress = 61,
};

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_NUMBERS_H
