// The file-list engine that the file and directory functions share: splitting a list argument
// into names, expanding wildcards through the system's search and the engine's matcher, and
// mapping source names onto a destination mask. Also the family's argument and result helpers.
//
// Names are UTF-16 throughout: an ANSI argument is widened with the script's code page, so the
// file system sees the same name whichever form the script handed in.
#ifndef KEL_FUNCTIONS_FILES_FILE_LISTS_H
#define KEL_FUNCTIONS_FILES_FILE_LISTS_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lang/value.h"

namespace kel {

struct BatchContext;
namespace platform {
struct FileFacts;
}

// The longest entry of a file list (a longer one is 3054).
constexpr std::size_t kMaxListEntry = 280;

// A text argument as UTF-16; false with the conversion's error.
bool NameArgument(BatchContext& context, EvalValue& argument, std::u16string* name);
// A UTF-16 result; false with 3096 when the heap is full.
bool SetNameResult(BatchContext& context, EvalValue& result, const std::u16string& name);

// A byte count: its decimal digits as a string when `digits`, else a number (a float beyond
// the integer range).
void SetByteCountResult(BatchContext& context, EvalValue& result, std::uint64_t bytes, bool digits);

// The time stamp of `facts` that the context's time selector chooses (0 and 2 last write, 1
// creation, 3 last access).
std::uint64_t SelectedStamp(const BatchContext& context, const platform::FileFacts& facts);
// A file time as YmdHms text in local time, with the context's year form ("" when the system
// cannot convert it).
std::string LocalYmdHms(const BatchContext& context, std::uint64_t fileTime);

bool HasWildcard(const std::u16string& name);
// Whether a name is an existing directory.
bool IsDirectoryName(const std::u16string& name);
bool IsSeparator(char16_t c);
// Where the last component of a name starts (after the last "\", "/" or drive colon).
std::size_t LastComponentStart(const std::u16string& name);

// Splits a list at runs of the context's delimiter, TAB and "|"; false with 3054 when an
// entry is longer than kMaxListEntry.
bool SplitFileList(BatchContext& context, const std::u16string& list,
                   std::vector<std::u16string>* entries);

// Whether a found name passes the context's second check of a wildcard pattern.
bool PassesWildcardFilter(const BatchContext& context, const std::u16string& name,
                          const std::u16string& pattern);

enum class MissingFiles { Fail, Skip };
enum class Wildcards { Allowed, Refused };
enum class ListKind { Files, Directories };

// Walks a file list: every file it names is handed to `operation` with its full name, in list
// order. The matches of a wildcard entry are all found before the first is handed over, so an
// operation that adds files to the directory does not meet its own results. False as soon as
// something fails (the error is set): an entry without match (1002, unless missing files are
// skipped), a wildcard where they are refused (3322), or the operation itself.
bool WalkFileList(BatchContext& context, const std::u16string& list, MissingFiles missing,
                  Wildcards wildcards,
                  const std::function<bool(const std::u16string& fullName)>& operation);

// Visits every name that the entries of an itemizing list match, in the order the system lists
// them: files or directories ("." and ".." never), without hidden and system ones unless the
// context shows them, re-checked by the context's wildcard filter. `directory` is the entry's
// full directory with a final separator. False with 3054 for an entry that is too long.
bool ForEachItem(
    BatchContext& context, const std::u16string& list, ListKind kind,
    const std::function<void(const std::u16string& directory, const char16_t* name)>& visit);

// Where a source's copy goes: the destination is a name or a mask; false when the source's name
// cannot be mapped onto it.
bool MapDestination(const std::u16string& source, const std::u16string& destination,
                    std::u16string* target);
// The name part of the mapping alone: a file name through a mask.
bool MapNameThroughMask(const std::u16string& name, const std::u16string& mask,
                        std::u16string* mapped);

}  // namespace kel

#endif  // KEL_FUNCTIONS_FILES_FILE_LISTS_H
