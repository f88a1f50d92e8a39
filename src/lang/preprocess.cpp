// Line preprocessing.
#include "lang/preprocess.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/variables.h"
#include "loader/includes.h"

namespace kel {
namespace {

constexpr std::size_t kMaxExpandedLength = kSubstitutionBytes - 2;  // 2048 characters
constexpr std::size_t kMaxSubscriptLength = 40;
constexpr std::uint32_t kIncludeAsCall = 2;  // includeMode bit 1

struct NamedText {
  const char* name;
  const char* text;
};
constexpr NamedText kLineConstants[] = {
    {"@crlf", "\r\n"},
    {"@tab", "\t"},
    {"@cr", "\r"},
    {"@lf", "\n"},
};

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '@' ||
         c == '_';
}

bool EqualsNoCase(const char* text, std::size_t length, const char* word) {
  if (std::strlen(word) != length) return false;
  for (std::size_t i = 0; i < length; ++i)
    if (Lower(text[i]) != Lower(word[i])) return false;
  return true;
}

// The expansion of one line, kept within 2048 characters.
class Expansion {
 public:
  explicit Expansion(char* buffer) : buffer_(buffer) {}
  bool Put(const char* text, std::size_t length) {
    if (length > kMaxExpandedLength - used_) return false;
    std::memcpy(buffer_ + used_, text, length);
    used_ += length;
    return true;
  }
  void Finish() { buffer_[used_] = '\0'; }

 private:
  char* buffer_;
  std::size_t used_ = 0;
};

bool Overflow(BatchContext& context) {
  SetError(context, kErrSubstitutionTooLong);
  return false;
}

// Replaces the %name% references of `line` into `buffer`; on failure errNum is set and false
// returned.
bool Substitute(BatchContext& context, const char* line, char* buffer, bool& replaced) {
  Expansion out(buffer);
  for (const char* p = line; *p != '\0';) {
    if (*p != '%') {
      const char* run = p;
      while (*p != '\0' && *p != '%')
        ++p;
      if (!out.Put(run, static_cast<std::size_t>(p - run))) return Overflow(context);
      continue;
    }
    if (p[1] == '%') {
      if (!out.Put("%", 1)) return Overflow(context);
      p += 2;
      continue;
    }
    // A name: letters, digits, "@" and "_", where a double-byte character counts as two.
    const char* name = p + 1;
    const char* end = name;
    for (;;) {
      if (IsNameCharacter(*end)) {
        ++end;
      } else if (platform::IsDoubleByteLead(context.codePage, static_cast<unsigned char>(*end)) &&
                 end[1] != '\0') {
        end += 2;
      } else {
        break;
      }
    }
    std::size_t nameLength = static_cast<std::size_t>(end - name);
    // An array element: name[subscript], the subscript at most 40 characters.
    const char* reference = end;
    if (*reference == '[' && nameLength > 0) {
      const char* close = reference + 1;
      while (*close != '\0' && *close != ']' &&
             static_cast<std::size_t>(close - reference - 1) <= kMaxSubscriptLength)
        ++close;
      if (*close == ']' && static_cast<std::size_t>(close - reference - 1) <= kMaxSubscriptLength)
        reference = close + 1;
    }
    if (nameLength == 0 || *reference != '%') {
      SetError(context, kErrSubstitutionUnclosed);
      return false;
    }
    if (nameLength > kMaxNameLength) {
      SetError(context, kErrSubstitutionNameTooLong);
      return false;
    }
    replaced = true;
    char full[kNameBytes + kMaxSubscriptLength + 3];
    std::size_t fullLength = static_cast<std::size_t>(reference - name);
    std::memcpy(full, name, fullLength);
    full[fullLength] = '\0';
    p = reference + 1;
    // Room for one character more than a line holds, so that an over-long value is noticed.
    char value[kSubstitutionBytes + 1];
    if (VariableText(context, full, value, sizeof value)) {
      if (!out.Put(value, std::strlen(value))) return Overflow(context);
      continue;
    }
    // NOTE: an array element (name[subscript]) is read through VariableText as well; until
    // arrays can give their elements there, such a reference leaves nothing behind.
    if (fullLength != nameLength) continue;
    for (const NamedText& constant : kLineConstants)
      if (EqualsNoCase(name, nameLength, constant.name) &&
          !out.Put(constant.text, std::strlen(constant.text)))
        return Overflow(context);
    // Any other name, and a variable without a text form, leaves nothing behind.
  }
  out.Finish();
  return true;
}

// The directory part of a path, with its trailing separator ("" when there is none).
std::size_t DirectoryLength(const char* path) {
  std::size_t length = 0;
  for (std::size_t i = 0; path[i] != '\0'; ++i)
    if (path[i] == '\\' || path[i] == '/') length = i + 1;
  return length;
}

// "#include name" met while running becomes a Call of that file, so that it runs in the
// caller's variables as a called script. False when the Call does not fit in a line.
bool IncludeAsCall(BatchContext& context, char* line) {
  std::size_t length = std::strlen(line);
  if (length < 10 || !EqualsNoCase(line, 8, "#include") || !IsBlank(line[8])) return true;
  const char* name = line + 9;
  while (IsBlank(*name))
    ++name;
  std::size_t nameLength = std::strlen(name);
  while (nameLength > 0 && IsBlank(name[nameLength - 1]))
    --nameLength;
  if (nameLength >= 2 && (name[0] == '"' || name[0] == '\'' || name[0] == '`') &&
      name[nameLength - 1] == name[0]) {
    ++name;
    nameLength -= 2;
  }
  char file[kLineBufferBytes];
  std::snprintf(file, sizeof file, "%.*s", static_cast<int>(nameLength), name);
  if (!IsAbsolutePath(file)) {
    std::size_t directoryLength = DirectoryLength(context.scriptPath);
    char candidate[kLineBufferBytes];
    int written = std::snprintf(candidate, sizeof candidate, "%.*s%s",
                                static_cast<int>(directoryLength), context.scriptPath, file);
    char found[kLineBufferBytes];
    if (directoryLength > 0 && written > 0 &&
        static_cast<std::size_t>(written) < sizeof candidate &&
        platform::FindFileOnSearchPath(candidate, found, sizeof found) > 0)
      std::memcpy(file, candidate, static_cast<std::size_t>(written) + 1);
  }
  char call[kSubstitutionBytes + 16];
  int written = std::snprintf(call, sizeof call, "Call(\"%s\",``)", file);
  if (written < 0 || static_cast<std::size_t>(written) > kMaxExpandedLength) return false;
  std::memcpy(line, call, static_cast<std::size_t>(written) + 1);
  return true;
}

}  // namespace

int PreprocessLine(BatchContext& context, char* line) {
  bool replaced = false;
  if (std::strchr(line, '%') != nullptr) {
    char* expanded = context.loader.expansionBuffer;
    if (!Substitute(context, line, expanded, replaced)) return kPreprocessFailed;
    std::memcpy(line, expanded, std::strlen(expanded) + 1);
  }
  if ((context.includeMode & kIncludeAsCall) != 0 && !IncludeAsCall(context, line)) {
    Overflow(context);
    return kPreprocessFailed;
  }
  return replaced ? kPreprocessSubstituted : kPreprocessUnchanged;
}

}  // namespace kel
