// The run loop.
#include "host/run_loop.h"

#include "host/batch_context.h"

namespace kel {

// Lines are read and run once the loader and the statement runner are in place; until then
// an accepted text ends at once, as an empty script does.
int RunLoop(BatchContext& context, const char*, std::size_t, EvalValue&) {
  context.runResult = 1;
  return 1;
}

}  // namespace kel
