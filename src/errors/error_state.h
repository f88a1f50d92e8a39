// The error state of a context and the small helpers every routine uses to raise and test
// errors: a failing routine stores a number and returns; its caller tests and unwinds.
#ifndef KEL_ERRORS_ERROR_STATE_H
#define KEL_ERRORS_ERROR_STATE_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kel {

struct BatchContext;

constexpr std::size_t kMoreErrorInfoBytes = 1025;
constexpr std::size_t kUserErrorTextBytes = 256;
constexpr std::size_t kErrorTextBytes = 2050;
constexpr std::size_t kErrorLogFileBytes = 260;
constexpr std::size_t kHelpPageAddressBytes = 256;
constexpr std::size_t kHostVersionBytes = 256;

// Error modes, as `ErrorMode` and the scripts' @OFF, @CANCEL and @NOTIFY name them.
constexpr std::int32_t kErrorModeOff = 0;
constexpr std::int32_t kErrorModeCancel = 1;
constexpr std::int32_t kErrorModeNotify = 2;

struct ErrorState {
  std::uint32_t errNum;      // the statement's error; 0 = none
  std::int32_t lastErrNum;   // the last error reported to the script
  std::int32_t userErrCode;  // companion code of extender and user errors
  char userErrText[kUserErrorTextBytes];
  platform::MemoryHandle moreErrorInfo;  // up to 1024 characters, or none
  std::int32_t errorMode;                // @OFF 0, @CANCEL 1, @NOTIFY 2
  std::int32_t quietErrors;              // report to the log and the host instead of a box
  char errorLogFile[kErrorLogFileBytes];
  std::int32_t helpPageOn;
  char helpPageAddress[kHelpPageAddressBytes];
  char errorLine[kErrorTextBytes];
  char errorHeadline[kErrorTextBytes];
  // The last report's line and headline are waiting for the host to read them back.
  std::int32_t reportKept;
  // Set by ErrorEvent when its box let the user go on: the statement runner then carries on
  // with the next statement although 9016 stands.
  std::int32_t statementContinues;
  // The host's version text (DLLServices request 0), shown in the error box.
  char hostVersion[kHostVersionBytes];
};

// Error classes as the error box receives them.
constexpr int kClassMinor = 1;
constexpr int kClassModerate = 0;
constexpr int kClassSevere = 13;
int ErrorClass(std::uint32_t number);

void SetError(BatchContext& context, std::uint32_t number);
bool HasError(const BatchContext& context);

// Adds a text to the "more error information" block (a separator line between texts;
// at most 1024 characters in all).
void AppendMoreErrorInfo(BatchContext& context, const char* text);
void DiscardMoreErrorInfo(BatchContext& context);
// The current more-error-information text ("" when there is none); valid until it changes.
std::size_t MoreErrorInfoText(BatchContext& context, char* out, std::size_t size);
// Records a failed system call in the settings file and, with `append`, in the more-info text.
void RecordApiError(BatchContext& context, std::uint32_t code, const char* callName, bool append);

}  // namespace kel

#endif  // KEL_ERRORS_ERROR_STATE_H
