// The YmdHms text form of a moment ("2013:05:07:14:30:00") and the calendar under it: reading
// and writing the text, month lengths and day numbers. The time functions and every other
// function that takes or gives a date (file time stamps among them) use these routines.
#ifndef KEL_FUNCTIONS_TIME_YMDHMS_H
#define KEL_FUNCTIONS_TIME_YMDHMS_H

#include <cstddef>
#include <cstdint>

namespace kel {

// The six fields of a moment, or the six amounts of an interval.
struct YmdHms {
  std::int32_t year;
  std::int32_t month;
  std::int32_t day;
  std::int32_t hour;
  std::int32_t minute;
  std::int32_t second;
};

// How much of a text ParseYmdHms checks beyond its shape.
enum YmdHmsCheck : std::int32_t {
  kYmdHmsInterval = 0,   // amounts: any digits
  kYmdHmsMoment = 1,     // a date with a valid time of day
  kYmdHmsDayOnly = 2,    // a date; the time fields are taken as they come (hour 24 reads as 0)
  kYmdHmsTimeOfDay = 3,  // only the time of day is checked
};

// Reads "Y:M:D" (time 00:00:00) or "Y:M:D:H:M:S": digits and colons only, exactly 2 or 5
// colons, no empty field, each field below 2^31. With `expandYear`, a year written with one or two
// digits is read in the window 1950 .. 2049. False when the text is refused; `fields` is then
// unspecified.
bool ParseYmdHms(const char* text, std::size_t length, YmdHms& fields, YmdHmsCheck check,
                 bool expandYear);

// Room for a written moment: six fields of up to 11 characters, five colons and the terminator.
constexpr std::size_t kYmdHmsBytes = 6 * 11 + 5 + 1;
// Writes "%04d:%02d:%02d:%02d:%02d:%02d", or the year's last two digits only when
// `fourDigitYear` is false; answers the length.
std::size_t FormatYmdHms(const YmdHms& fields, bool fourDigitYear, char* out);

bool IsLeapYear(std::int32_t year);
// 28 .. 31; a month outside 1 .. 12 is taken as 31 days.
std::int32_t DaysInMonth(std::int32_t year, std::int32_t month);

// The day number of a date, 0000:01:01 being day 1 (valid for years 0 .. 9999 and beyond).
std::int64_t DayNumber(std::int32_t year, std::int32_t month, std::int32_t day);
// The date of a day number of 1 or more; the year is as large as the number makes it.
YmdHms DateOfDayNumber(std::int64_t dayNumber);

}  // namespace kel

#endif  // KEL_FUNCTIONS_TIME_YMDHMS_H
