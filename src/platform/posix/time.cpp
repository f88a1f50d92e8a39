// The clock and the user's date and time formats on POSIX systems: the C library's local time
// (the TZ setting and the system's zone files), and the formats of the user's LC_TIME locale.
#include "platform/time.h"

#include "platform/files.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <locale.h>
#include <poll.h>
#include <sys/time.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace kel::platform {
namespace {

ClockTime FromParts(const std::tm& parts, long microseconds) {
  return ClockTime{parts.tm_year + 1900,
                   parts.tm_mon + 1,
                   parts.tm_mday,
                   parts.tm_hour,
                   parts.tm_min,
                   parts.tm_sec,
                   static_cast<int>(microseconds / 1000),
                   parts.tm_wday};
}

std::tm ToParts(const ClockTime& moment) {
  std::tm parts{};
  parts.tm_year = moment.year - 1900;
  parts.tm_mon = moment.month - 1;
  parts.tm_mday = moment.day;
  parts.tm_hour = moment.hour;
  parts.tm_min = moment.minute;
  parts.tm_sec = moment.second;
  parts.tm_wday = moment.dayOfWeek;
  return parts;
}

ClockTime Now(bool local) {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::time_t seconds = now.tv_sec;
  std::tm parts{};
  if (local)
    localtime_r(&seconds, &parts);
  else
    gmtime_r(&seconds, &parts);
  return FromParts(parts, static_cast<long>(now.tv_usec));
}

// Formats with the user's LC_TIME locale (from the environment), whatever locale the process
// itself runs in; the C locale when the environment names none that exists.
bool FormatInUserLocale(const ClockTime& moment, const char* format, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return false;
  std::tm parts = ToParts(moment);
  locale_t user = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0))
    user = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return false;
  std::size_t length = strftime_l(out, size, format, &parts, user);
  freelocale(user);
  return length > 0;
}

}  // namespace

// File times count 100-nanosecond steps from 1601, the C library's seconds from 1970.
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

bool FileTimeToLocalTime(std::uint64_t fileTime, ClockTime* local) {
  std::time_t seconds = static_cast<std::time_t>(
      static_cast<std::int64_t>(fileTime / kFileTimeUnitsPerSecond) - kSecondsFrom1601To1970);
  std::tm parts{};
  if (localtime_r(&seconds, &parts) == nullptr) return false;
  *local = FromParts(parts, static_cast<long>(fileTime % kFileTimeUnitsPerSecond / 10));
  return true;
}

bool LocalTimeToFileTime(const ClockTime& local, std::uint64_t* fileTime) {
  std::tm parts = ToParts(local);
  parts.tm_isdst = -1;  // as the zone's rules have it on that day
  errno = 0;
  std::time_t seconds = mktime(&parts);
  if (seconds == static_cast<std::time_t>(-1) && errno != 0) return false;
  std::int64_t sinceStart = static_cast<std::int64_t>(seconds) + kSecondsFrom1601To1970;
  if (sinceStart < 0) return false;
  *fileTime = static_cast<std::uint64_t>(sinceStart) * kFileTimeUnitsPerSecond +
              static_cast<std::uint64_t>(local.milliseconds) * 10000u;
  return true;
}

ClockTime LocalClockTime() {
  return Now(true);
}

ClockTime UniversalClockTime() {
  return Now(false);
}

bool FormatUserShortDate(const ClockTime& moment, char* out, std::size_t size) {
  return FormatInUserLocale(moment, "%x", out, size);
}

bool FormatUserTimeOfDay(const ClockTime& moment, char* out, std::size_t size) {
  return FormatInUserLocale(moment, "%X", out, size);
}

// There is no profile of international settings: the defaults.
IntlSettings ReadIntlSettings() {
  IntlSettings settings{};
  std::strcpy(settings.dateSeparator, "/");
  std::strcpy(settings.morning, "AM");
  std::strcpy(settings.afternoon, "PM");
  std::strcpy(settings.timeSeparator, ":");
  std::strcpy(settings.shortDate, "M/d/yy");
  return settings;
}

// How long a delay's wait runs before its caller looks around.
constexpr int kDelaySliceMs = 100;

DelayTimer::~DelayTimer() {
  if (timer_ != 0) ::close(static_cast<int>(timer_));
}

bool DelayTimer::Start(std::uint64_t hundredNanoseconds) {
  if (timer_ == 0) {
    int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (timer < 0) return false;
    timer_ = timer;
  }
  struct itimerspec due {};
  due.it_value.tv_sec = static_cast<time_t>(hundredNanoseconds / 10000000u);
  due.it_value.tv_nsec = static_cast<long>(hundredNanoseconds % 10000000u) * 100;
  if (due.it_value.tv_sec == 0 && due.it_value.tv_nsec == 0) due.it_value.tv_nsec = 1;
  return ::timerfd_settime(static_cast<int>(timer_), 0, &due, nullptr) == 0;
}

// No input comes to a thread here: only the slice ends a wait early.
bool DelayTimer::WaitOrInput() {
  struct pollfd watch {};
  watch.fd = static_cast<int>(timer_);
  watch.events = POLLIN;
  int ready = ::poll(&watch, 1, kDelaySliceMs);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return false;
  std::uint64_t expirations = 0;
  (void)::read(static_cast<int>(timer_), &expirations, sizeof expirations);
  return true;
}

}  // namespace kel::platform
