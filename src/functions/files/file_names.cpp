// File names: taking them apart, expanding and mapping them, and itemizing the files and
// directories a list names.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "builtins/extender_router.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/files/file_lists.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "platform/files.h"

namespace kel {
namespace {

// The longest drive, directory, root or extension part.
constexpr std::size_t kMaxNamePart = 255;

// A name's parts: drive ("X:"), directory (up to and including the last separator), root (the
// file name up to its last ".") and extension (after it).
struct NameParts {
  std::u16string drive, directory, root, extension;
  bool hasDot = false;
};

NameParts SplitName(const std::u16string& name) {
  NameParts parts;
  std::size_t at = 0;
  if (name.size() >= 2 && name[1] == u':') {
    parts.drive = name.substr(0, 2);
    at = 2;
  }
  std::size_t fileStart = name.find_last_of(u"\\/");
  fileStart = fileStart == std::u16string::npos || fileStart < at ? at : fileStart + 1;
  parts.directory = name.substr(at, fileStart - at);
  std::u16string file = name.substr(fileStart);
  std::size_t dot = file.find_last_of(u'.');
  parts.hasDot = dot != std::u16string::npos;
  parts.root = parts.hasDot ? file.substr(0, dot) : file;
  if (parts.hasDot) parts.extension = file.substr(dot + 1);
  for (std::u16string* part : {&parts.drive, &parts.directory, &parts.root, &parts.extension})
    if (part->size() > kMaxNamePart) part->resize(kMaxNamePart);
  return parts;
}

void NamePart(BatchContext& context, std::uint32_t code, int count, EvalValue& result,
              EvalValue* arguments) {
  std::u16string name;
  if (!NameArgument(context, arguments[0], &name)) return;
  NameParts parts = SplitName(name);
  std::u16string answer;
  switch (code) {
    case kKeywordFileBaseName: {
      bool keepDot = count > 1 && arguments[1].value.intValue == 1;
      answer = parts.root;
      if (!parts.extension.empty() || (parts.hasDot && keepDot)) answer += u'.' + parts.extension;
      break;
    }
    case kKeywordFileExtension:
      answer = parts.extension;
      break;
    case kKeywordFilePath:
      answer = parts.drive + parts.directory;
      break;
    default:
      answer = parts.root;
      break;
  }
  SetNameResult(context, result, answer);
}

void FullName(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string name, full;
  if (!NameArgument(context, arguments[0], &name)) return;
  if (name.empty() || !platform::FullPathName(name, &full))
    return SetError(context, kErrFullNameNotExpanded);
  SetNameResult(context, result, full);
}

void MapName(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::u16string name, mask, mapped;
  if (!NameArgument(context, arguments[0], &name) || !NameArgument(context, arguments[1], &mask))
    return;
  // The mask's directory is kept as it is written; only the name is mapped.
  std::size_t split = LastComponentStart(mask);
  if (!MapNameThroughMask(name.substr(LastComponentStart(name)), mask.substr(split), &mapped))
    return SetError(context, kErrNameNotMapped);
  SetNameResult(context, result, mask.substr(0, split) + mapped);
}

// An empty list is offered to the host's own function for it, "itemizenull" ("itemizenull2"
// for FileItemPath), with "1" for directories and "0" for files; its answer is the result, as
// UTF-16 text. False when the host has no such function.
bool OfferEmptyListToHost(BatchContext& context, EvalValue& result, ListKind kind, bool withPath) {
  if (context.hostKeywords == nullptr) return false;
  const std::string_view wanted = withPath ? "itemizenull2" : "itemizenull";
  const auto* rows = static_cast<const KelKeywordRow*>(context.hostKeywords);
  for (int row = 0; row <= kHostCodeLast - kHostCodeBase && rows[row].nameLength != 0; ++row) {
    std::string_view name(rows[row].name, rows[row].nameLength);
    if (name.size() != wanted.size() || !std::equal(name.begin(), name.end(), wanted.begin(),
                                                    [](char a, char b) { return (a | 0x20) == b; }))
      continue;
    EvalValue argument;
    ResetEval(argument);
    argument.value.textRef = HeapCopyText(context, kind == ListKind::Directories ? "1" : "0", 1);
    if (argument.value.textRef == 0) {
      SetError(context, kErrOutOfStringMemory);
      return true;
    }
    argument.value.flags = kValueText;
    bool called = CallHostEntry(context, row, &argument, 1, result);
    ReleaseEval(context, argument);
    if (called && !HasError(context) && !ToWideText(context, result.value) && !HasError(context))
      SetError(context, kErrNotUnicode);
    return true;
  }
  return false;
}

// FileItemize, FileItemPath and DirItemize: the names a list matches, joined by the context's
// delimiter, in the order the system lists them.
void Itemize(BatchContext& context, EvalValue& result, EvalValue* arguments, ListKind kind,
             bool withPath) {
  std::u16string list;
  if (!NameArgument(context, arguments[0], &list)) return;
  if (list.empty() && OfferEmptyListToHost(context, result, kind, withPath)) return;
  const char16_t delimiter = static_cast<char16_t>(context.files.fileListDelimiter);
  std::u16string answer;
  answer.reserve(16384);
  bool ok =
      ForEachItem(context, list, kind, [&](const std::u16string& directory, const char16_t* name) {
        if (withPath) answer += directory;
        answer += name;
        answer += delimiter;
      });
  if (!ok) return;
  if (!answer.empty()) answer.pop_back();
  SetNameResult(context, result, answer);
}

// FileNameEval1: the full name of the first file a name with wildcards matches (of the name
// itself without them); FileNameEval2: the full name a copy of the first name gets when the
// second is its destination.
void EvaluateName(BatchContext& context, EvalValue& result, EvalValue* arguments, bool mapped) {
  std::u16string name, full;
  if (!NameArgument(context, arguments[0], &name)) return;
  if (name.empty()) return SetError(context, mapped ? kErrNameNotMapped : kErrFullNameNotExpanded);
  if (mapped) {
    std::u16string destination;
    if (!NameArgument(context, arguments[1], &destination)) return;
    if (!platform::FullPathName(name, &full) || !MapDestination(full, destination, &full))
      return SetError(context, kErrNameNotMapped);
  } else if (!HasWildcard(name)) {
    if (!platform::FullPathName(name, &full)) return SetError(context, kErrFullNameNotExpanded);
  } else {
    // The walk stops at the first match: the operation declines to go on.
    WalkFileList(context, name, MissingFiles::Fail, Wildcards::Allowed,
                 [&](const std::u16string& found) {
                   full = found;
                   return false;
                 });
    if (HasError(context)) return;
  }
  SetNameResult(context, result, full);
}

}  // namespace

KEL_FAMILY_ROUTINE(FileNameFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordFileBaseName:
    case kKeywordFileExtension:
    case kKeywordFilePath:
    case kKeywordFileRoot:
      return NamePart(context, code, count, result, arguments);
    case kKeywordFileFullName:
      return FullName(context, result, arguments);
    case kKeywordFileMapName:
      return MapName(context, result, arguments);
    case kKeywordFileItemize:
      return Itemize(context, result, arguments, ListKind::Files, false);
    case kKeywordFileItemPath:
      return Itemize(context, result, arguments, ListKind::Files, true);
    case kKeywordDirItemize:
      return Itemize(context, result, arguments, ListKind::Directories, false);
    case kKeywordFileNameEval1:
    case kKeywordFileNameEval2:
      return EvaluateName(context, result, arguments, code == kKeywordFileNameEval2);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
