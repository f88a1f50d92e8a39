// Enumerating a collection for ForEach: start from a Value, fetch one element after another into
// the loop variable, release.
//
// An array is walked in row-major order, the order its elements are stored in. The enumeration
// holds the array (one holder of its own), so the loop keeps working when the script drops or
// reassigns the variable it came from.
#ifndef KEL_LANG_FOREACH_H
#define KEL_LANG_FOREACH_H

#include <cstdint>

#include "core/control_flow_state.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;

// Starts an enumeration of `collection` (which is left as it was). A value that cannot be
// enumerated is error 3650; false with the error set.
bool StartEnumeration(BatchContext& context, const EvalValue& collection, Enumeration& out);
// Copies the next element into variable slot `slot` of the current frame. False when there is
// none left (or with the error set when the element's texts do not fit in the heap).
bool NextElement(BatchContext& context, Enumeration& enumeration, std::uint16_t slot);
// Gives the collection back and forgets the collection text; an inactive one is left alone.
void ReleaseEnumeration(BatchContext& context, Enumeration& enumeration);

}  // namespace kel

#endif  // KEL_LANG_FOREACH_H
