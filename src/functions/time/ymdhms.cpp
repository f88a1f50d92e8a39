// Reading and writing YmdHms texts, and the proleptic Gregorian calendar under them.
#include "functions/time/ymdhms.h"

#include <cstdio>

#include "core/exports.h"

namespace kel {
namespace {

constexpr int kFieldCount = 6;
constexpr std::int64_t kLargestField = 0x7FFFFFFF;
// Day numbers count from 0000:01:01; the formula below counts from a March 1 400 years earlier.
constexpr std::int64_t kDayNumberShift = 146037;
constexpr std::int64_t kDaysIn400Years = 146097;

// Years written with one or two digits: below this they are in the 2000s, from it in the 1900s.
constexpr std::int32_t kCenturyPivot = 50;

bool TimeOfDayValid(const YmdHms& fields) {
  return fields.hour >= 0 && fields.hour < 24 && fields.minute >= 0 && fields.minute < 60 &&
         fields.second >= 0 && fields.second < 60;
}

}  // namespace

bool IsLeapYear(std::int32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int32_t DaysInMonth(std::int32_t year, std::int32_t month) {
  switch (month) {
    case 2:
      return IsLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    default:
      return 31;
  }
}

bool ParseYmdHms(const char* text, std::size_t length, YmdHms& fields, YmdHmsCheck check,
                 bool expandYear) {
  std::int64_t values[kFieldCount] = {};
  int digitsOf[kFieldCount] = {};
  int field = 0;
  for (std::size_t i = 0; i < length; ++i) {
    char c = text[i];
    if (c == ':') {
      if (digitsOf[field] == 0 || ++field == kFieldCount) return false;
    } else if (c >= '0' && c <= '9') {
      values[field] = values[field] * 10 + (c - '0');
      if (values[field] > kLargestField) return false;
      ++digitsOf[field];
    } else {
      return false;
    }
  }
  // Two colons (a date at midnight) or five, and a last field that was written.
  if ((field != 2 && field != 5) || digitsOf[field] == 0) return false;
  fields = YmdHms{static_cast<std::int32_t>(values[0]), static_cast<std::int32_t>(values[1]),
                  static_cast<std::int32_t>(values[2]), static_cast<std::int32_t>(values[3]),
                  static_cast<std::int32_t>(values[4]), static_cast<std::int32_t>(values[5])};
  if (check == kYmdHmsInterval) return true;
  if (check == kYmdHmsDayOnly) {
    if (fields.hour == 24) fields.hour = 0;
  } else if (!TimeOfDayValid(fields)) {
    return false;
  }
  if (check == kYmdHmsTimeOfDay) return true;
  if (fields.day == 0 || fields.month == 0 || fields.month > 12 || digitsOf[0] > 4) return false;
  if (expandYear && digitsOf[0] <= 2) fields.year += fields.year < kCenturyPivot ? 2000 : 1900;
  return fields.day <= DaysInMonth(fields.year, fields.month);
}

std::size_t FormatYmdHms(const YmdHms& fields, bool fourDigitYear, char* out) {
  std::int32_t year = fourDigitYear ? fields.year : fields.year % 100;
  int length = std::snprintf(
      out, kYmdHmsBytes,
      fourDigitYear ? "%04d:%02d:%02d:%02d:%02d:%02d" : "%02d:%02d:%02d:%02d:%02d:%02d",
      static_cast<int>(year), static_cast<int>(fields.month), static_cast<int>(fields.day),
      static_cast<int>(fields.hour), static_cast<int>(fields.minute),
      static_cast<int>(fields.second));
  return length > 0 ? static_cast<std::size_t>(length) : 0;
}

// The year is counted from March, so that the leap day ends it: January and February belong
// to the year before.
std::int64_t DayNumber(std::int32_t year, std::int32_t month, std::int32_t day) {
  std::int64_t a = month + 9;
  std::int64_t y = year + a / 12 + 399;
  return 365 * y + y / 4 - y / 100 + y / 400 + ((a % 12) * 153 + 2) / 5 + day - kDayNumberShift;
}

YmdHms DateOfDayNumber(std::int64_t dayNumber) {
  std::int64_t days = dayNumber + kDayNumberShift - 1;  // days since that March 1
  std::int64_t era = days / kDaysIn400Years;
  std::int64_t ofEra = days - era * kDaysIn400Years;
  std::int64_t yearOfEra = (ofEra - ofEra / 1460 + ofEra / 36524 - ofEra / 146096) / 365;
  std::int64_t dayOfYear = ofEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  std::int64_t monthFromMarch = (5 * dayOfYear + 2) / 153;
  std::int64_t day = dayOfYear - (153 * monthFromMarch + 2) / 5 + 1;
  std::int64_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;
  std::int64_t year = era * 400 + yearOfEra - 400 + (month <= 2 ? 1 : 0);
  return YmdHms{static_cast<std::int32_t>(year),
                static_cast<std::int32_t>(month),
                static_cast<std::int32_t>(day),
                0,
                0,
                0};
}

}  // namespace kel

// The parser as other modules call it: six separate fields, the check as a number, and 1 for
// an accepted text.
extern "C" std::int32_t KEL_CDECL ParseYMDHMS(const char* text, std::int32_t* year,
                                              std::int32_t* month, std::int32_t* day,
                                              std::int32_t* hour, std::int32_t* minute,
                                              std::int32_t* second, std::int32_t mode,
                                              std::int32_t expand) {
  if (text == nullptr || mode < kel::kYmdHmsInterval || mode > kel::kYmdHmsTimeOfDay) return 0;
  std::size_t length = 0;
  while (text[length] != '\0')
    ++length;
  kel::YmdHms fields{};
  if (!kel::ParseYmdHms(text, length, fields, static_cast<kel::YmdHmsCheck>(mode), expand != 0))
    return 0;
  std::int32_t* targets[] = {year, month, day, hour, minute, second};
  const std::int32_t values[] = {fields.year, fields.month,  fields.day,
                                 fields.hour, fields.minute, fields.second};
  for (int i = 0; i < 6; ++i)
    if (targets[i] != nullptr) *targets[i] = values[i];
  return 1;
}
