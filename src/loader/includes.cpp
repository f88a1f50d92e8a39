// #include expansion.
#include "loader/includes.h"

#include <climits>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "core/batch_context.h"
#include "loader/script_text.h"
#include "loader/source_lines.h"

namespace kel {
namespace {

constexpr std::size_t kMaxIncludeName = 260;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool StartsWithNoCase(std::string_view text, std::string_view word) {
  if (text.size() < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    char a = text[i], b = word[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

std::string_view SkipBlanks(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i]))
    ++i;
  return line.substr(i);
}

bool IsMarkerLine(std::string_view line) {
  return line.size() >= 2 && line[0] == kMarkerLead && line[1] == kMarkerKind;
}

// Lines after which the source position must be restated: an #include line is replaced by
// another file, and a definition's body is copied away from the lines before it.
bool NeedsMarkerAfter(std::string_view line) {
  std::string_view item = SkipBlanks(line);
  return StartsWithNoCase(item, "#include") || StartsWithNoCase(item, "#DefineFunction") ||
         StartsWithNoCase(item, "#DefineSubroutine");
}

void AppendMarker(std::string& out, std::uint32_t line, const char* fileName) {
  std::size_t at = out.size();
  out.resize(at + kMarkerFixedBytes + std::strlen(fileName));
  WriteMarker(out.data() + at, line, kIncludeMarkerTag, fileName);
}

// The text with a marker in front and one after every line that needs it. Markers of an
// earlier expansion are kept and not counted as lines.
std::string MarkedCopy(std::string_view text, const char* fileName) {
  std::string out;
  out.reserve(text.size() + std::strlen(fileName) + kMarkerFixedBytes + 1);
  AppendMarker(out, 1, fileName);
  std::uint32_t lineNumber = 0;
  std::size_t position = 0;
  while (position < text.size()) {
    std::size_t end = text.find('\n', position);
    std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    std::string_view line = text.substr(position, next - position);
    out.append(line);
    position = next;
    if (IsMarkerLine(line)) continue;
    ++lineNumber;
    if (!NeedsMarkerAfter(line)) continue;
    if (line.back() != '\n') out.push_back('\n');
    AppendMarker(out, lineNumber + 1, fileName);
  }
  return out;
}

enum class IncludeLine { No, Named, BadName };

// Recognises "#include name" as the first item of a line and takes the name out of it. A quoted
// name ends at its closing quote; an unquoted one runs to the end of the line, without the
// blanks that end the line (a CR LF line end leaves one).
IncludeLine ParseIncludeLine(std::string_view line, std::string& name) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  std::string_view item = SkipBlanks(line);
  if (!StartsWithNoCase(item, "#include") || item.size() < 9 || !IsBlank(item[8]))
    return IncludeLine::No;
  std::string_view rest = SkipBlanks(item.substr(9));
  std::string_view found;
  bool closed = true;
  if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'' || rest[0] == '`')) {
    std::size_t close = rest.find(rest[0], 1);
    closed = close != std::string_view::npos;
    found = closed ? rest.substr(1, close - 1) : rest.substr(1);
  } else {
    found = rest;
    while (!found.empty() && IsBlank(found.back()))
      found.remove_suffix(1);
  }
  name.assign(found.substr(0, kMaxIncludeName));
  if (!closed || found.size() > kMaxIncludeName || found.empty()) return IncludeLine::BadName;
  return IncludeLine::Named;
}

void SetFailedName(char* failedName, const std::string& name) {
  if (failedName == nullptr) return;
  std::size_t length = name.size() < kPathBytes - 1 ? name.size() : kPathBytes - 1;
  std::memcpy(failedName, name.data(), length);
  failedName[length] = '\0';
}

enum class ReadResult { Read, NotFound, Failed, NoMemory };

// Reads one included file as plain text: a UTF-16 file is converted like a script, an encoded
// one cannot be included, and a zero byte ends the text.
ReadResult ReadIncluded(BatchContext& context, const std::string& path, std::string& text) {
  std::size_t size = 0;
  platform::FileReadStatus status = platform::FileReadStatus::Read;
  platform::MemoryHandle block = platform::ReadWholeFileStatus(path.c_str(), &size, &status);
  if (block == nullptr) {
    if (status == platform::FileReadStatus::CannotOpen) return ReadResult::NotFound;
    return status == platform::FileReadStatus::NoMemory ? ReadResult::NoMemory : ReadResult::Failed;
  }
  auto* data = static_cast<char*>(platform::GlobalLock(block));
  ReadResult result = ReadResult::Failed;
  if (data != nullptr) {
    // The block holds two zero bytes after the file, so the text always ends inside it.
    if (!IsEncodedScript(data) && ConvertWideScript(context, data, size + 2)) {
      text.assign(data, strnlen(data, size));
      result = ReadResult::Read;
    }
    platform::GlobalUnlock(block);
  }
  platform::GlobalFree(block);
  return result;
}

int Expand(BatchContext& context, std::string& text, const char* fileName, const char* directory,
           char* failedName, int depth);

// Finds, reads and expands one included file, appending it to `out`.
int Include(BatchContext& context, const std::string& name, std::string& out, const char* directory,
            char* failedName, int depth) {
  std::string candidates[3];
  int count = 0;
  if (!IsAbsolutePath(name.c_str()) && directory[0] != '\0')
    candidates[count++] = std::string(directory) + name;
  candidates[count++] = name;
  char found[kPathBytes];
  if (platform::FindFileOnSearchPath(name.c_str(), found, sizeof found) > 0)
    candidates[count++] = found;
  for (int i = 0; i < count; ++i) {
    std::string included;
    ReadResult read = ReadIncluded(context, candidates[i], included);
    if (read == ReadResult::NotFound) continue;
    if (read == ReadResult::NoMemory) return kIncludeNoMemory;
    if (read == ReadResult::Failed) break;
    int length = Expand(context, included, candidates[i].c_str(), directory, failedName, depth + 1);
    if (length < 1) return length;
    out.append(included);
    if (included.back() != '\n') out.push_back('\n');
    return length;
  }
  SetFailedName(failedName, name);
  return kIncludeFailed;
}

int Expand(BatchContext& context, std::string& text, const char* fileName, const char* directory,
           char* failedName, int depth) {
  if (depth >= kMaxIncludeDepth) return kIncludeTooDeep;
  std::string_view start(text);
  if (!start.empty() && start[0] == ' ') start.remove_prefix(1);
  // A text that already went through expansion (a called script loaded twice) or an encoded
  // one is left as it is.
  if (start.size() >= 2 && start[0] == ';' &&
      (start[1] == kMarkerKind || (start[1] == '\x0c' && start.size() >= 3 && start[2] == '@')))
    return text.size() > INT_MAX ? kIncludeNoMemory : static_cast<int>(text.size());
  NormaliseLineEnds(text.data());
  std::string marked = MarkedCopy(text, fileName);
  std::string out;
  out.reserve(marked.size());
  std::size_t position = 0;
  while (position < marked.size()) {
    std::size_t end = marked.find('\n', position);
    std::size_t next = end == std::string::npos ? marked.size() : end + 1;
    std::string_view line(marked.data() + position, next - position);
    std::string name;
    IncludeLine kind = ParseIncludeLine(line, name);
    if (kind == IncludeLine::BadName) {
      SetFailedName(failedName, name);
      return kIncludeFailed;
    }
    if (kind == IncludeLine::Named) {
      int length = Include(context, name, out, directory, failedName, depth);
      if (length < 1) return length;
    } else {
      out.append(line);
    }
    position = next;
  }
  if (out.size() > INT_MAX) return kIncludeNoMemory;
  text.swap(out);
  return static_cast<int>(text.size());
}

}  // namespace

bool IsAbsolutePath(const char* name) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
      name[1] == ':' && separator(name[2]))
    return true;
  if (name[0] == '/') return true;
  return separator(name[0]) && separator(name[1]);
}

int ExpandIncludes(BatchContext& context, platform::MemoryHandle& textHandle, const char* fileName,
                   const char* directory, char* failedName, int depth) {
  if (failedName != nullptr) failedName[0] = '\0';
  if (fileName == nullptr) fileName = "";
  if (directory == nullptr) directory = "";
  try {
    std::string text;
    {
      std::size_t bytes = platform::GlobalSize(textHandle);
      auto* data = static_cast<const char*>(platform::GlobalLock(textHandle));
      if (data == nullptr) return kIncludeNoMemory;
      text.assign(data, strnlen(data, bytes));
      platform::GlobalUnlock(textHandle);
    }
    int length = Expand(context, text, fileName, directory, failedName, depth);
    if (length < 1) return length;
    if (platform::GlobalSize(textHandle) < text.size() + 1) {
      platform::MemoryHandle bigger =
          platform::GlobalReallocate(textHandle, text.size() + 1, platform::Fill::Zero);
      if (bigger == nullptr) return kIncludeNoMemory;
      textHandle = bigger;
    }
    auto* data = static_cast<char*>(platform::GlobalLock(textHandle));
    if (data == nullptr) return kIncludeNoMemory;
    std::memcpy(data, text.data(), text.size());
    data[text.size()] = '\0';
    platform::GlobalUnlock(textHandle);
    return length;
  } catch (const std::bad_alloc&) {
    return kIncludeNoMemory;
  }
}

}  // namespace kel
