// Calls out of the engine: the host's own functions (and, later, extender functions) through
// the value-record entry, with the services block and the answer callback.
#ifndef KEL_BUILTINS_EXTENDER_ROUTER_H
#define KEL_BUILTINS_EXTENDER_ROUTER_H

#include <cstdint>

#include "core/exports.h"
#include "kel/kel_extender.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;

// Calls request `request` of the host's entry with the arguments; the answer lands in
// `result`. False with the error set when the host failed or cannot be called.
bool CallHostEntry(BatchContext& context, std::int32_t request, EvalValue* arguments, int count,
                   EvalValue& result);

// Fills a services block for a call whose result goes to `result`.
void PrepareServicesBlock(BatchContext& context, EvalValue* result, KelServicesBlock& block);

}  // namespace kel

#endif  // KEL_BUILTINS_EXTENDER_ROUTER_H
