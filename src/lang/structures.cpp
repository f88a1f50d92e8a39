// The structure stack as seen from outside the statement runner.
#include "lang/structures.h"

#include "host/batch_context.h"

namespace kel {

// The statement runner does not open structures yet, so no branch is ever being skipped.
bool InnermostStructureSkipping(const BatchContext&) {
  return false;
}

}  // namespace kel
