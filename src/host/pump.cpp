// Message pumping between statements and inside waits.
#include "host/pump.h"

#include "core/batch_context.h"
#include "lang/host_notifications.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr int kVirtualKeyControl = 17;
constexpr int kVirtualKeyCancel = 3;
constexpr std::uint32_t kBreakKeysOff = 0x8;

enum class PumpKind { Full, Light };

void Pump(BatchContext& context, PumpKind kind) {
  if (context.pumpingSuspended) return;
  bool handled = false;
  while (!context.stopRequested && platform::DispatchOneMessage()) {
    handled = true;
    PollBreakKeys(context);
    platform::SleepMilliseconds(kind == PumpKind::Full ? 20 : 0);
  }
  if (!handled) PollBreakKeys(context);
  if (kind == PumpKind::Full && !context.noYield) platform::SleepMilliseconds(0);
}

// How often the statements look at the clock, and how long they run between two pumps: often
// enough for the host's window and the break keys to answer at once, rarely enough that a
// statement costs no system call.
constexpr std::uint32_t kStatementsPerClockLook = 16;
constexpr std::uint32_t kPumpIntervalMs = 10;

}  // namespace

void PumpBetweenStatements(BatchContext& context) {
  // Without a message queue there is nothing to dispatch, and no break key to read.
  if constexpr (!platform::kHasMessageQueue) return;
  if (++context.statementsSincePump < kStatementsPerClockLook) return;
  context.statementsSincePump = 0;
  std::uint32_t now = platform::TickCount();
  if (now - context.lastPumpTicks < kPumpIntervalMs) return;  // unsigned: survives the wrap
  context.lastPumpTicks = now;
  WaitPump(context);
}

void FullPump(BatchContext& context) {
  Pump(context, PumpKind::Full);
}

void LightPump(BatchContext& context) {
  Pump(context, PumpKind::Light);
}

void WaitPump(BatchContext& context) {
  Pump(context, context.noYield ? PumpKind::Light : PumpKind::Full);
}

void PollBreakKeys(BatchContext& context) {
  if ((context.breakFlags & kBreakKeysOff) != 0) return;
  if (platform::IsKeyDown(kVirtualKeyControl) && platform::IsKeyDown(kVirtualKeyCancel)) {
    context.stopRequested = 1;
    context.stopByUser = 1;
  }
  if ((context.notifyMask & kNotifyBreakPoll) != 0) NotifyBreakPoll(context);
}

void TimedWait(BatchContext& context, std::uint32_t milliseconds) {
  if (milliseconds > 0) {
    std::uint32_t start = platform::TickCount();
    std::uint32_t remaining = milliseconds;
    for (;;) {
      if (!platform::WaitForInput(remaining)) break;  // timed out
      FullPump(context);
      if (context.stopRequested) break;
      std::uint32_t elapsed = platform::TickCount() - start;  // unsigned: survives the wrap
      if (elapsed >= milliseconds) break;
      remaining = milliseconds - elapsed;
    }
  }
  platform::SleepMilliseconds(0);
}

}  // namespace kel
