// The evaluator's part of the BatchContext. The evaluator itself is lang/evaluator.h.
#ifndef KEL_CORE_EVALUATOR_STATE_H
#define KEL_CORE_EVALUATOR_STATE_H

#include <cstdint>

namespace kel {

struct EvaluatorState {
  std::uint8_t allowAssign;
  // Nesting of sub-expressions and calls; bounded so that a deep expression or recursion ends
  // in an error rather than exhausting the machine stack.
  std::uint16_t depth;
  // The assignment target of the main script's statement in progress (frame << 16 | slot), -1
  // when none; a running user-defined function keeps its own in its record.
  std::int32_t mainAssignTarget;
  // Counts the expressions evaluated, so that the run loop can tell a line that only passed
  // skipped code from one that computed something.
  std::uint32_t evaluations;
};

}  // namespace kel

#endif  // KEL_CORE_EVALUATOR_STATE_H
