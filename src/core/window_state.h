// The window functions' settings of one script.
#ifndef KEL_CORE_WINDOW_STATE_H
#define KEL_CORE_WINDOW_STATE_H

#include <cstdint>

namespace kel {

struct WindowState {
  // How many more times a window that is not there is looked for, a second apart.
  std::int32_t retries;
  // The pause after a restore, minimize, maximize or close command is posted to a window.
  std::int32_t actionDelayMs;
  // The pause after a wait for a window to appear or to close has succeeded.
  std::int32_t waitDelayMs;
};

inline void InitialiseWindowState(WindowState& state) {
  state.retries = 9;
  state.actionDelayMs = 100;
  state.waitDelayMs = 500;
}

}  // namespace kel

#endif  // KEL_CORE_WINDOW_STATE_H
