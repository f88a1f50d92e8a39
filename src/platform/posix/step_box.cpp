// Without a window system there is no single-step box.
#include "platform/step_box.h"

namespace kel::platform {

bool StepBoxAvailable() {
  return false;
}

StepChoice ShowStepBox(void*, const StepBoxTexts&, VariableLookup, void*) {
  return StepChoice::Run;
}

}  // namespace kel::platform
