// The waits: until a moment (TimeWait), for a number of seconds (TimeDelay and Delay), and for
// a number of passes of the message pump (Yields). Every wait keeps the host responsive by
// letting its messages through, and ends early, without an error, when the script is being
// stopped.
#include <cmath>
#include <cstdint>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/text_units.h"
#include "functions/time/time_arithmetic.h"
#include "functions/time/ymdhms.h"
#include "host/pump.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"
#include "platform/time.h"

namespace kel {
namespace {

// How long a wait for a moment sleeps between two looks at the clock.
constexpr std::uint32_t kClockLookMs = 100;
// A fraction of a second shorter than this is left to the final top-up of a delay.
constexpr std::uint32_t kShortestFractionMs = 100;
// The final top-up of a delay, when the clock wait ended early, is at most this long.
constexpr std::uint32_t kLongestTopUpMs = 1000;
// The longest pause of a single timed wait.
constexpr double kLongestPauseMs = 2147483647.0;

YmdHms Now(bool universal) {
  platform::ClockTime now = universal ? platform::UniversalClockTime() : platform::LocalClockTime();
  return YmdHms{now.year, now.month, now.day, now.hour, now.minute, now.second};
}

// Waits until the clock (local or universal) reads `target` or later; false when the script
// was stopped first.
bool WaitForMoment(BatchContext& context, const YmdHms& target, bool universal) {
  for (;;) {
    WaitPump(context);
    if (context.stopRequested) return false;
    platform::SleepMilliseconds(kClockLookMs);
    if (AtOrAfter(Now(universal), target)) return true;
  }
}

// The moment of a TimeWait text: a whole moment, or (with year, month and day 0) a time of day,
// today or, once it has passed, tomorrow.
bool MomentToWaitFor(const TextSpan<char>& text, YmdHms& target) {
  int colons = 0;
  for (std::size_t i = 0; i < text.length; ++i) {
    if (text.data[i] == ':')
      ++colons;
    else if (text.data[i] < '0' || text.data[i] > '9')
      return false;
  }
  if (colons != 5) return false;
  YmdHms fields{};
  if (!ParseYmdHms(text.data, text.length, fields, kYmdHmsTimeOfDay, false)) return false;
  if (fields.year != 0 || fields.month != 0 || fields.day != 0)
    return ParseYmdHms(text.data, text.length, target, kYmdHmsMoment, true);
  YmdHms today = Now(false);
  target = YmdHms{today.year, today.month, today.day, fields.hour, fields.minute, fields.second};
  if (AtOrAfter(target, today)) return true;
  YmdHms oneDay{0, 0, 1, 0, 0, 0};
  return AddInterval(target, oneDay, target);
}

void WaitUntil(BatchContext& context, const EvalValue& argument, EvalValue& result) {
  YmdHms target{};
  if (!MomentToWaitFor(AnsiArgument(context, argument), target))
    return SetError(context, kErrTimeWaitFormat);
  WaitForMoment(context, target, false);
  SetEvalInteger(context, result, 1);
}

std::uint32_t PauseLength(double milliseconds) {
  if (!(milliseconds > 0.0)) return 0;
  return static_cast<std::uint32_t>(milliseconds < kLongestPauseMs ? milliseconds
                                                                   : kLongestPauseMs);
}

// Where the script allows it and the system has one, a high-resolution timer measures the
// delay, and messages are let through whenever they come. Otherwise the whole seconds are waited
// for on the universal clock, which no change of the local time
// or of daylight saving can move; the tick count then tops up what the clock's whole seconds
// left short.
void DelaySeconds(BatchContext& context, double seconds, EvalValue& result) {
  SetEvalInteger(context, result, 1);
  if (!(seconds > 0.0)) {
    TimedWait(context, PauseLength(-seconds * 1000.0));
    return;
  }
  double whole = std::floor(seconds);
  if (whole > 2147483647.0) return SetError(context, kErrTimeDelayFailed);
  if (context.highResolutionDelay != 0) {
    platform::DelayTimer timer;
    if (timer.Start(static_cast<std::uint64_t>(seconds * 1e7))) {
      while (!timer.WaitOrInput()) {
        WaitPump(context);
        if (context.stopRequested) return;
      }
      return;
    }
  }
  std::uint32_t fractionMs = static_cast<std::uint32_t>((seconds - whole) * 1000.0);
  std::uint64_t askedMs = static_cast<std::uint64_t>(whole) * 1000 + fractionMs;
  std::uint32_t start = platform::TickCount();
  if (whole >= 1.0) {
    YmdHms interval{0, 0, 0, 0, 0, static_cast<std::int32_t>(whole)};
    YmdHms target{};
    if (!AddInterval(Now(true), interval, target)) return SetError(context, kErrTimeDelayFailed);
    if (!WaitForMoment(context, target, true)) return;
  }
  if (fractionMs >= kShortestFractionMs) {
    TimedWait(context, fractionMs);
    if (context.stopRequested) return;
  }
  std::uint32_t elapsed = platform::TickCount() - start;  // unsigned: survives the wrap
  if (elapsed < askedMs) {
    std::uint64_t rest = askedMs - elapsed;
    TimedWait(context, static_cast<std::uint32_t>(rest < kLongestTopUpMs ? rest : kLongestTopUpMs));
  }
}

void YieldPasses(BatchContext& context, std::int32_t passes, EvalValue& result) {
  for (std::int32_t i = 0; i < passes && !context.stopRequested; ++i)
    WaitPump(context);
  SetEvalInteger(context, result, 1);
}

}  // namespace

KEL_FAMILY_ROUTINE(TimeWaitFunction) {
  switch (code) {
    case kKeywordTimeWait:
      return WaitUntil(context, arguments[0], result);
    case kKeywordTimeDelay:
    case kKeywordDelay:
      return DelaySeconds(context, arguments[0].value.floatValue, result);
    case kKeywordYields:
      return YieldPasses(context, arguments[0].value.intValue, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
