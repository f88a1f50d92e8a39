// A moment as the user reads it: the date and the time of day in the user's formats (or, where
// the system cannot format them, as the user's settings of old describe them).
#ifndef KEL_FUNCTIONS_TIME_USER_TIME_TEXT_H
#define KEL_FUNCTIONS_TIME_USER_TIME_TEXT_H

#include <cstddef>

#include "platform/time.h"

namespace kel {

// Room for the date, a blank and the time.
constexpr std::size_t kUserDateTimeBytes = 2 * 128 + 2;

// Writes "12/11/2026 00:08:41" in the user's formats; answers the length.
std::size_t FormatUserDateTime(const platform::ClockTime& moment, char* out, std::size_t size);

}  // namespace kel

#endif  // KEL_FUNCTIONS_TIME_USER_TIME_TEXT_H
