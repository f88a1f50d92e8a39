// The clock and the user's date and time formats on Windows: the system's local and universal
// time, the locale's formats, and the [intl] section of the user's profile.
#include "platform/time.h"

#include "platform/files.h"

#include <windows.h>

namespace kel::platform {
namespace {

ClockTime FromSystemTime(const SYSTEMTIME& time) {
  return ClockTime{time.wYear,   time.wMonth,  time.wDay,          time.wHour,
                   time.wMinute, time.wSecond, time.wMilliseconds, time.wDayOfWeek};
}

SYSTEMTIME ToSystemTime(const ClockTime& moment) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(moment.year);
  time.wMonth = static_cast<WORD>(moment.month);
  time.wDay = static_cast<WORD>(moment.day);
  time.wDayOfWeek = static_cast<WORD>(moment.dayOfWeek);
  time.wHour = static_cast<WORD>(moment.hour);
  time.wMinute = static_cast<WORD>(moment.minute);
  time.wSecond = static_cast<WORD>(moment.second);
  time.wMilliseconds = static_cast<WORD>(moment.milliseconds);
  return time;
}

void ReadIntlText(const char* key, const char* fallback, char* out, std::size_t size) {
  ::GetProfileStringA("intl", key, fallback, out, static_cast<DWORD>(size));
}

}  // namespace

ClockTime LocalClockTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return FromSystemTime(now);
}

ClockTime UniversalClockTime() {
  SYSTEMTIME now{};
  ::GetSystemTime(&now);
  return FromSystemTime(now);
}

bool FormatUserShortDate(const ClockTime& moment, char* out, std::size_t size) {
  SYSTEMTIME time = ToSystemTime(moment);
  return ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, out,
                          static_cast<int>(size)) > 0;
}

bool FormatUserTimeOfDay(const ClockTime& moment, char* out, std::size_t size) {
  SYSTEMTIME time = ToSystemTime(moment);
  return ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &time, nullptr, out, static_cast<int>(size)) > 0;
}

IntlSettings ReadIntlSettings() {
  IntlSettings settings{};
  settings.dateOrder = static_cast<int>(::GetProfileIntA("intl", "iDate", 0));
  settings.twentyFourHour = static_cast<int>(::GetProfileIntA("intl", "iTime", 0));
  ReadIntlText("sDate", "/", settings.dateSeparator, sizeof settings.dateSeparator);
  ReadIntlText("s1159", "AM", settings.morning, sizeof settings.morning);
  ReadIntlText("s2359", "PM", settings.afternoon, sizeof settings.afternoon);
  ReadIntlText("sTime", ":", settings.timeSeparator, sizeof settings.timeSeparator);
  ReadIntlText("sShortDate", "M/d/yy", settings.shortDate, sizeof settings.shortDate);
  return settings;
}

bool FileTimeToLocalTime(std::uint64_t fileTime, ClockTime* local) {
  FILETIME stamp{static_cast<DWORD>(fileTime), static_cast<DWORD>(fileTime >> 32)};
  SYSTEMTIME universal, here;
  if (!::FileTimeToSystemTime(&stamp, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &here))
    return false;
  *local = FromSystemTime(here);
  return true;
}

bool LocalTimeToFileTime(const ClockTime& local, std::uint64_t* fileTime) {
  SYSTEMTIME here = ToSystemTime(local), universal;
  FILETIME stamp;
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &here, &universal) ||
      !::SystemTimeToFileTime(&universal, &stamp))
    return false;
  *fileTime = (static_cast<std::uint64_t>(stamp.dwHighDateTime) << 32) | stamp.dwLowDateTime;
  return true;
}

DelayTimer::~DelayTimer() {
  if (timer_ != 0) ::CloseHandle(reinterpret_cast<HANDLE>(timer_));
}

bool DelayTimer::Start(std::uint64_t hundredNanoseconds) {
  // Only a timer of high resolution will do; the others keep the system's tick.
  constexpr DWORD kHighResolution = 0x00000002;  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
  if (timer_ == 0) {
    HANDLE timer = ::CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS);
    if (timer == nullptr) return false;
    timer_ = reinterpret_cast<std::intptr_t>(timer);
  }
  LARGE_INTEGER due;
  due.QuadPart = -static_cast<LONGLONG>(hundredNanoseconds);  // relative to now
  return ::SetWaitableTimer(reinterpret_cast<HANDLE>(timer_), &due, 0, nullptr, nullptr, FALSE) !=
         FALSE;
}

bool DelayTimer::WaitOrInput() {
  HANDLE timer = reinterpret_cast<HANDLE>(timer_);
  constexpr DWORD kDelaySliceMs = 100;  // how long a wait runs before its caller looks around
  DWORD woken = ::MsgWaitForMultipleObjects(1, &timer, FALSE, kDelaySliceMs, QS_ALLINPUT);
  return woken != WAIT_OBJECT_0 + 1 && woken != WAIT_TIMEOUT;
}

}  // namespace kel::platform
