// The launch and pipe functions' part of the context: what a launch leaves behind (the exit
// code of the last program waited for), the launch settings, and the error of the last pipe
// operation that failed. Plain data, as the context is.
#ifndef KEL_CORE_LAUNCH_STATE_H
#define KEL_CORE_LAUNCH_STATE_H

#include <cstdint>

namespace kel {

// The exit code a launch reports until a program it waited for has ended.
constexpr std::uint32_t kNoExitCode = 99999;

struct LaunchState {
  std::uint32_t lastExitCode;   // kNoExitCode, or the exit code of the last program waited for
  std::uint32_t inputIdleMs;    // 0, or how long a started program is given to become idle
  std::int32_t extendedErrors;  // a failed launch adds the system's error text to the report
  std::uint32_t lastPipeError;  // the system error of the last failed pipe operation
};

inline void InitialiseLaunchState(LaunchState& state) {
  state = LaunchState{kNoExitCode, 0, 1, 0};
}

}  // namespace kel

#endif  // KEL_CORE_LAUNCH_STATE_H
