// The time stamps of files: reading them in the user's format, as YmdHms text or as an ordering
// code, and setting them from YmdHms text or the clock. The stamp they work on is the one the
// context's time selector chooses, or the one an Ex form names.
#include <cstdio>
#include <cstring>
#include <string>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "functions/strings/text_units.h"
#include "functions/time/user_time_text.h"
#include "functions/time/ymdhms.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/time.h"

namespace kel {
namespace {

// The selector's numbering: 0 and 2 last write, 1 creation, 3 last access.
platform::FileStamp StampOf(std::int32_t selector) {
  switch (selector) {
    case 1:
      return platform::FileStamp::Creation;
    case 3:
      return platform::FileStamp::LastAccess;
    default:
      return platform::FileStamp::LastWrite;
  }
}

// The Ex forms name the stamp with 1, 2 or 3 (the selector's numbering); else 1812.
bool ExStamp(BatchContext& context, const EvalValue& which, platform::FileStamp* stamp) {
  std::int32_t number = which.value.intValue;
  if (number < 1 || number > 3) {
    SetError(context, kErrInvalidMode);
    return false;
  }
  *stamp = StampOf(number);
  return true;
}

std::uint64_t StampValue(const platform::FileFacts& facts, platform::FileStamp stamp) {
  switch (stamp) {
    case platform::FileStamp::Creation:
      return facts.creation;
    case platform::FileStamp::LastAccess:
      return facts.lastAccess;
    default:
      return facts.lastWrite;
  }
}

// A file's stamp in local time; false with 1125 for a missing file or a directory.
bool ReadStamp(BatchContext& context, EvalValue& argument, platform::FileStamp stamp,
               platform::ClockTime* local) {
  std::u16string name;
  if (!NameArgument(context, argument, &name)) return false;
  platform::FileFacts facts;
  if (HasWildcard(name) || !platform::QueryFile(name, &facts) ||
      (facts.attributes & platform::kAttributeDirectory) != 0 ||
      !platform::FileTimeToLocalTime(StampValue(facts, stamp), local)) {
    SetError(context, kErrFileTimeNotFound);
    return false;
  }
  return true;
}

std::string YmdHmsText(const BatchContext& context, const platform::ClockTime& local) {
  YmdHms fields{local.year, local.month, local.day, local.hour, local.minute, local.second};
  char text[kYmdHmsBytes];
  return std::string(text, FormatYmdHms(fields, context.fourDigitYear != 0, text));
}

void SetYmdHmsText(BatchContext& context, EvalValue& result, const platform::ClockTime& local) {
  std::string text = YmdHmsText(context, local);
  SetTextResult<char>(context, result, text.data(), text.size());
}

// DOS date × 65536 + DOS time, kept in 32 bits: the date counts years from 1980 (earlier
// moments answer 0), the time keeps seconds in steps of two.
std::int32_t TimeCode(const platform::ClockTime& local) {
  if (local.year < 1980 || local.year > 2107) return 0;
  std::uint32_t date = (static_cast<std::uint32_t>(local.year - 1980) << 9) |
                       (static_cast<std::uint32_t>(local.month) << 5) |
                       static_cast<std::uint32_t>(local.day);
  std::uint32_t time = (static_cast<std::uint32_t>(local.hour) << 11) |
                       (static_cast<std::uint32_t>(local.minute) << 5) |
                       static_cast<std::uint32_t>(local.second / 2);
  return static_cast<std::int32_t>((date << 16) | time);
}

void ReadableStamp(BatchContext& context, EvalValue& result, const platform::ClockTime& local) {
  char text[kUserDateTimeBytes];
  std::size_t length = FormatUserDateTime(local, text, sizeof text);
  SetTextResult<char>(context, result, text, length);
}

// The current moment as a file time, from the universal clock.
std::uint64_t FileTimeNow() {
  platform::ClockTime now = platform::UniversalClockTime();
  constexpr std::int64_t kSecondsPerDay = 86400;
  std::int64_t days = DayNumber(now.year, now.month, now.day) - DayNumber(1601, 1, 1);
  std::int64_t seconds = days * kSecondsPerDay + (now.hour * 60 + now.minute) * 60 +
                         static_cast<std::int64_t>(now.second);
  return static_cast<std::uint64_t>(seconds) * 10000000ull +
         static_cast<std::uint64_t>(now.milliseconds) * 10000ull;
}

bool SetStampOf(BatchContext& context, const std::u16string& name, platform::FileStamp stamp,
                std::uint64_t time) {
  platform::FileFacts facts;
  // A read-only file keeps its stamps, whatever the system would let its owner do.
  constexpr std::uint32_t kUntouchable =
      platform::kAttributeDirectory | platform::kAttributeReadOnly;
  if (!platform::QueryFile(name, &facts) || (facts.attributes & kUntouchable) != 0) {
    SetError(context, kErrFileTimeNotAccessible);
    return false;
  }
  if (platform::SetFileStamp(name, stamp, time)) return true;
  // A stamp the file system does not keep.
  if (platform::LastSystemError() == 50) {
    SetError(context, kErrNotAvailable);
    return false;
  }
  RecordApiError(context, platform::LastSystemError(), "SetFileTime", true);
  SetError(context, kErrFileTimeNotAccessible);
  return false;
}

// FileTimeSet, FileTimeSetEx and FileTimeTouch: `moment` is the YmdHms argument, or null for
// the clock.
void SetStamps(BatchContext& context, EvalValue& result, EvalValue& list, EvalValue* moment,
               platform::FileStamp stamp) {
  std::u16string names;
  if (!NameArgument(context, list, &names)) return;
  std::uint64_t time = 0;
  if (moment == nullptr) {
    time = FileTimeNow();
  } else {
    TextSpan<char> text = AnsiArgument(context, *moment);
    YmdHms fields{};
    if (!ParseYmdHms(text.data, text.length, fields, kYmdHmsMoment, true))
      return SetError(context, kErrTimeDiffBadValue);
    platform::ClockTime local{fields.year,   fields.month,  fields.day, fields.hour,
                              fields.minute, fields.second, 0,          0};
    if (!platform::LocalTimeToFileTime(local, &time))
      return SetError(context, kErrFileTimeConversion);
  }
  bool ok = WalkFileList(
      context, names, MissingFiles::Fail, Wildcards::Allowed,
      [&](const std::u16string& name) { return SetStampOf(context, name, stamp, time); });
  SetEvalInteger(context, result, ok ? 1 : 0);
}

}  // namespace

std::uint64_t SelectedStamp(const BatchContext& context, const platform::FileFacts& facts) {
  return StampValue(facts, StampOf(context.files.fileTimeSelector));
}

std::string LocalYmdHms(const BatchContext& context, std::uint64_t fileTime) {
  platform::ClockTime local;
  if (!platform::FileTimeToLocalTime(fileTime, &local)) return std::string();
  return YmdHmsText(context, local);
}

KEL_FAMILY_ROUTINE(FileTimeFunction) {
  (void)unicode;
  (void)count;
  const platform::FileStamp selected = StampOf(context.files.fileTimeSelector);
  platform::FileStamp stamp = selected;
  platform::ClockTime local{};
  switch (code) {
    case kKeywordFileTimeGet:
      if (ReadStamp(context, arguments[0], selected, &local)) ReadableStamp(context, result, local);
      return;
    case kKeywordFileTimeGetEx:
      if (ExStamp(context, arguments[1], &stamp) && ReadStamp(context, arguments[0], stamp, &local))
        SetYmdHmsText(context, result, local);
      return;
    case kKeywordFileYmdHms:
      if (ReadStamp(context, arguments[0], selected, &local)) SetYmdHmsText(context, result, local);
      return;
    case kKeywordFileTimeCode:
      if (ReadStamp(context, arguments[0], selected, &local))
        SetEvalInteger(context, result, TimeCode(local));
      return;
    case kKeywordFileTimeSet:
      return SetStamps(context, result, arguments[0], &arguments[1], selected);
    case kKeywordFileTimeSetEx:
      if (!ExStamp(context, arguments[2], &stamp)) return;
      return SetStamps(context, result, arguments[0], &arguments[1], stamp);
    case kKeywordFileTimeTouch:
      return SetStamps(context, result, arguments[0], nullptr, selected);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
