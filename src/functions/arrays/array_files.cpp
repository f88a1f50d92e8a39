// Arrays from and to text files: ArrayFileGet and ArrayFilePut (one element per line), and
// ArrayFileGetCsv and ArrayFilePutCsv (a two-dimensional array of comma-separated fields).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "errors/messages.h"
#include "functions/arrays/array_support.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr std::int32_t kCsvKeepBlanks = 1;
constexpr std::int32_t kCsvNoQuotes = 2;

// A file's bytes, read whole.
class FileBytes {
 public:
  ~FileBytes() {
    if (handle_ != nullptr) {
      platform::GlobalUnlock(handle_);
      platform::GlobalFree(handle_);
    }
  }
  bool Read(BatchContext& context, const char* path) {
    platform::FileReadStatus status;
    handle_ = platform::ReadWholeFileStatus(path, &size_, &status);
    if (handle_ == nullptr) {
      SetError(context, status == platform::FileReadStatus::CannotOpen ? kErrOpeningFile
                        : status == platform::FileReadStatus::NoMemory ? kErrUnableToAllocate
                                                                       : kErrReadingFile);
      return false;
    }
    data_ = static_cast<const char*>(platform::GlobalLock(handle_));
    return data_ != nullptr || (SetError(context, kErrUnableToAllocate), false);
  }
  const char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  platform::MemoryHandle handle_ = nullptr;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Splits the bytes into lines (ended by LF or CR LF; a last line without its end counts when
// it is not empty).
std::vector<std::pair<std::size_t, std::size_t>> SplitLines(const char* data, std::size_t size) {
  std::vector<std::pair<std::size_t, std::size_t>> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] != '\n') continue;
    std::size_t end = i > start && data[i - 1] == '\r' ? i - 1 : i;
    lines.emplace_back(start, end);
    start = i + 1;
  }
  if (start < size) {
    std::size_t end = data[size - 1] == '\r' ? size - 1 : size;
    lines.emplace_back(start, end);
  }
  return lines;
}

bool StoreText(BatchContext& context, Value& element, const char* text, std::size_t length) {
  element.flags = kValueText;
  element.textRef = 0;
  if (length == 0) return true;
  element.textRef = HeapCopyText(context, text, length);
  if (element.textRef != 0) return true;
  element.flags = 0;
  SetError(context, kErrOutOfStringMemory);
  return false;
}

void HintLine(BatchContext& context, std::size_t line) {
  char format[128], text[160];
  LoadMessage(context, kMsgHintDataNearLine, format, sizeof format);
  std::snprintf(text, sizeof text, format, static_cast<int>(line));
  AppendMoreErrorInfo(context, text);
}

bool Write(BatchContext& context, EvalValue& result, const char* path, const std::string& bytes) {
  platform::FileWriteStatus status = platform::WriteWholeFile(path, bytes.data(), bytes.size());
  if (status != platform::FileWriteStatus::Written) {
    SetError(context,
             status == platform::FileWriteStatus::CannotOpen ? kErrOpeningFile : kErrWritingFile);
    return false;
  }
  SetEvalInteger(context, result, static_cast<std::int32_t>(bytes.size()));
  return true;
}

// The line readers take lines up to the length the file functions' read buffer allows; a
// longer one is 1591, with the line's number as more information.
bool CheckLineLengths(BatchContext& context,
                      const std::vector<std::pair<std::size_t, std::size_t>>& lines,
                      std::size_t fileSize) {
  const std::size_t longest = LongestLine(context.files, fileSize);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].second - lines[i].first <= longest) continue;
    SetError(context, kErrReadLineTooLong);
    HintLine(context, i + 1);
    return false;
  }
  return true;
}

void FileGet(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  const char* path = ValueText(context, arguments[0].value);
  const char* replacement = count > 1 ? ValueText(context, arguments[1].value) : "";
  if (std::strlen(replacement) > 1) return SetError(context, kErrNullCharacter);
  std::int32_t extra = count > 2 ? arguments[2].value.intValue : 0;
  FileBytes file;
  if (!file.Read(context, path)) return;
  auto lines = SplitLines(file.data(), file.size());
  if (!CheckLineLengths(context, lines, file.size())) return;
  std::int32_t size = static_cast<std::int32_t>(lines.size() + (extra > 0 ? extra : 0));
  ArrayRecord* array = NewResultArray(context, result, &size, 1);
  if (array == nullptr) return;
  std::string line;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    line.clear();
    for (std::size_t at = lines[i].first; at < lines[i].second; ++at) {
      char c = file.data()[at];
      if (c != '\0') {
        line += c;
      } else if (*replacement != '\0') {
        line += *replacement;
      }
    }
    if (!StoreText(context, array->elements[i], line.data(), line.size())) return;
  }
}

bool IsCsvBlank(char c, char delimiter) {
  return c == ' ' || (c == '\t' && delimiter != '\t');
}

// Reads the fields of one line; false when it is not a valid comma-separated line.
bool ParseCsvLine(const char* text, std::size_t length, char delimiter, bool keepBlanks,
                  std::vector<std::string>& fields) {
  fields.clear();
  std::size_t at = 0;
  for (;;) {
    std::string field;
    std::size_t blanks = at;
    while (at < length && IsCsvBlank(text[at], delimiter))
      ++at;
    if (keepBlanks) field.assign(text + blanks, at - blanks);
    if (at < length && text[at] == '"') {
      ++at;
      for (;;) {
        if (at >= length) return false;  // the line ended inside quotes
        if (text[at] == '"') {
          if (at + 1 < length && text[at + 1] == '"') {
            field += '"';
            at += 2;
            continue;
          }
          ++at;
          break;
        }
        field += text[at++];
      }
      std::size_t after = at;
      while (at < length && IsCsvBlank(text[at], delimiter))
        ++at;
      if (at < length && text[at] != delimiter) return false;  // text after the closing quote
      if (keepBlanks) field.append(text + after, at - after);
    } else {
      std::size_t start = at;
      while (at < length && text[at] != delimiter) {
        if (text[at] == '"') return false;  // a quote after the field's text
        ++at;
      }
      std::size_t end = at;
      if (!keepBlanks)
        while (end > start && IsCsvBlank(text[end - 1], delimiter))
          --end;
      field.append(text + start, end - start);
    }
    fields.push_back(std::move(field));
    if (at >= length) return true;
    ++at;                           // the delimiter
    if (at >= length) return true;  // a delimiter at the end adds no empty field
  }
}

bool ValidCsvDelimiter(const char* text) {
  return std::strlen(text) == 1 && *text != ' ' && *text != '"' && *text != '\n' && *text != '\r';
}

void FileGetCsv(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  const char* path = ValueText(context, arguments[0].value);
  std::int32_t flags = arguments[1].value.intValue;
  const char* delimiterText = count > 2 ? ValueText(context, arguments[2].value) : ",";
  if (!ValidCsvDelimiter(delimiterText)) return SetError(context, kErrCsvDelimiter);
  char delimiter = *delimiterText;
  std::int32_t extraRows = count > 3 ? arguments[3].value.intValue : 0;
  std::int32_t extraColumns = count > 4 ? arguments[4].value.intValue : 0;
  FileBytes file;
  if (!file.Read(context, path)) return;
  if (std::memchr(file.data(), '\0', file.size()) != nullptr)
    return SetError(context, kErrFileHasNull);
  auto lines = SplitLines(file.data(), file.size());
  if (!CheckLineLengths(context, lines, file.size())) return;
  bool keepBlanks = (flags & kCsvKeepBlanks) != 0;
  std::vector<std::string> fields;
  std::size_t widest = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!ParseCsvLine(file.data() + lines[i].first, lines[i].second - lines[i].first, delimiter,
                      keepBlanks, fields)) {
      SetError(context, kErrCsvLine);
      return HintLine(context, i + 1);
    }
    if (fields.size() > widest) widest = fields.size();
  }
  std::int32_t sizes[2] = {
      static_cast<std::int32_t>(lines.size() + (extraRows > 0 ? extraRows : 0)),
      static_cast<std::int32_t>(widest + (extraColumns > 0 ? extraColumns : 0))};
  ArrayRecord* array = NewResultArray(context, result, sizes, 2);
  if (array == nullptr || array->dimensionCount != 2) return;
  std::uint32_t columns = array->sizes[1];
  for (std::size_t i = 0; i < lines.size(); ++i) {
    ParseCsvLine(file.data() + lines[i].first, lines[i].second - lines[i].first, delimiter,
                 keepBlanks, fields);
    for (std::size_t c = 0; c < widest; ++c) {
      const std::string empty;
      const std::string& field = c < fields.size() ? fields[c] : empty;
      if (!StoreText(context, array->elements[i * columns + c], field.data(), field.size())) return;
    }
  }
}

void FilePut(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* array = CheckedArray(context, arguments[1].value, false, 1);
  if (array == nullptr) return;
  bool writeEmpty = count > 2 && arguments[2].value.intValue != 0;
  const char* lineEnd = LineTerminator(context.files);
  std::string bytes;
  for (std::uint32_t i = 0; i < array->elementCount; ++i) {
    const Value& element = array->elements[i];
    if ((element.flags & kValueHolding) == 0) {
      if (writeEmpty) bytes += lineEnd;
      continue;
    }
    if (!AppendElementText(context, element, bytes)) return;
    bytes += lineEnd;
  }
  Write(context, result, ValueText(context, arguments[0].value), bytes);
}

void FilePutCsv(BatchContext& context, int count, EvalValue& result, EvalValue* arguments) {
  ArrayRecord* array = CheckedArray(context, arguments[1].value, false, 2);
  if (array == nullptr) return;
  if (array->dimensionCount == 1) return SetError(context, kErrBadDimensionCount);
  const char* delimiterText = count > 2 ? ValueText(context, arguments[2].value) : ",";
  if (!ValidCsvDelimiter(delimiterText)) return SetError(context, kErrCsvDelimiter);
  char delimiter = *delimiterText;
  bool writeEmptyRows = count > 3 && arguments[3].value.intValue != 0;
  bool quote = !(count > 4 && (arguments[4].value.intValue & kCsvNoQuotes) != 0);
  const char* lineEnd = LineTerminator(context.files);
  std::string bytes, field;
  std::uint32_t rows = array->dimensionCount == 2 ? array->sizes[0] : 0;
  std::uint32_t columns = array->dimensionCount == 2 ? array->sizes[1] : 0;
  for (std::uint32_t r = 0; r < rows; ++r) {
    const Value* row = array->elements + std::size_t{r} * columns;
    bool any = false;
    for (std::uint32_t c = 0; c < columns && !any; ++c)
      any = (row[c].flags & kValueHolding) != 0;
    if (!any && !writeEmptyRows) continue;
    if (quote) bytes += '"';
    for (std::uint32_t c = 0; c < columns; ++c) {
      if (c > 0) {
        if (quote) bytes += '"';
        bytes += delimiter;
        if (quote) bytes += '"';
      }
      if ((row[c].flags & kValueHolding) == 0) continue;
      field.clear();
      if (!AppendElementText(context, row[c], field)) return;
      if (!quote) {
        bytes += field;
        continue;
      }
      for (char ch : field) {
        if (ch == '"') bytes += '"';
        bytes += ch;
      }
    }
    if (quote) bytes += '"';
    bytes += lineEnd;
  }
  Write(context, result, ValueText(context, arguments[0].value), bytes);
}

}  // namespace

KEL_FAMILY_ROUTINE(ArrayFileFunction) {
  (void)unicode;
  switch (code) {
    case kKeywordArrayFileGet:
      return FileGet(context, count, result, arguments);
    case kKeywordArrayFileGetCsv:
      return FileGetCsv(context, count, result, arguments);
    case kKeywordArrayFilePut:
      return FilePut(context, count, result, arguments);
    case kKeywordArrayFilePutCsv:
      return FilePutCsv(context, count, result, arguments);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
