// The error report.
#include "errors/report.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "errors/messages.h"
#include "host/batch_context.h"
#include "platform/platform.h"

namespace kel {

int ReportError(BatchContext& context, void* owner, std::uint32_t textId, std::uint32_t numberId,
                int errorClass) {
  ErrorState& errors = context.errors;
  errors.lastErrNum = static_cast<std::int32_t>(numberId);
  if (textId > 99) LoadMessage(context, textId, errors.errorLine, sizeof errors.errorLine);
  if (numberId > 99) {
    int length =
        std::snprintf(errors.errorHeadline, sizeof errors.errorHeadline, "%u:  ", numberId);
    LoadMessage(context, numberId, errors.errorHeadline + length,
                sizeof errors.errorHeadline - length);
  }
  std::string text = std::string(errors.errorHeadline) + "\n" + errors.errorLine;
  platform::MessageBoxText(owner ? owner : context.hostWindow, text.c_str(), "Error");
  return 0;
}

}  // namespace kel
