// LastError, ErrorMode and ErrorEvent.
#include "errors/error_functions.h"

#include <cstdio>

#include "core/batch_context.h"
#include "errors/error_handlers.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "errors/report.h"

namespace kel {
namespace {

constexpr std::int32_t kFirstUserCode = 7000;
constexpr std::int32_t kLastUserCode = 7999;
constexpr std::size_t kWordBytes = 128;

// Errors whose own number says only "see the companion code".
bool HasCompanionCode(std::int32_t number) {
  switch (number) {
    case kErrExtenderMinor:
    case kErrExtenderModerate:
    case kErrExtenderSevere:
    case kCompletionReported:
    case kCompletionExtenderReported:
    case kCompletionFunctionReported:
    case kCompletionUserReported:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::int32_t LastError(BatchContext& context) {
  ErrorState& errors = context.errors;
  std::int32_t number =
      HasCompanionCode(errors.lastErrNum) ? errors.userErrCode : errors.lastErrNum;
  errors.lastErrNum = 0;
  errors.userErrCode = 0;
  return number;
}

std::int32_t ErrorMode(BatchContext& context, std::int32_t mode) {
  ErrorState& errors = context.errors;
  std::int32_t previous = errors.errorMode;
  errors.errorMode = mode == kErrorModeOff      ? kErrorModeOff
                     : mode == kErrorModeCancel ? kErrorModeCancel
                                                : kErrorModeNotify;
  // NOTE: an active debug trace records the change here once the trace file exists.
  return previous;
}

std::int32_t ErrorEvent(BatchContext& context, std::int32_t severity, std::int32_t code,
                        const char* message) {
  ErrorState& errors = context.errors;
  std::uint32_t number;
  switch (severity) {
    case -1:
      number = kErrUserMinor;
      break;
    case -2:
      number = kErrUserModerate;
      break;
    case -3:
      number = kErrUserSevere;
      break;
    default:
      SetError(context, kErrErrorEventSeverity);
      return 0;
  }
  if (code < kFirstUserCode || code > kLastUserCode) {
    SetError(context, kErrErrorEventCode);
    return 0;
  }
  if (message == nullptr) message = "";
  errors.userErrCode = code;
  std::snprintf(errors.userErrText, sizeof errors.userErrText, "%s", message);

  // A minor error under @OFF, and any error an armed handler will take, waits for the
  // statement runner like any other error.
  if ((errors.errorMode == kErrorModeOff && severity == -1) || ErrorHandlerSet(context)) {
    SetError(context, number);
    return 1;
  }

  char heading[kWordBytes];
  LoadMessage(context, kMsgUserDefinedError, heading, sizeof heading);
  std::snprintf(errors.errorHeadline, sizeof errors.errorHeadline, "%s  %ld: %s", heading,
                static_cast<long>(code), message);
  std::snprintf(errors.errorLine, sizeof errors.errorLine, "%s", message);
  bool mustEnd = errors.errorMode == kErrorModeCancel || severity == -3;
  // The script reads the user's code back through LastError.
  errors.lastErrNum = kCompletionUserReported;
  int answer =
      PresentError(context, context.hostWindow,
                   mustEnd ? platform::ErrorBoxKind::Ok : platform::ErrorBoxKind::ContinueOrExit);
  DiscardMoreErrorInfo(context);
  SetError(context, kCompletionUserReported);
  errors.statementContinues =
      !mustEnd && answer != platform::kErrorBoxExit && answer != platform::kErrorBoxWebPage ? 1 : 0;
  return 1;
}

}  // namespace kel
