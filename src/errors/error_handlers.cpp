// The script's error handlers, as far as error reporting needs them.
#include "errors/error_handlers.h"

#include "core/batch_context.h"

namespace kel {

// NOTE: the handler modes of IntControl 72 and 73 and the handler variables arrive with the
// statement runner; until then no handler can be armed and there is nothing to fill.
bool ErrorHandlerSet(const BatchContext&) {
  return false;
}

void FillErrorHandlerVariables(BatchContext&) {}

}  // namespace kel
