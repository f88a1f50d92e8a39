// The clock and the user's date and time formats: local time (with the system's time zone and
// daylight saving) and universal time, and the texts the user's settings make of a moment.
#ifndef KEL_PLATFORM_TIME_H
#define KEL_PLATFORM_TIME_H

#include <cstddef>
#include <cstdint>

namespace kel::platform {

struct ClockTime {
  int year, month, day, hour, minute, second;
  int milliseconds;
  int dayOfWeek;  // 0 Sunday .. 6 Saturday
};

ClockTime LocalClockTime();
ClockTime UniversalClockTime();

// The moment's date in the user's short date format and its time of day in the user's time
// format; false (and nothing useful in `out`) when the system cannot format it.
bool FormatUserShortDate(const ClockTime& moment, char* out, std::size_t size);
bool FormatUserTimeOfDay(const ClockTime& moment, char* out, std::size_t size);

// The user's international settings, as the settings that predate locales kept them; a value
// the system does not have is the usual default.
struct IntlSettings {
  int dateOrder;          // 0 month/day/year, 1 day/month/year, 2 year/month/day
  char dateSeparator[8];  // "/"
  int twentyFourHour;     // 0: a 12-hour clock with the two suffixes
  char morning[16];       // "AM"
  char afternoon[16];     // "PM"
  char timeSeparator[8];  // ":"
  char shortDate[80];     // "M/d/yy"
};
IntlSettings ReadIntlSettings();

// A one-shot timer of high resolution for the waits of a script (Windows: a high-resolution
// waitable timer; POSIX: a monotonic timer descriptor). Start fails where the system offers no
// such timer; the caller then waits by the clock.
class DelayTimer {
 public:
  DelayTimer() = default;
  DelayTimer(const DelayTimer&) = delete;
  DelayTimer& operator=(const DelayTimer&) = delete;
  ~DelayTimer();
  // Arms the timer to run out `hundredNanoseconds` from now.
  bool Start(std::uint64_t hundredNanoseconds);
  // Waits until the timer runs out (true), or until input arrives for the thread or a tenth of
  // a second has passed (false): the caller then lets messages through and looks for a stop
  // request before it waits again.
  bool WaitOrInput();

 private:
  std::intptr_t timer_ = 0;
};

}  // namespace kel::platform

#endif  // KEL_PLATFORM_TIME_H
