// The launch routine that every Run function goes through: the show and wait arguments, the
// series of command lines tried until one starts a program, the wait for the program to end
// and the report when nothing could be started.
#ifndef KEL_FUNCTIONS_LAUNCH_LAUNCHER_H
#define KEL_FUNCTIONS_LAUNCH_LAUNCHER_H

#include <cstdint>
#include <string>

#include "lang/value.h"

namespace kel {

struct BatchContext;
namespace platform {
struct LogonAccount;
}

// The wait argument of the launch functions (@NOWAIT .. @GETEXITCODE).
constexpr std::int32_t kNoWait = 33;
constexpr std::int32_t kWait = 34;
constexpr std::int32_t kGetProcessId = 35;
constexpr std::int32_t kGetExitCode = 36;
// The script's show modes.
constexpr std::int32_t kShowHidden = -1;
constexpr std::int32_t kShowNormal = 2;

struct LaunchRequest {
  std::u16string program;
  std::u16string parameters;
  std::u16string directory;               // "" for the current one
  std::int32_t showMode;                  // @HIDDEN, @ICON, @NORMAL, @ZOOMED or @NOACTIVATE
  std::int32_t wait;                      // @NOWAIT, @WAIT, @GETPROCID or @GETEXITCODE
  const platform::LogonAccount* account;  // null, or the account of RunWithLogon
};

// Starts the request's program and sets the result: 1, the process id (@GETPROCID) or the exit
// code (@GETEXITCODE); 0 with the error set when nothing could be started.
void LaunchCommandLine(BatchContext& context, const LaunchRequest& request, EvalValue& result);

// The system's show command for a script show mode; false for a mode that is none.
bool ShowCommandOf(std::int32_t showMode, int* showCommand);

}  // namespace kel

#endif  // KEL_FUNCTIONS_LAUNCH_LAUNCHER_H
