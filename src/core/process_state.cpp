// The state every context of the process shares.
#include "core/process_state.h"

namespace kel {

ProcessState& Process() {
  static ProcessState state{};
  return state;
}

}  // namespace kel
