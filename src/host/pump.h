// Message pumping while a script runs, timed waits and the user break.
#ifndef KEL_HOST_PUMP_H
#define KEL_HOST_PUMP_H

#include <cstdint>

namespace kel {

struct BatchContext;

// Between two statements: the full pump (or the light one under noYield) every few
// milliseconds of running.
void PumpBetweenStatements(BatchContext& context);
// Handles every waiting message of the thread (20 ms after each), polling the break keys.
void FullPump(BatchContext& context);
// The same, yielding only briefly after each message.
void LightPump(BatchContext& context);
// One turn of the pump inside a wait: the light one when the script asked not to yield, else
// the full one.
void WaitPump(BatchContext& context);
// Waits `milliseconds` while keeping the host responsive; ends early on a stop.
void TimedWait(BatchContext& context, std::uint32_t milliseconds);
// Ctrl+Break requests a stop unless the script switched the break keys off.
void PollBreakKeys(BatchContext& context);

}  // namespace kel

#endif  // KEL_HOST_PUMP_H
