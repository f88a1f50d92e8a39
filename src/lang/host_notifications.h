// Notifications to the host: a host that asks for them (its notify mask, set through
// DLLServices) is told of every statement before it runs, of each break-key poll while the
// engine pumps, and of the script files that calls enter and leave, so that it can follow a
// script statement by statement.
#ifndef KEL_LANG_HOST_NOTIFICATIONS_H
#define KEL_LANG_HOST_NOTIFICATIONS_H

#include <cstdint>

#include "kel/kel_host.h"

namespace kel {

struct BatchContext;
struct StatementLine;

// The bits of the notify mask.
constexpr std::uint32_t kNotifyBreakPoll = KEL_NOTIFY_BREAK_POLL;
constexpr std::uint32_t kNotifyStatement = KEL_NOTIFY_STATEMENT;
constexpr std::uint32_t kNotifyCalledFile = KEL_NOTIFY_CALLED_FILE;
constexpr std::uint32_t kNotifyScriptFile = KEL_NOTIFY_SCRIPT_FILE;

// The host's requests for the notifications.
constexpr std::int32_t kNotifyRequestRun = -1;
constexpr std::int32_t kNotifyRequestCall = -4;
constexpr std::int32_t kNotifyRequestFile = -5;

// Calls the host's function entry with `request` and the five items as text arguments; the
// current directory and the error number stand afterwards as they stood before. False when the
// host answered that the run must end: the error number is then 9012.
bool NotifyHost(BatchContext& context, std::int32_t request, const char* const (&items)[5]);

// Before a statement runs (bit 1). False when the host ended the run.
bool NotifyStatement(BatchContext& context, const StatementLine& statement);

// After a break-key poll (bit 0): a host that ends the run there stops the script.
void NotifyBreakPoll(BatchContext& context);

// A script file is entered (`phase` 1) or left (0 after success, -1 after a failure), as the
// notify mask asks: Call's notice (request -4, bit 2) with the called file's path and the call
// depth when `depth` is above 0, and the file-change notice (request -5, bit 3) with the path.
// False when the host ended the run (the error number is then 9012).
bool NotifyFileChange(BatchContext& context, const char* path, int depth, int phase);

}  // namespace kel

#endif  // KEL_LANG_HOST_NOTIFICATIONS_H
