// The script's error handlers, as far as error reporting needs them.
#include "errors/error_handlers.h"

#include "core/batch_context.h"
#include "core/hooks.h"

namespace kel {

HandlerSettings StartingHandlers() {
  HandlerSettings settings{};
  settings.cancelMode = -1;
  settings.errorMode = 0;
  return settings;
}

bool ErrorHandlerSet(const BatchContext& context) {
  return context.errors.handlers.errorMode != 0;
}

void FillErrorHandlerVariables(BatchContext& context) {
  if (Hooks().describeError != nullptr) Hooks().describeError(context, false, false);
}

}  // namespace kel
