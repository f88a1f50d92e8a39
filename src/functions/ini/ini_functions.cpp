// The INI functions: reading, writing, deleting and listing the entries of the system's profile
// (WIN.INI: IniRead, IniWrite, IniDelete, IniItemize) and of a profile file the script names
// (the ...Pvt forms), through the platform's profile services.
#include <cstring>
#include <memory>
#include <new>

#include "builtins/arguments.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/text_units.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/profile.h"

namespace kel {
namespace {

// The work buffer of a read, and the least one of a listing.
constexpr std::size_t kReadBufferBytes = 65535;
constexpr std::size_t kListBufferBytes = 32000;
// The key that stands for the whole section in a deletion (@WHOLESECTION).
constexpr char kWholeSection[] = "692837";
// Listings that find nothing answer this.
constexpr char kNoEntries[] = "(NONE)";

// The system's own profile when `file` is null, else the named one.
std::size_t ReadEntry(const char* file, const char* section, const char* key, const char* fallback,
                      char* out, std::size_t size) {
  return file == nullptr ? platform::ReadSystemProfileText(section, key, fallback, out, size)
                         : platform::ReadProfileText(file, section, key, fallback, out, size);
}

void WriteEntry(const char* file, const char* section, const char* key, const char* value) {
  if (file == nullptr) {
    platform::WriteSystemProfileText(section, key, value);
  } else {
    platform::WriteProfileText(file, section, key, value);
  }
}

const char* Text(BatchContext& context, EvalValue* arguments, int index) {
  return ValueText(context, arguments[index].value);
}

// The private forms may not touch the device list of the old enhanced-mode section.
bool RefusedEntry(BatchContext& context, const char* section, const char* key) {
  if (!SameAnsiText(section, "386Enh") || !SameAnsiText(key, "Device")) return false;
  SetError(context, kErrIniDeviceEntry);
  return true;
}

bool AllEmpty(const char* section, const char* key, const char* data) {
  return *section == '\0' && *key == '\0' && *data == '\0';
}

void Read(BatchContext& context, EvalValue& result, const char* file, const char* section,
          const char* key, const char* fallback) {
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadBufferBytes]);
  if (buffer == nullptr) return SetError(context, kErrUnableToAllocate);
  std::size_t length = ReadEntry(file, section, key, fallback, buffer.get(), kReadBufferBytes);
  SetAnsiResult(context, result, buffer.get(), length);
}

void Write(BatchContext& context, EvalValue& result, const char* file, const char* section,
           const char* key, const char* data) {
  if (AllEmpty(section, key, data)) {
    WriteEntry(file, nullptr, nullptr, nullptr);
  } else {
    WriteEntry(file, section, key, data);
    if (file == nullptr) platform::AnnounceSystemProfileChange(section);
  }
  SetEvalInteger(context, result, 1);
}

// Deletions set no result: the script receives the one every call starts with.
void Delete(const char* file, const char* section, const char* key) {
  WriteEntry(file, section, std::strcmp(key, kWholeSection) == 0 ? nullptr : key, nullptr);
}

// The section names (an empty section argument) or the key names of a section, separated by
// tabs; "(NONE)" when there are none.
void Itemize(BatchContext& context, EvalValue& result, const char* file, const char* section) {
  std::uint64_t fileSize = platform::ProfileFileSize(file);
  std::size_t size =
      fileSize > kListBufferBytes ? static_cast<std::size_t>(fileSize) + 2 : kListBufferBytes;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
  if (buffer == nullptr) return SetError(context, kErrOutOfStringMemory);
  char* list = buffer.get();
  std::size_t length =
      ReadEntry(file, *section == '\0' ? nullptr : section, nullptr, kNoEntries, list, size);
  if (length == 0) return (void)SetAnsiResult(context, result, kNoEntries, sizeof kNoEntries - 1);
  // Each NUL between names becomes a tab; the list ends at the first empty name.
  list[length] = '\0';
  std::size_t end = 0;
  for (; end < length; ++end) {
    if (list[end] != '\0') continue;
    if (end + 1 >= length || list[end + 1] == '\0') break;
    list[end] = '\t';
  }
  SetAnsiResult(context, result, list, end);
}

}  // namespace

KEL_FAMILY_ROUTINE(IniFunction) {
  (void)unicode;
  const bool isPrivate = code == kKeywordIniReadPvt || code == kKeywordIniWritePvt ||
                         code == kKeywordIniDeletePvt || code == kKeywordIniItemizePvt;
  // The private forms name their file last.
  const char* file = isPrivate ? Text(context, arguments, count - 1) : nullptr;
  const char* section = Text(context, arguments, 0);
  switch (code) {
    case kKeywordIniRead:
    case kKeywordIniReadPvt:
    case kKeywordIniWrite:
    case kKeywordIniWritePvt: {
      const char* key = Text(context, arguments, 1);
      if (isPrivate && RefusedEntry(context, section, key)) return;
      if (code == kKeywordIniRead || code == kKeywordIniReadPvt)
        return Read(context, result, file, section, key, Text(context, arguments, 2));
      return Write(context, result, file, section, key, Text(context, arguments, 2));
    }
    case kKeywordIniDelete:
    case kKeywordIniDeletePvt:
      return Delete(file, section, Text(context, arguments, 1));
    case kKeywordIniItemize:
    case kKeywordIniItemizePvt:
      return Itemize(context, result, file, section);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
