// Copying, moving, appending, renaming and deleting files, and their existence, size and
// attributes.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "functions/strings/text_units.h"
#include "functions/time/user_time_text.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace kel {
namespace {

// The size of the chunks FileAppend copies in.
constexpr std::size_t kAppendChunk = 28672;

enum class Transfer { Copy, Move, Append };

struct TransferErrors {
  std::uint32_t source, failed, space;
  const char* callName;
};

TransferErrors ErrorsOf(Transfer kind) {
  switch (kind) {
    case Transfer::Copy:
      return {kErrFileCopySource, kErrFileCopyFailed, kErrCopySpace, "CopyFile"};
    case Transfer::Move:
      return {kErrFileMoveSource, kErrFileMoveFailed, kErrMoveSpace, "MoveFile"};
    default:
      return {kErrAppendSource, kErrAppendIo, kErrAppendSpace, "WriteFile"};
  }
}

bool Fail(BatchContext& context, std::uint32_t number) {
  SetError(context, number);
  return false;
}

bool FailWithSystemError(BatchContext& context, std::uint32_t number, const char* callName) {
  RecordApiError(context, platform::LastSystemError(), callName, true);
  return Fail(context, number);
}

bool IsDirectory(const platform::FileFacts& facts) {
  return (facts.attributes & platform::kAttributeDirectory) != 0;
}

bool IsFile(const std::u16string& name, platform::FileFacts* facts) {
  return platform::QueryFile(name, facts) && !IsDirectory(*facts);
}

// The root of the volume a target lies on, whose free space is asked: the drive's root, the
// share of a UNC name, or the target's own directory where names have no drives.
std::u16string VolumeOf(const std::u16string& target) {
  if (target.size() >= 2 && target[1] == u':') return target.substr(0, 2) + u"\\";
  return target.substr(0, LastComponentStart(target));
}

bool EnoughSpace(const std::u16string& target, std::uint64_t needed) {
  std::uint64_t freeBytes = 0, totalBytes = 0;
  if (needed == 0 || !platform::DiskSpace(VolumeOf(target), &freeBytes, &totalBytes)) return true;
  return freeBytes >= needed;
}

// Applies an attribute string: "R", "A", "S", "H" set, the lower-case letters clear, anything
// else is ignored.
void ParseAttributes(const char* text, std::uint32_t* mask, std::uint32_t* bits) {
  *mask = 0;
  *bits = 0;
  for (; *text != '\0'; ++text) {
    std::uint32_t bit = 0;
    switch (*text | 0x20) {
      case 'r':
        bit = platform::kAttributeReadOnly;
        break;
      case 'a':
        bit = platform::kAttributeArchive;
        break;
      case 's':
        bit = platform::kAttributeSystem;
        break;
      case 'h':
        bit = platform::kAttributeHidden;
        break;
      default:
        continue;
    }
    *mask |= bit;
    if (*text >= 'A' && *text <= 'Z')
      *bits |= bit;
    else
      *bits &= ~bit;
  }
}

// The line under a name in the overwrite box: its size and its time in the user's formats.
std::u16string FactsLine(const BatchContext& context, const platform::FileFacts& facts) {
  char time[kUserDateTimeBytes] = "";
  platform::ClockTime local;
  if (platform::FileTimeToLocalTime(SelectedStamp(context, facts), &local))
    FormatUserDateTime(local, time, sizeof time);
  char line[64 + kUserDateTimeBytes];
  std::snprintf(line, sizeof line, "%llu bytes, %s", static_cast<unsigned long long>(facts.size),
                time);
  return std::u16string(line, line + std::strlen(line));
}

enum class Overwrite { Replace, Leave, Cancel };

// Whether an existing target is replaced, by the call's overwrite state or, where that leaves it
// open, by asking the user; the answer becomes the state for the files that follow.
Overwrite DecideOverwrite(BatchContext& context, const std::u16string& source,
                          const platform::FileFacts& sourceFacts, const std::u16string& target,
                          const platform::FileFacts& targetFacts) {
  std::int32_t& state = context.files.overwriteState;
  if (state == platform::kOverwriteAll) return Overwrite::Replace;
  // The source counts as newer when it is at least as new as the target.
  const bool newer = SelectedStamp(context, sourceFacts) >= SelectedStamp(context, targetFacts);
  if (state != platform::kOverwriteNewerAll && state != platform::kOverwriteOlderAll) {
    if (context.soundsOn != 0) platform::PlaySystemSound("SystemExclamation");
    state = platform::AskOverwrite(context.hostWindow, target, FactsLine(context, targetFacts),
                                   source, FactsLine(context, sourceFacts));
  }
  switch (state) {
    case platform::kOverwriteThis:
    case platform::kOverwriteAll:
      return Overwrite::Replace;
    case platform::kOverwriteIfNewer:
    case platform::kOverwriteNewerAll:
      return newer ? Overwrite::Replace : Overwrite::Leave;
    case platform::kOverwriteIfOlder:
    case platform::kOverwriteOlderAll:
      return newer ? Overwrite::Leave : Overwrite::Replace;
    case platform::kOverwriteSkip:
      return Overwrite::Leave;
    case platform::kOverwriteBoxUnavailable:
      SetError(context, kErrWarningInBackground);
      return Overwrite::Cancel;
    default:
      SetError(context, kCompletionCancel);
      return Overwrite::Cancel;
  }
}

bool AppendBytes(BatchContext& context, const std::u16string& source,
                 const std::u16string& target) {
  platform::FileHandle in =
      platform::OpenFile(source, platform::FileAccess::Read, context.files.readShareMode,
                         platform::FileCreation::OpenExisting);
  if (in == platform::kNoFile) return FailWithSystemError(context, kErrAppendSource, "CreateFile");
  platform::FileHandle out =
      platform::OpenFile(target, platform::FileAccess::Write, context.files.writeShareMode,
                         platform::FileCreation::OpenAlways);
  if (out == platform::kNoFile || !platform::SeekFileEnd(out)) {
    if (out != platform::kNoFile) platform::CloseFile(out);
    platform::CloseFile(in);
    return FailWithSystemError(context, kErrAppendTarget, "CreateFile");
  }
  std::vector<char> chunk(kAppendChunk);
  bool ok = true;
  for (;;) {
    std::size_t read = 0;
    if (!platform::ReadFileBytes(in, chunk.data(), chunk.size(), &read)) {
      ok = FailWithSystemError(context, kErrAppendIo, "ReadFile");
      break;
    }
    if (read == 0) break;
    if (!platform::WriteFileBytes(out, chunk.data(), read)) {
      ok = FailWithSystemError(context, kErrAppendIo, "WriteFile");
      break;
    }
  }
  platform::CloseFile(out);
  platform::CloseFile(in);
  return ok;
}

// One file of a copy, move or append. Copying a file onto itself fails and leaves it as it
// was; moving one onto itself changes nothing (or only the case of its name).
bool TransferFile(BatchContext& context, Transfer kind, const std::u16string& source,
                  const std::u16string& destination, const char* attributes) {
  const TransferErrors errors = ErrorsOf(kind);
  platform::FileFacts sourceFacts;
  if (!IsFile(source, &sourceFacts)) return Fail(context, errors.source);
  std::u16string target;
  if (!MapDestination(source, destination, &target)) return Fail(context, errors.failed);
  platform::FileFacts targetFacts;
  bool targetExists = platform::QueryFile(target, &targetFacts);
  if (targetExists && IsDirectory(targetFacts)) return Fail(context, errors.failed);
  // A read-only file is never replaced nor added to, whatever the system would allow.
  if (targetExists && (targetFacts.attributes & platform::kAttributeReadOnly) != 0)
    return Fail(context, kind == Transfer::Append ? kErrAppendTarget : errors.failed);
  if (targetExists && platform::IsSameFile(source, target)) {
    if (kind == Transfer::Copy) return Fail(context, errors.failed);
    if (kind == Transfer::Append) return Fail(context, kErrAppendTarget);
    if (source == target) return true;
  }
  if (targetExists && kind != Transfer::Append) {
    switch (DecideOverwrite(context, source, sourceFacts, target, targetFacts)) {
      case Overwrite::Replace:
        break;
      case Overwrite::Leave:
        return true;
      case Overwrite::Cancel:
        return false;
    }
  }
  std::uint64_t needed = sourceFacts.size;
  if (kind != Transfer::Append && targetExists)
    needed = needed > targetFacts.size ? needed - targetFacts.size : 0;
  if (!EnoughSpace(target, needed)) return Fail(context, errors.space);
  switch (kind) {
    case Transfer::Copy:
      if (!platform::CopyFileReplacing(source, target))
        return FailWithSystemError(context, errors.failed, errors.callName);
      break;
    case Transfer::Move:
      if (!platform::MoveFileReplacing(source, target))
        return FailWithSystemError(context, errors.failed, errors.callName);
      break;
    case Transfer::Append:
      return AppendBytes(context, source, target);
  }
  if (attributes != nullptr) {
    // The attributes are a courtesy: failing to set them does not fail the copy.
    std::uint32_t mask, bits;
    ParseAttributes(attributes, &mask, &bits);
    if (mask != 0) platform::SetFileAttributeBits(target, mask, bits);
  }
  return true;
}

void TransferFiles(BatchContext& context, Transfer kind, int count, EvalValue& result,
                   EvalValue* arguments, bool withAttributes) {
  std::u16string list, destination;
  if (!NameArgument(context, arguments[0], &list) ||
      !NameArgument(context, arguments[1], &destination))
    return;
  context.files.overwriteState = platform::kOverwriteAll;
  if (kind != Transfer::Append && arguments[2].value.intValue != 0) {
    // Where no box can be shown, a request for warnings is refused, as it is for a context
    // without a user interface.
    if (!platform::CanAskOverwrite()) return SetError(context, kErrWarningInBackground);
    context.files.overwriteState = 0;
  }
  const char* attributes =
      withAttributes && count > 3 ? ValueText(context, arguments[3].value) : nullptr;
  bool ok = WalkFileList(context, list, MissingFiles::Fail, Wildcards::Allowed,
                         [&](const std::u16string& source) {
                           return TransferFile(context, kind, source, destination, attributes);
                         });
  context.files.overwriteState = 0;
  SetEvalInteger(context, result, ok ? 1 : 0);
}

void RenameFiles(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string list, destination;
  if (!NameArgument(context, arguments[0], &list) ||
      !NameArgument(context, arguments[1], &destination))
    return;
  bool ok = WalkFileList(
      context, list, MissingFiles::Fail, Wildcards::Allowed, [&](const std::u16string& source) {
        std::u16string target;
        platform::FileFacts facts;
        if (!IsFile(source, &facts) || !MapDestination(source, destination, &target))
          return Fail(context, kErrRenameFailed);
        if (source == target) return true;
        return platform::RenameFile(source, target) ||
               FailWithSystemError(context, kErrRenameFailed, "MoveFile");
      });
  SetEvalInteger(context, result, ok ? 1 : 0);
}

void DeleteFiles(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string list;
  if (!NameArgument(context, arguments[0], &list)) return;
  bool ok = WalkFileList(context, list, MissingFiles::Skip, Wildcards::Allowed,
                         [&](const std::u16string& name) {
                           platform::FileFacts facts;
                           if (!platform::QueryFile(name, &facts))
                             return Fail(context, kErrDeleteNotFound);
                           if (IsDirectory(facts)) return Fail(context, kErrDeleteFailed);
                           return platform::EraseFile(name) ||
                                  FailWithSystemError(context, kErrDeleteFailed, "DeleteFile");
                         });
  SetEvalInteger(context, result, ok ? 1 : 0);
}

bool HasDirectoryPart(const std::u16string& name) {
  return LastComponentStart(name) != 0;
}

// A bare name is looked for in the current directory, along PATH and then by the system's
// own search.
std::u16string LocateBareName(const std::u16string& name) {
  platform::FileFacts facts;
  if (HasDirectoryPart(name) || IsFile(name, &facts)) return name;
  std::u16string path, found;
#if defined(_WIN32)
  constexpr char16_t kListSeparator = u';';
#else
  constexpr char16_t kListSeparator = u':';
#endif
  if (platform::EnvironmentText(u"PATH", &path)) {
    std::size_t at = 0;
    while (at <= path.size()) {
      std::size_t end = path.find(kListSeparator, at);
      if (end == std::u16string::npos) end = path.size();
      std::u16string candidate = path.substr(at, end - at);
      at = end + 1;
      if (candidate.empty()) continue;
      if (!IsSeparator(candidate.back())) candidate += platform::kPathSeparator;
      candidate += name;
      if (IsFile(candidate, &facts)) return candidate;
    }
  }
  if (platform::SearchSystemPath(name, &found)) return found;
  return std::u16string();
}

// 1 when the file can be opened for reading, 2 when another program holds it without sharing.
std::int32_t FileExistence(BatchContext& context, const std::u16string& name) {
#if defined(_WIN32)
  // "/" cannot be part of a Windows file name.
  if (name.find(u'/') != std::u16string::npos) return 0;
#endif
  if (name.empty() || HasWildcard(name)) return 0;
  std::u16string located = LocateBareName(name);
  if (located.empty()) return 0;
  platform::FileHandle file =
      platform::OpenFile(located, platform::FileAccess::Read, context.files.readShareMode | 1,
                         platform::FileCreation::OpenExisting);
  if (file != platform::kNoFile) {
    platform::CloseFile(file);
    return 1;
  }
  return platform::LastSystemError() == platform::kErrorSharingViolation ? 2 : 0;
}

void TotalSize(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  std::u16string list;
  if (!NameArgument(context, arguments[0], &list)) return;
  std::uint64_t total = 0;
  bool ok = WalkFileList(context, list, MissingFiles::Skip, Wildcards::Allowed,
                         [&](const std::u16string& name) {
                           platform::FileFacts facts;
                           if (IsFile(name, &facts)) total += facts.size;
                           return true;
                         });
  if (ok) SetByteCountResult(context, result, total, count > 1 && arguments[1].value.intValue == 1);
}

void AttributesText(BatchContext& context, EvalValue& result, EvalValue* arguments, bool directory,
                    bool bits) {
  std::u16string name;
  if (!NameArgument(context, arguments[0], &name)) return;
  platform::FileFacts facts;
  if (HasWildcard(name) || !platform::QueryFile(name, &facts) || IsDirectory(facts) != directory)
    return SetError(context, directory ? kErrDirAttrGetNotFound : kErrAttrGetNotFound);
  if (bits) return SetEvalInteger(context, result, static_cast<std::int32_t>(facts.attributes));
  char text[5] = "----";
  if ((facts.attributes & platform::kAttributeReadOnly) != 0) text[0] = 'R';
  if ((facts.attributes & platform::kAttributeArchive) != 0) text[1] = 'A';
  if ((facts.attributes & platform::kAttributeSystem) != 0) text[2] = 'S';
  if ((facts.attributes & platform::kAttributeHidden) != 0) text[3] = 'H';
  SetTextResult<char>(context, result, text, 4);
}

// The attribute bits the Ex forms change: read-only, hidden, system and archive.
constexpr std::uint32_t kChangeableAttributes =
    platform::kAttributeReadOnly | platform::kAttributeHidden | platform::kAttributeSystem |
    platform::kAttributeArchive;

bool SetAttributesOf(BatchContext& context, const std::u16string& name, std::uint32_t mask,
                     std::uint32_t bits, bool directory) {
  const std::uint32_t error = directory ? kErrDirAttrSetNotFound : kErrAttrSetNotFound;
  platform::FileFacts facts;
  if (!platform::QueryFile(name, &facts) || IsDirectory(facts) != directory)
    return Fail(context, error);
  if (mask == 0 || platform::SetFileAttributeBits(name, mask, bits)) return true;
  // A bit the file system has no way to keep.
  if (platform::LastSystemError() == 50) return Fail(context, kErrNotAvailable);
  return FailWithSystemError(context, error, "SetFileAttributes");
}

// FileAttrSet and DirAttrSet take an attribute string; their Ex forms the attribute bits and a
// mode: 0 makes the four changeable bits what `attributes` says, 1 adds them, 2 removes them.
void SetAttributes(BatchContext& context, EvalValue& result, EvalValue* arguments, bool directory,
                   bool bits) {
  std::u16string list;
  if (!NameArgument(context, arguments[0], &list)) return;
  std::uint32_t mask = kChangeableAttributes, values = 0;
  if (bits) {
    values = static_cast<std::uint32_t>(arguments[1].value.intValue) & kChangeableAttributes;
    switch (arguments[2].value.intValue) {
      case 0:
        break;
      case 1:
        mask = values;
        break;
      case 2:
        mask = values;
        values = 0;
        break;
      default:
        return SetError(context, kErrInvalidMode);
    }
  } else {
    std::u16string text;
    if (!NameArgument(context, arguments[1], &text)) return;
    ParseAttributes(std::string(text.begin(), text.end()).c_str(), &mask, &values);
  }
  bool ok;
  if (directory) {
    std::vector<std::u16string> entries;
    ok = SplitFileList(context, list, &entries);
    for (std::size_t i = 0; ok && i < entries.size(); ++i)
      ok = SetAttributesOf(context, entries[i], mask, values, true);
  } else {
    ok = WalkFileList(context, list, MissingFiles::Fail, Wildcards::Allowed,
                      [&](const std::u16string& name) {
                        return SetAttributesOf(context, name, mask, values, false);
                      });
  }
  SetEvalInteger(context, result, ok ? 1 : 0);
}

// FileCompare: 0 when both files have the same time and size; otherwise 1 or -1 for the newer
// or older first file, 2 or -2 for the larger or smaller one of equal time. A missing first
// file is -3, a missing second one 3, both missing -4.
void CompareFiles(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string first, second;
  if (!NameArgument(context, arguments[0], &first) || !NameArgument(context, arguments[1], &second))
    return;
  platform::FileFacts a, b;
  bool hasA = IsFile(first, &a), hasB = IsFile(second, &b);
  std::int32_t answer;
  if (!hasA || !hasB) {
    answer = !hasA && !hasB ? -4 : !hasA ? -3 : 3;
  } else {
    // Time stamps count as equal within the two seconds that the oldest file systems keep.
    constexpr std::uint64_t kTwoSeconds = 20000000;
    std::uint64_t difference =
        a.lastWrite > b.lastWrite ? a.lastWrite - b.lastWrite : b.lastWrite - a.lastWrite;
    if (difference >= kTwoSeconds)
      answer = a.lastWrite > b.lastWrite ? 1 : -1;
    else
      answer = a.size == b.size ? 0 : a.size > b.size ? 2 : -2;
  }
  SetEvalInteger(context, result, answer);
}

void LocateFile(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string name, full;
  if (!NameArgument(context, arguments[0], &name)) return;
  std::u16string located = LocateBareName(name);
  platform::FileFacts facts;
  if (located.empty() || !IsFile(located, &facts) || !platform::FullPathName(located, &full))
    full.clear();
  SetNameResult(context, result, full);
}

void NameForm(BatchContext& context, EvalValue& result, EvalValue* arguments, bool shortForm) {
  std::u16string name, form;
  if (!NameArgument(context, arguments[0], &name)) return;
  if (!(shortForm ? platform::ShortPathName(name, &form) : platform::LongPathName(name, &form))) {
    FailWithSystemError(context, kErrFunctionFailed,
                        shortForm ? "GetShortPathName" : "GetLongPathName");
    return;
  }
  SetNameResult(context, result, form);
}

void CreateTemporary(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string prefix, path;
  if (!NameArgument(context, arguments[0], &prefix)) return;
  if (!platform::CreateTemporaryFile(prefix, &path)) {
    FailWithSystemError(context, kErrFunctionFailed, "GetTempFileName");
    return;
  }
  SetNameResult(context, result, path);
}

}  // namespace

KEL_FAMILY_ROUTINE(FileFunction) {
  (void)unicode;
  std::u16string name;
  switch (code) {
    case kKeywordFileCopy:
      return TransferFiles(context, Transfer::Copy, count, result, arguments, false);
    case kKeywordFileCopyAttr:
      return TransferFiles(context, Transfer::Copy, count, result, arguments, true);
    case kKeywordFileMove:
      return TransferFiles(context, Transfer::Move, count, result, arguments, false);
    case kKeywordFileMoveAttr:
      return TransferFiles(context, Transfer::Move, count, result, arguments, true);
    case kKeywordFileAppend:
      return TransferFiles(context, Transfer::Append, count, result, arguments, false);
    case kKeywordFileRename:
      return RenameFiles(context, result, arguments);
    case kKeywordFileDelete:
      return DeleteFiles(context, result, arguments);
    case kKeywordFileExist:
      if (!NameArgument(context, arguments[0], &name)) return;
      return SetEvalInteger(context, result, FileExistence(context, name));
    case kKeywordFileSize:
    case kKeywordFileSizeEx:
      return TotalSize(context, count, result, arguments);
    case kKeywordFileAttrGet:
    case kKeywordFileAttrGetEx:
      return AttributesText(context, result, arguments, false, code == kKeywordFileAttrGetEx);
    case kKeywordDirAttrGet:
    case kKeywordDirAttrGetEx:
      return AttributesText(context, result, arguments, true, code == kKeywordDirAttrGetEx);
    case kKeywordFileAttrSet:
    case kKeywordFileAttrSetEx:
      return SetAttributes(context, result, arguments, false, code == kKeywordFileAttrSetEx);
    case kKeywordDirAttrSet:
    case kKeywordDirAttrSetEx:
      return SetAttributes(context, result, arguments, true, code == kKeywordDirAttrSetEx);
    case kKeywordFileCompare:
      return CompareFiles(context, result, arguments);
    case kKeywordFileLocate:
      return LocateFile(context, result, arguments);
    case kKeywordFileNameLong:
    case kKeywordFileNameShort:
      return NameForm(context, result, arguments, code == kKeywordFileNameShort);
    case kKeywordFileCreateTemp:
      return CreateTemporary(context, result, arguments);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
