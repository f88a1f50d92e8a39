// What the rest of the engine asks of the statement runner's structure stack.
#ifndef KEL_LANG_STRUCTURES_H
#define KEL_LANG_STRUCTURES_H

namespace kel {

struct BatchContext;

// True while the innermost open structure is skipping a branch that is not taken; errors met
// there are not reported.
bool InnermostStructureSkipping(const BatchContext& context);

}  // namespace kel

#endif  // KEL_LANG_STRUCTURES_H
