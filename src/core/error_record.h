// The error part of the BatchContext: the statement's error number, the error settings and the
// texts of the last report. Raising, testing and reporting errors is in src/errors.
#ifndef KEL_CORE_ERROR_RECORD_H
#define KEL_CORE_ERROR_RECORD_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace kel {

constexpr std::size_t kMoreErrorInfoBytes = 1025;
constexpr std::size_t kUserErrorTextBytes = 256;
constexpr std::size_t kErrorTextBytes = 2050;
constexpr std::size_t kErrorPlaceBytes = 4096;
constexpr std::size_t kErrorLogFileBytes = 260;
constexpr std::size_t kHelpPageAddressBytes = 256;
constexpr std::size_t kHostVersionBytes = 256;

constexpr std::size_t kHandlerNameBytes = 32;  // a handler function's name: 30 characters

// The script's cancel and error handlers (IntControl 72 and 73). Each level of execution (the
// script, a user-defined function, a called script) has its own.
struct HandlerSettings {
  // -1 (the start): Goto CANCEL when the script has the label, staying armed; 0 off; 1 Goto
  // the label; 2 Gosub the label; 3 call the function named in `cancelFunction`.
  std::int32_t cancelMode;
  // 0 (the start) off; 1 Goto TVERRORHANDLER; 2 Gosub it; 3 call `errorFunction`.
  std::int32_t errorMode;
  char cancelFunction[kHandlerNameBytes];
  char errorFunction[kHandlerNameBytes];
};

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
  // Where the reported statement stands, as "FILE:LINE" ("FILE" when its line is not known),
  // followed by a line for each call that led there when it ran in a function or called script.
  char errorPlace[kErrorPlaceBytes];
  // Set by ErrorEvent when its box let the user go on: the statement runner then carries on
  // with the next statement although 9016 stands.
  std::int32_t statementContinues;
  // The host's version text (DLLServices request 0), shown in the error box.
  char hostVersion[kHostVersionBytes];
  HandlerSettings handlers;
};

}  // namespace kel

#endif  // KEL_CORE_ERROR_RECORD_H
