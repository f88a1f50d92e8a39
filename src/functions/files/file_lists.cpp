// The file-list engine: list splitting, wildcard expansion and destination masks.
#include "functions/files/file_lists.h"

#include <cstdio>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/text_units.h"
#include "functions/strings/wildcard.h"
#include "lang/eval_value.h"
#include "platform/files.h"

namespace kel {
namespace {

// "*" and "*.*" match every name, so their matches need no second look.
bool MatchesEverything(const std::u16string& pattern) {
  return pattern == u"*" || pattern == u"*.*";
}

// Whether the matcher takes the whole of `text` (the matcher answers how much of a text's
// beginning it matched, and an empty text matches only a pattern of stars).
bool MatchesInFull(const std::u16string& text, const std::u16string& pattern) {
  if (text.empty()) return pattern.find_first_not_of(u'*') == std::u16string::npos;
  return MatchWildcard(text.c_str(), pattern.c_str()) == text.size();
}

void SplitAtLastDot(const std::u16string& name, std::u16string* root, std::u16string* extension) {
  std::size_t dot = name.find_last_of(u'.');
  if (dot == std::u16string::npos) {
    *root = name;
    extension->clear();
  } else {
    *root = name.substr(0, dot);
    *extension = name.substr(dot + 1);
  }
}

// One part of a name through the same part of a mask: "*" copies the rest, "?" one character,
// any other character is written itself in place of one.
std::u16string MapPart(const std::u16string& source, const std::u16string& mask) {
  std::u16string out;
  std::size_t at = 0;
  for (char16_t c : mask) {
    if (c == u'*') {
      if (at < source.size()) out.append(source, at, std::u16string::npos);
      at = source.size();
    } else if (c == u'?') {
      if (at < source.size()) out += source[at++];
    } else {
      out += c;
      if (at < source.size()) ++at;
    }
  }
  return out;
}

// The full name of a directory part ("" is the current directory), with a final separator.
bool FullDirectory(const std::u16string& directory, std::u16string* full) {
  std::u16string name = directory;
  if (name.empty() || (name.size() == 2 && name[1] == u':')) name += u'.';
  if (!platform::FullPathName(name, full)) return false;
  if (full->empty() || !IsSeparator(full->back())) *full += platform::kPathSeparator;
  return true;
}

}  // namespace

bool NameArgument(BatchContext& context, EvalValue& argument, std::u16string* name) {
  if ((argument.value.flags & kValueWideText) == 0 && !ToWideText(context, argument.value)) {
    if (!HasError(context)) SetError(context, kErrNotUnicode);
    return false;
  }
  *name = ValueWideText(context, argument.value);
  return true;
}

bool SetNameResult(BatchContext& context, EvalValue& result, const std::u16string& name) {
  return SetTextResult<char16_t>(context, result, name.data(), name.size());
}

void SetByteCountResult(BatchContext& context, EvalValue& result, std::uint64_t bytes,
                        bool digits) {
  if (digits) {
    char text[24];
    int length = std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(bytes));
    SetTextResult<char>(context, result, text, static_cast<std::size_t>(length));
  } else if (bytes <= 0x7FFFFFFF) {
    SetEvalInteger(context, result, static_cast<std::int32_t>(bytes));
  } else {
    ReleaseEval(context, result);
    result.value.flags = kValueFloat;
    result.value.floatValue = static_cast<double>(bytes);
  }
}

bool IsDirectoryName(const std::u16string& name) {
  platform::FileFacts facts;
  return platform::QueryFile(name, &facts) &&
         (facts.attributes & platform::kAttributeDirectory) != 0;
}

bool HasWildcard(const std::u16string& name) {
  return name.find_first_of(u"*?") != std::u16string::npos;
}

bool IsSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

std::size_t LastComponentStart(const std::u16string& name) {
  std::size_t at = name.find_last_of(u"\\/");
  if (at != std::u16string::npos) return at + 1;
  return name.size() >= 2 && name[1] == u':' ? 2 : 0;
}

bool SplitFileList(BatchContext& context, const std::u16string& list,
                   std::vector<std::u16string>* entries) {
  const char16_t delimiter = static_cast<char16_t>(context.files.fileListDelimiter);
  auto isDelimiter = [&](char16_t c) { return c == u'\t' || c == u'|' || c == delimiter; };
  std::size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && isDelimiter(list[at]))
      ++at;
    std::size_t end = at;
    while (end < list.size() && !isDelimiter(list[end]))
      ++end;
    if (end == at) break;
    if (end - at > kMaxListEntry) {
      SetError(context, kErrUnrecognizableItem);
      return false;
    }
    entries->push_back(list.substr(at, end - at));
    at = end;
  }
  return true;
}

bool PassesWildcardFilter(const BatchContext& context, const std::u16string& name,
                          const std::u16string& pattern) {
  if (context.files.wildcardFilterMode == 1 || MatchesEverything(pattern)) return true;
  // Mode 2 asks the system's own matcher; where there is none, the engine's serves.
  if (context.files.wildcardFilterMode == 2) {
    int matched = platform::MatchSystemPattern(name, pattern);
    if (matched >= 0) return matched == 1;
  }
  // A pattern without "." is matched against the whole name, so "a*" keeps "a.txt" as a user
  // expects; otherwise name and extension are matched part by part, which drops the names the
  // system matched through their short 8.3 forms.
  if (pattern.find(u'.') == std::u16string::npos) return MatchesInFull(name, pattern);
  std::u16string patternRoot, patternExtension, root, extension;
  SplitAtLastDot(pattern, &patternRoot, &patternExtension);
  SplitAtLastDot(name, &root, &extension);
  return MatchesInFull(root, patternRoot) && MatchesInFull(extension, patternExtension);
}

bool WalkFileList(BatchContext& context, const std::u16string& list, MissingFiles missing,
                  Wildcards wildcards,
                  const std::function<bool(const std::u16string& fullName)>& operation) {
  std::vector<std::u16string> entries;
  if (!SplitFileList(context, list, &entries)) return false;
  for (const std::u16string& entry : entries) {
    if (!HasWildcard(entry)) {
      std::u16string full;
      if (!platform::FullPathName(entry, &full)) full = entry;
      platform::FileFacts facts;
      if (missing == MissingFiles::Skip && !platform::QueryFile(full, &facts)) continue;
      if (!operation(full)) return false;
      continue;
    }
    if (wildcards == Wildcards::Refused) {
      SetError(context, kErrNoWildcardsAllowed);
      return false;
    }
    std::size_t split = LastComponentStart(entry);
    std::u16string pattern = entry.substr(split);
    std::vector<std::u16string> names;
    platform::DirectorySearch search;
    platform::FoundFile found;
    if (search.Open(entry)) {
      while (search.Next(&found)) {
        if ((found.attributes & platform::kAttributeDirectory) != 0) continue;
        std::u16string name = found.name;
        if (PassesWildcardFilter(context, name, pattern)) names.push_back(std::move(name));
      }
      search.Close();
    }
    if (names.empty()) {
      if (missing == MissingFiles::Skip) continue;
      SetError(context, kErrNoMatch);
      return false;
    }
    std::u16string directory;
    if (!FullDirectory(entry.substr(0, split), &directory)) directory = entry.substr(0, split);
    for (const std::u16string& name : names)
      if (!operation(directory + name)) return false;
  }
  return true;
}

bool ForEachItem(
    BatchContext& context, const std::u16string& list, ListKind kind,
    const std::function<void(const std::u16string& directory, const char16_t* name)>& visit) {
  std::vector<std::u16string> entries;
  if (!SplitFileList(context, list, &entries)) return false;
  const std::uint32_t unwanted = context.files.showHiddenFiles != 0
                                     ? 0
                                     : platform::kAttributeHidden | platform::kAttributeSystem;
  platform::DirectorySearch search;
  platform::FoundFile found;
  for (const std::u16string& entry : entries) {
    std::size_t split = LastComponentStart(entry);
    std::u16string pattern = entry.substr(split), directory;
    if (!FullDirectory(entry.substr(0, split), &directory)) directory = entry.substr(0, split);
    if (!search.Open(entry)) continue;
    while (search.Next(&found)) {
      bool isDirectory = (found.attributes & platform::kAttributeDirectory) != 0;
      if (isDirectory != (kind == ListKind::Directories) || (found.attributes & unwanted) != 0)
        continue;
      std::u16string_view name(found.name);
      if (name == u"." || name == u"..") continue;
      if (HasWildcard(pattern) && !PassesWildcardFilter(context, std::u16string(name), pattern))
        continue;
      visit(directory, found.name);
    }
    search.Close();
  }
  return true;
}

bool MapNameThroughMask(const std::u16string& name, const std::u16string& mask,
                        std::u16string* mapped) {
  // A mask without "." maps the whole name, so "*" keeps the extension.
  if (mask.find(u'.') == std::u16string::npos) {
    *mapped = MapPart(name, mask);
  } else {
    std::u16string root, extension, maskRoot, maskExtension;
    SplitAtLastDot(name, &root, &extension);
    SplitAtLastDot(mask, &maskRoot, &maskExtension);
    *mapped = MapPart(root, maskRoot);
    std::u16string mappedExtension = MapPart(extension, maskExtension);
    if (!mappedExtension.empty()) *mapped += u'.' + mappedExtension;
  }
  return !mapped->empty();
}

bool MapDestination(const std::u16string& source, const std::u16string& destination,
                    std::u16string* target) {
  std::u16string mask = destination;
  if (!HasWildcard(mask)) {
    if (!mask.empty() && (IsSeparator(mask.back()) || mask.back() == u':'))
      mask += u"*.*";
    else if (IsDirectoryName(mask))
      mask += std::u16string(1, platform::kPathSeparator) + u"*.*";
  }
  std::size_t split = LastComponentStart(mask);
  std::u16string directory, name;
  if (!FullDirectory(mask.substr(0, split), &directory)) return false;
  if (!MapNameThroughMask(source.substr(LastComponentStart(source)), mask.substr(split), &name))
    return false;
  *target = directory + name;
  return true;
}

}  // namespace kel
