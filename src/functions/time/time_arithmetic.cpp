// Calendar arithmetic on YmdHms fields. The work is done in 64 bits, so that an interval of
// any size (each amount may be as large as 2^31 - 1) carries without overflow; a result
// outside the years 0 .. 9999 is refused.
#include "functions/time/time_arithmetic.h"

#include <cstdint>

namespace kel {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Every 400 years of the calendar hold the same number of days: long runs of days are moved
// in such blocks instead of month by month.
constexpr std::int64_t kDaysIn400Years = 146097;

struct WideFields {
  std::int64_t year, month, day, hour, minute, second;
};

WideFields Widen(const YmdHms& fields) {
  return WideFields{fields.year, fields.month,  fields.day,
                    fields.hour, fields.minute, fields.second};
}

YmdHms Narrow(const WideFields& fields) {
  return YmdHms{static_cast<std::int32_t>(fields.year),   static_cast<std::int32_t>(fields.month),
                static_cast<std::int32_t>(fields.day),    static_cast<std::int32_t>(fields.hour),
                static_cast<std::int32_t>(fields.minute), static_cast<std::int32_t>(fields.second)};
}

std::int32_t MonthLength(std::int64_t year, std::int64_t month) {
  return DaysInMonth(static_cast<std::int32_t>(year), static_cast<std::int32_t>(month));
}

// Moves whole units of `size` from `low` into `high` until `low` lies in 0 .. size - 1.
void Carry(std::int64_t& low, std::int64_t& high, std::int64_t size) {
  std::int64_t units = low >= 0 ? low / size : -((-low + size - 1) / size);
  low -= units * size;
  high += units;
}

// Months outside 1 .. 12 go into the year.
void CarryMonths(std::int64_t& month, std::int64_t& year) {
  std::int64_t fromZero = month - 1;
  Carry(fromZero, year, 12);
  month = fromZero + 1;
}

}  // namespace

bool AddInterval(const YmdHms& moment, const YmdHms& interval, YmdHms& sum) {
  WideFields result = Widen(moment);
  WideFields amount = Widen(interval);
  amount.day += amount.second / kSecondsPerDay;
  amount.second %= kSecondsPerDay;

  std::int64_t targetYear = result.year + amount.year;
  std::int64_t targetMonth = result.month + amount.month;
  CarryMonths(targetMonth, targetYear);
  if (targetYear > kLastYear) return false;
  if (result.day > MonthLength(targetYear, targetMonth))
    result.day = MonthLength(targetYear, targetMonth);

  result.year += amount.year;
  result.month += amount.month;
  result.day += amount.day;
  result.hour += amount.hour;
  result.minute += amount.minute;
  result.second += amount.second;
  Carry(result.second, result.minute, 60);
  Carry(result.minute, result.hour, 60);
  Carry(result.hour, result.day, 24);
  CarryMonths(result.month, result.year);
  for (;;) {
    if (result.year > kLastYear) return false;
    if (result.day > kDaysIn400Years) {
      result.day -= kDaysIn400Years;
      result.year += 400;
      continue;
    }
    std::int32_t length = MonthLength(result.year, result.month);
    if (result.day <= length) break;
    result.day -= length;
    if (++result.month > 12) {
      result.month = 1;
      ++result.year;
    }
  }
  sum = Narrow(result);
  return true;
}

bool SubtractInterval(const YmdHms& moment, const YmdHms& interval, YmdHms& difference) {
  WideFields result = Widen(moment);
  WideFields amount = Widen(interval);
  amount.day += amount.second / kSecondsPerDay;
  amount.second %= kSecondsPerDay;

  std::int64_t targetYear = result.year - amount.year;
  std::int64_t targetMonth = result.month - amount.month;
  CarryMonths(targetMonth, targetYear);
  if (targetYear < 0) return false;
  if (result.day > MonthLength(targetYear, targetMonth))
    result.day = MonthLength(targetYear, targetMonth);

  result.year -= amount.year;
  result.month -= amount.month;
  result.day -= amount.day;
  result.hour -= amount.hour;
  result.minute -= amount.minute;
  result.second -= amount.second;
  Carry(result.second, result.minute, 60);
  Carry(result.minute, result.hour, 60);
  Carry(result.hour, result.day, 24);
  CarryMonths(result.month, result.year);
  for (;;) {
    if (result.year < 0) return false;
    if (result.day >= 1) break;
    if (result.day <= -kDaysIn400Years) {
      result.day += kDaysIn400Years;
      result.year -= 400;
      continue;
    }
    if (--result.month < 1) {
      result.month = 12;
      --result.year;
    }
    result.day += MonthLength(result.year, result.month);
  }
  difference = Narrow(result);
  return true;
}

bool MomentDifference(const YmdHms& later, const YmdHms& earlier, YmdHms& interval) {
  WideFields result{
      later.year - std::int64_t{earlier.year},     later.month - std::int64_t{earlier.month},
      later.day - std::int64_t{earlier.day},       later.hour - std::int64_t{earlier.hour},
      later.minute - std::int64_t{earlier.minute}, later.second - std::int64_t{earlier.second}};
  Carry(result.second, result.minute, 60);
  Carry(result.minute, result.hour, 60);
  Carry(result.hour, result.day, 24);
  if (result.day < 0) {
    // A day borrowed is as long as the month before the later moment's month, seen from the
    // earlier moment's day: the days that moment still had to run in that month.
    std::int32_t before = later.month == 1 ? 12 : later.month - 1;
    std::int32_t length = DaysInMonth(earlier.year, before);
    if (length == 30 && earlier.day == 31) length = 31;
    if (before == 2 && earlier.day > length) length = earlier.day;
    while (result.day < 0) {
      result.day += length;
      --result.month;
    }
  }
  Carry(result.month, result.year, 12);
  if (result.year < 0) return false;
  interval = Narrow(result);
  return true;
}

bool AtOrAfter(const YmdHms& moment, const YmdHms& target) {
  const std::int32_t now[] = {moment.year, moment.month,  moment.day,
                              moment.hour, moment.minute, moment.second};
  const std::int32_t then[] = {target.year, target.month,  target.day,
                               target.hour, target.minute, target.second};
  for (int i = 0; i < 6; ++i)
    if (now[i] != then[i]) return now[i] > then[i];
  return true;
}

}  // namespace kel
