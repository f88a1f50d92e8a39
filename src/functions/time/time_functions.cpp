// The time and date functions that answer at once: the current time in its several forms,
// calendar arithmetic on YmdHms texts, differences and day numbers.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "functions/strings/text_units.h"
#include "functions/time/time_arithmetic.h"
#include "functions/time/user_time_text.h"
#include "functions/time/ymdhms.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/time.h"

namespace kel {
namespace {

// Two moments further apart than this many days have no difference in seconds.
constexpr std::int64_t kLongestSecondsSpan = 22000;

bool ParseArgument(const BatchContext& context, const EvalValue& argument, YmdHms& fields,
                   YmdHmsCheck check, bool expandYear) {
  TextSpan<char> text = AnsiArgument(context, argument);
  return ParseYmdHms(text.data, text.length, fields, check, expandYear);
}

void SetYmdHmsResult(BatchContext& context, EvalValue& result, const YmdHms& fields) {
  char text[kYmdHmsBytes];
  std::size_t length = FormatYmdHms(fields, context.fourDigitYear != 0, text);
  SetTextResult(context, result, text, length);
}

YmdHms FieldsOf(const platform::ClockTime& time) {
  return YmdHms{time.year, time.month, time.day, time.hour, time.minute, time.second};
}

// TimeAdd and TimeSubtract: a moment and an interval.
void ShiftMoment(BatchContext& context, bool add, EvalValue* arguments, EvalValue& result) {
  std::uint32_t failure = add ? kErrTimeAddFailed : kErrTimeSubtractFailed;
  YmdHms moment{}, interval{}, shifted{};
  if (!ParseArgument(context, arguments[0], moment, kYmdHmsMoment, true) ||
      !ParseArgument(context, arguments[1], interval, kYmdHmsInterval, false) ||
      !(add ? AddInterval(moment, interval, shifted) : SubtractInterval(moment, interval, shifted)))
    return SetError(context, failure);
  SetYmdHmsResult(context, result, shifted);
}

void Difference(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  YmdHms later{}, earlier{}, interval{};
  if (!ParseArgument(context, arguments[0], later, kYmdHmsMoment, true) ||
      !ParseArgument(context, arguments[1], earlier, kYmdHmsMoment, true) ||
      !MomentDifference(later, earlier, interval))
    return SetError(context, kErrTimeSubtractFailed);
  SetYmdHmsResult(context, result, interval);
}

// TimeDiffDays and TimeDiffSecs.
void DifferenceAsNumber(BatchContext& context, bool inSeconds, EvalValue* arguments,
                        EvalValue& result) {
  YmdHms first{}, second{};
  if (!ParseArgument(context, arguments[0], first, kYmdHmsMoment, true) ||
      !ParseArgument(context, arguments[1], second, kYmdHmsMoment, true))
    return SetError(context, kErrTimeDiffBadValue);
  std::int64_t days = DayNumber(first.year, first.month, first.day) -
                      DayNumber(second.year, second.month, second.day);
  if (!inSeconds) return SetEvalInteger(context, result, static_cast<std::int32_t>(days));
  if (days > kLongestSecondsSpan || days < -kLongestSecondsSpan)
    return SetError(context, kErrTimeDiffRange);
  std::int64_t seconds =
      ((days * 24 + first.hour - second.hour) * 60 + first.minute - second.minute) * 60 +
      first.second - second.second;
  SetEvalInteger(context, result, static_cast<std::int32_t>(seconds));
}

void JulianDay(BatchContext& context, EvalValue* arguments, EvalValue& result) {
  YmdHms date{};
  if (!ParseArgument(context, arguments[0], date, kYmdHmsDayOnly, true))
    return SetError(context, kErrTimeBadValue);
  SetEvalInteger(context, result,
                 static_cast<std::int32_t>(DayNumber(date.year, date.month, date.day)));
}

void DateOfJulianDay(BatchContext& context, std::int32_t dayNumber, EvalValue& result) {
  if (dayNumber < 1) return SetError(context, kErrTimeBadJulianDay);
  YmdHms date = DateOfDayNumber(dayNumber);
  date.year %= 10000;
  SetYmdHmsResult(context, result, date);
}

// The date as the user's settings of old wrote it, when the system cannot format it.
void IntlDate(const platform::IntlSettings& settings, const platform::ClockTime& now, char* out,
              std::size_t size) {
  bool longYear = std::strstr(settings.shortDate, "yyy") != nullptr;
  const char* monthForm = std::strstr(settings.shortDate, "MM") != nullptr ? "%02d" : "%d";
  const char* dayForm = std::strstr(settings.shortDate, "dd") != nullptr ? "%02d" : "%d";
  char year[16], month[16], day[16];
  std::snprintf(year, sizeof year, longYear ? "%04d" : "%02d",
                longYear ? now.year : now.year % 100);
  std::snprintf(month, sizeof month, monthForm, now.month);
  std::snprintf(day, sizeof day, dayForm, now.day);
  const char* first = month;
  const char* middle = day;
  const char* last = year;
  if (settings.dateOrder == 1) {
    first = day;
    middle = month;
  } else if (settings.dateOrder == 2) {
    first = year;
    middle = month;
    last = day;
  }
  const char* separator = settings.dateSeparator;
  std::snprintf(out, size, "%s%s%s%s%s", first, separator, middle, separator, last);
}

void IntlTimeOfDay(const platform::IntlSettings& settings, const platform::ClockTime& now,
                   char* out, std::size_t size) {
  const char* separator = settings.timeSeparator;
  if (settings.twentyFourHour != 0) {
    std::snprintf(out, size, "%02d%s%02d%s%02d", now.hour, separator, now.minute, separator,
                  now.second);
    return;
  }
  int hour = now.hour % 12 == 0 ? 12 : now.hour % 12;
  std::snprintf(out, size, "%d%s%02d%s%02d %s", hour, separator, now.minute, separator, now.second,
                now.hour < 12 ? settings.morning : settings.afternoon);
}

// "Wed 12/11/2026 00:08:41": the day's short name, then the date and the time as the user's
// settings write them.
void ReadableNow(BatchContext& context, EvalValue& result) {
  platform::ClockTime now = platform::LocalClockTime();
  char names[64] = {};
  LoadMessage(context, kMsgDayNames, names, sizeof names);
  char dayName[4] = {};
  if (std::strlen(names) >= static_cast<std::size_t>(3 * now.dayOfWeek + 3))
    std::memcpy(dayName, names + 3 * now.dayOfWeek, 3);
  char moment[kUserDateTimeBytes];
  FormatUserDateTime(now, moment, sizeof moment);
  char text[3 + 1 + sizeof moment];
  int length = std::snprintf(text, sizeof text, "%s %s", dayName, moment);
  SetTextResult(context, result, text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void ExactTime(BatchContext& context, EvalValue& result) {
  platform::ClockTime now = platform::LocalClockTime();
  platform::IntlSettings settings = platform::ReadIntlSettings();
  const char* separator = settings.timeSeparator;
  char text[64];
  int length = std::snprintf(text, sizeof text, "%02d%s%02d%s%02d%s%02d", now.hour, separator,
                             now.minute, separator, now.second, separator, now.milliseconds / 10);
  SetTextResult(context, result, text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace

std::size_t FormatUserDateTime(const platform::ClockTime& moment, char* out, std::size_t size) {
  char date[128], time[128];
  bool formatted = platform::FormatUserShortDate(moment, date, sizeof date) &&
                   platform::FormatUserTimeOfDay(moment, time, sizeof time);
  if (!formatted) {
    platform::IntlSettings settings = platform::ReadIntlSettings();
    IntlDate(settings, moment, date, sizeof date);
    IntlTimeOfDay(settings, moment, time, sizeof time);
  }
  int length = std::snprintf(out, size, "%s %s", date, time);
  if (length < 0) return 0;
  return static_cast<std::size_t>(length) < size ? static_cast<std::size_t>(length) : size - 1;
}

KEL_FAMILY_ROUTINE(TimeFunction) {
  switch (code) {
    case kKeywordTimeYmdHms:
      return SetYmdHmsResult(context, result, FieldsOf(platform::LocalClockTime()));
    case kKeywordTimeAdd:
    case kKeywordTimeSubtract:
      return ShiftMoment(context, code == kKeywordTimeAdd, arguments, result);
    case kKeywordTimeDiff:
      return Difference(context, arguments, result);
    case kKeywordTimeDiffDays:
    case kKeywordTimeDiffSecs:
      return DifferenceAsNumber(context, code == kKeywordTimeDiffSecs, arguments, result);
    case kKeywordTimeJulianDay:
      return JulianDay(context, arguments, result);
    case kKeywordTimeJulToYmd:
      return DateOfJulianDay(context, arguments[0].value.intValue, result);
    case kKeywordTimeDate:
    case kKeywordDateTime:
      return ReadableNow(context, result);
    case kKeywordGetExactTime:
      return ExactTime(context, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
