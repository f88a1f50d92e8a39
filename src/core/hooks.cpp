// The table of routines that lower subsystems call in higher ones.
#include "core/hooks.h"

namespace kel {

EngineHooks& Hooks() {
  static EngineHooks hooks{};
  return hooks;
}

}  // namespace kel
