// Calendar arithmetic on YmdHms fields: adding and subtracting intervals and the difference of
// two moments, with the month-end and carry rules of the time functions.
#ifndef KEL_FUNCTIONS_TIME_TIME_ARITHMETIC_H
#define KEL_FUNCTIONS_TIME_TIME_ARITHMETIC_H

#include "functions/time/ymdhms.h"

namespace kel {

// The largest year a result may have: a written year has at most four digits.
constexpr std::int32_t kLastYear = 9999;

// `moment` plus the amounts of `interval`. A day that the target month lacks is cut to that
// month's last day (January 31 plus one month is the end of February). False when the result
// lies beyond the year 9999.
bool AddInterval(const YmdHms& moment, const YmdHms& interval, YmdHms& sum);
// `moment` minus the amounts of `interval`, cut to month ends the same way. False when the
// result lies before the year 0.
bool SubtractInterval(const YmdHms& moment, const YmdHms& interval, YmdHms& difference);
// The interval from `earlier` to `later` in calendar fields. False when `earlier` is the later
// one.
bool MomentDifference(const YmdHms& later, const YmdHms& earlier, YmdHms& interval);
// Whether `moment` is at or after `target`, field by field from the year down.
bool AtOrAfter(const YmdHms& moment, const YmdHms& target);

}  // namespace kel

#endif  // KEL_FUNCTIONS_TIME_TIME_ARITHMETIC_H
