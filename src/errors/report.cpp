// The error report: what is shown, in which box, what the answer means, and the quiet-mode log.
#include "errors/report.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "core/hooks.h"
#include "core/statement_position.h"
#include "errors/error_box.h"
#include "errors/error_handlers.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"

namespace kel {
namespace {

constexpr std::uint32_t kFirstCatalogueId = 100;
constexpr std::size_t kWindowTitleBytes = 500;  // at most 499 characters of the host's title

void CopyText(char* out, std::size_t size, const char* text) {
  std::snprintf(out, size, "%s", text != nullptr ? text : "");
}

}  // namespace

void LogQuietEntry(BatchContext& context, const char* headline, const char* line) {
  const ErrorState& errors = context.errors;
  if (errors.errorLogFile[0] == '\0') return;
  char title[kWindowTitleBytes];
  platform::WindowTitle(context.parentWindow, title, sizeof title);
  platform::LocalDateTime now = platform::CurrentLocalTime();
  char entry[kWindowTitleBytes + 2 * kErrorTextBytes + 100];
  int length =
      std::snprintf(entry, sizeof entry, "%02d/%02d/%02d  %02d:%02d:%02d  %s\r\n\r\n", now.month,
                    now.day, now.year % 100, now.hour, now.minute, now.second, title);
  auto append = [&](const char* text) {
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof entry) return;
    int written = std::snprintf(entry + length, sizeof entry - length, "%s", text);
    if (written > 0) length += written;
  };
  if (headline[0] != '\0') {
    append(headline);
    append("\r\n");
  }
  append("\r\n");
  if (line[0] != '\0') {
    append(line);
    append("\r\n");
  }
  append("\r\n<HR>\r\n\r\n");
  if (length < 0) return;
  std::size_t bytes = static_cast<std::size_t>(length) < sizeof entry
                          ? static_cast<std::size_t>(length)
                          : sizeof entry - 1;
  // A log that cannot be written loses the entry; the answer stays Exit.
  platform::AppendToFile(errors.errorLogFile, entry, bytes);
}

namespace {

void LogQuietReport(BatchContext& context) {
  LogQuietEntry(context, context.errors.errorHeadline, context.errors.errorLine);
}

// Keeps where the reported statement stands, for the host to read with the report.
void KeepErrorPlace(BatchContext& context) {
  ErrorState& errors = context.errors;
  errors.errorPlace[0] = '\0';
  if (Hooks().locateFailingStatement == nullptr) return;
  SourcePosition position{};
  Hooks().locateFailingStatement(context, position);
  if (position.line > 0)
    std::snprintf(errors.errorPlace, sizeof errors.errorPlace, "%s:%ld",
                  position.fileOfLine != nullptr ? position.fileOfLine : position.file,
                  static_cast<long>(position.fileLine));
  else
    CopyText(errors.errorPlace, sizeof errors.errorPlace, position.file);
  std::size_t length = std::strlen(errors.errorPlace);
  if (Hooks().describeCallers != nullptr && length + 2 < sizeof errors.errorPlace) {
    errors.errorPlace[length] = '\n';
    if (Hooks().describeCallers(context, errors.errorPlace + length + 1,
                                sizeof errors.errorPlace - length - 1) == 0)
      errors.errorPlace[length] = '\0';
  }
}

}  // namespace

int PresentError(BatchContext& context, void* owner, platform::ErrorBoxKind kind) {
  context.errors.reportKept = 1;
  KeepErrorPlace(context);
  if (context.errors.quietErrors != 0) {
    LogQuietReport(context);
    return platform::kErrorBoxExit;
  }
  return RunErrorBox(context, owner, kind);
}

int ReportError(BatchContext& context, void* owner, std::uint32_t textId, std::uint32_t numberId,
                int errorClass) {
  ErrorState& errors = context.errors;
  errors.lastErrNum = static_cast<std::int32_t>(numberId);
  // Under @OFF a minor error is the script's own business: it reads it with LastError.
  if (errors.errorMode == kErrorModeOff && errorClass == kClassMinor) return 1;
  if (textId >= kFirstCatalogueId)
    LoadMessage(context, textId, errors.errorLine, sizeof errors.errorLine);
  if (numberId >= kFirstCatalogueId) {
    int length =
        std::snprintf(errors.errorHeadline, sizeof errors.errorHeadline, "%u:  ", numberId);
    LoadMessage(context, numberId, errors.errorHeadline + length,
                sizeof errors.errorHeadline - static_cast<std::size_t>(length));
  }
  bool mustEnd = errors.errorMode == kErrorModeCancel || errorClass == kClassSevere;
  platform::ErrorBoxKind kind =
      mustEnd ? platform::ErrorBoxKind::Ok : platform::ErrorBoxKind::ContinueOrExit;
  int answer = PresentError(context, owner != nullptr ? owner : context.hostWindow, kind);
  if (mustEnd || answer == platform::kErrorBoxExit || answer == platform::kErrorBoxWebPage)
    return 0;
  errors.errNum = 0;
  return 1;
}

int ReportStatementError(BatchContext& context, const char* statementText, bool handlerRan) {
  ErrorState& errors = context.errors;
  std::uint32_t number = errors.errNum;
  if (number == 0 || number > kLastErrorNumber) return 1;
  if (statementText != errors.errorLine)
    CopyText(errors.errorLine, sizeof errors.errorLine, statementText);
  int errorClass = ErrorClass(number);
  // A minor error under @OFF is not shown; the handler variables still describe it, so that the
  // script can look at the error it did not see.
  if (errors.errorMode == kErrorModeOff && errorClass == kClassMinor && !handlerRan) {
    errors.lastErrNum = static_cast<std::int32_t>(number);
    FillErrorHandlerVariables(context);
  }
  int result = ReportError(context, context.hostWindow, 1, number, errorClass);
  DiscardMoreErrorInfo(context);
  return result;
}

std::int32_t SetQuietMode(BatchContext& context, std::int32_t setting, const char* logFile) {
  ErrorState& errors = context.errors;
  std::int32_t previous = errors.quietErrors;
  if (setting == 0 || setting == 1) errors.quietErrors = setting;
  if (logFile != nullptr && *logFile != '\0')
    CopyText(errors.errorLogFile, sizeof errors.errorLogFile, logFile);
  return previous;
}

std::int32_t SetHelpPage(BatchContext& context, std::int32_t setting, const char* address) {
  ErrorState& errors = context.errors;
  std::int32_t previous = errors.helpPageOn;
  if (setting == 0 || setting == 1) errors.helpPageOn = setting;
  if (address != nullptr && *address != '\0' && std::strcmp(address, "0") != 0)
    CopyText(errors.helpPageAddress, sizeof errors.helpPageAddress, address);
  return previous;
}

std::int32_t CopyKeptReport(BatchContext& context, char* line, char* headline, char* place,
                            std::size_t size) {
  const ErrorState& errors = context.errors;
  if (size == 0) return 0;
  for (char* out : {line, headline, place})
    if (out != nullptr) out[0] = '\0';
  if (errors.reportKept == 0) return 0;
  if (line != nullptr) CopyText(line, size, errors.errorLine);
  if (headline != nullptr) CopyText(headline, size, errors.errorHeadline);
  if (place != nullptr) CopyText(place, size, errors.errorPlace);
  return 1;
}

void InitialiseErrorReporting(BatchContext& context) {
  ErrorState& errors = context.errors;
  errors.errorMode = kErrorModeCancel;
  errors.handlers = StartingHandlers();
  errors.helpPageOn = HasMessage(context, kMsgHelpPageAddress) ? 1 : 0;
  if (errors.helpPageOn != 0)
    LoadMessage(context, kMsgHelpPageAddress, errors.helpPageAddress,
                sizeof errors.helpPageAddress);
}

}  // namespace kel
