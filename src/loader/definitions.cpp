// Recorded user-defined functions and subroutines.
#include "loader/definitions.h"

#include <cstring>

#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "loader/hidden_text.h"
#include "loader/source_lines.h"

namespace kel {
namespace {

enum class Keyword { DefineFunction, DefineSubroutine, EndFunction, EndSubroutine, None };

struct KeywordText {
  const char* text;
  std::size_t length;
};

// Compared in this order, each over its own length, so a name may follow a keyword directly.
constexpr KeywordText kKeywords[] = {
    {"#definefunction", 15},
    {"#definesubroutine", 17},
    {"#endfunction", 12},
    {"#endsubroutine", 14},
};

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

Keyword MatchKeyword(const char* line) {
  for (std::size_t k = 0; k < 4; ++k) {
    const KeywordText& keyword = kKeywords[k];
    std::size_t i = 0;
    while (i < keyword.length && Lower(line[i]) == keyword.text[i])
      ++i;
    if (i == keyword.length) return static_cast<Keyword>(k);
  }
  return Keyword::None;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p))
    ++p;
  return p;
}

// Copies a name that ends at one of `enders` (or the end of the line) into `out`, lower-cased
// when asked; false when it is empty or longer than 30 characters.
bool TakeName(const char*& p, const char* enders, bool lowerCase, char* out, std::size_t& length) {
  length = 0;
  while (*p != '\0' && std::strchr(enders, *p) == nullptr) {
    if (length >= kMaxNameLength) return false;
    out[length++] = lowerCase ? Lower(*p) : *p;
    ++p;
  }
  out[length] = '\0';
  return length > 0;
}

// "(" [name {"," name}] ")" followed by nothing but blanks and an optional comment.
bool ParseParameters(const char* p, UdfRecord& record) {
  p = SkipBlanks(p);
  if (*p != '(') return false;
  p = SkipBlanks(p + 1);
  if (*p != ')') {
    for (;;) {
      if (record.paramCount == kMaxParameters) return false;
      // Kept folded, the way the variable table names them, so that a call stores each
      // argument under its parameter's name as it stands.
      std::size_t length;
      std::memset(record.params[record.paramCount], 0, kNameBytes);
      if (!TakeName(p, "\t,) ", true, record.params[record.paramCount], length)) return false;
      ++record.paramCount;
      p = SkipBlanks(p);
      if (*p == ')') break;
      if (*p != ',') return false;
      p = SkipBlanks(p + 1);
    }
  }
  p = SkipBlanks(p + 1);
  return *p == '\0' || *p == ';';
}

// The record at `index`, allocating its page the first time; null when that fails.
UdfRecord* RecordAt(BatchContext& context, std::uint16_t index, bool allocate) {
  LoaderState& loader = context.loader;
  std::size_t page = index / kRecordsPerPage;
  if (page >= kDefinitionPages) return nullptr;
  if (loader.udfPageRecords[page] == nullptr) {
    if (!allocate) return nullptr;
    platform::MemoryHandle handle =
        platform::GlobalAllocate(kRecordsPerPage * sizeof(UdfRecord), platform::Fill::Zero);
    if (handle == nullptr) return nullptr;
    auto* records = static_cast<UdfRecord*>(platform::GlobalLock(handle));
    if (records == nullptr) {
      platform::GlobalFree(handle);
      return nullptr;
    }
    loader.udfPages[page] = handle;
    loader.udfPageRecords[page] = records;
  }
  return &loader.udfPageRecords[page][index % kRecordsPerPage];
}

DefinitionLine Fail(BatchContext& context, std::uint32_t number) {
  SetError(context, number);
  return DefinitionLine::Failed;
}

DefinitionLine BeginDefinition(BatchContext& context, const char* header, bool subroutine,
                               std::uint32_t bodyStart) {
  LoaderState& loader = context.loader;
  if (loader.udfDefining)
    return Fail(context, subroutine ? kErrNestedDefineSubroutine : kErrNestedDefineFunction);
  if (loader.udfCount >= kMaxDefinitions) return Fail(context, kErrTooManyDefinitions);
  UdfRecord* record = RecordAt(context, loader.udfCount, true);
  if (record == nullptr) return Fail(context, kErrDefinitionMemory);
  std::uint32_t syntaxError = subroutine ? kErrDefineSubroutineSyntax : kErrDefineFunctionSyntax;
  char name[kNameBytes];
  std::size_t nameLength;
  const char* p = SkipBlanks(header);
  if (!TakeName(p, "\t( ", true, name, nameLength)) return Fail(context, syntaxError);
  if (FindDefinition(context, name, nameLength) != kNoDefinition) {
    // The first definition of a name stays in force; this block is read over.
    loader.udfDuplicate = 1;
    loader.udfDefining = 1;
    return DefinitionLine::Recorded;
  }
  std::memset(record, 0, sizeof *record);
  if (!ParseParameters(p, *record)) {
    std::memset(record, 0, sizeof *record);
    return Fail(context, syntaxError);
  }
  std::memcpy(record->name, name, nameLength + 1);
  record->udfNameLength = static_cast<std::uint16_t>(nameLength);
  std::memcpy(record->file, context.scriptPath, sizeof record->file);
  record->file[kPathBytes - 1] = '\0';
  record->isSubroutine = subroutine ? 1 : 0;
  record->bodyStart = bodyStart;
  record->lastAssigned = -1;
  loader.udfDefining = 1;
  loader.udfDuplicate = 0;
  return DefinitionLine::Recorded;
}

DefinitionLine EndDefinition(BatchContext& context, bool subroutine, const ScriptText& text,
                             std::uint32_t lineStart) {
  LoaderState& loader = context.loader;
  if (!loader.udfDefining)
    return Fail(context, subroutine ? kErrEndSubroutineUnmatched : kErrEndFunctionUnmatched);
  if (loader.udfDuplicate) {
    loader.udfDefining = 0;
    loader.udfDuplicate = 0;
    return DefinitionLine::Recorded;
  }
  UdfRecord* record = RecordAt(context, loader.udfCount, false);
  if (record == nullptr || lineStart < record->bodyStart)
    return Fail(context, kErrDefinitionMemory);
  std::uint32_t length = lineStart - record->bodyStart;
  platform::MemoryHandle copy = platform::GlobalAllocate(length + 1, platform::Fill::Zero);
  if (copy == nullptr) return Fail(context, kErrDefinitionMemory);
  auto* bytes = static_cast<std::uint8_t*>(platform::GlobalLock(copy));
  if (bytes == nullptr) {
    platform::GlobalFree(copy);
    return Fail(context, kErrDefinitionMemory);
  }
  // The body keeps the bytes it has in the text (they are read with the body's start as their
  // base); the terminator is hidden for the position that follows the body.
  std::memcpy(bytes, text.bytes + record->bodyStart, length);
  bytes[length] = ConcealByte(0, text.base + record->bodyStart + length);
  platform::GlobalUnlock(copy);
  record->bodyCopy = copy;
  record->bodyLength = length;
  ++loader.udfCount;
  loader.udfDefining = 0;
  return DefinitionLine::Recorded;
}

}  // namespace

std::uint16_t FindDefinition(const BatchContext& context, const char* name, std::size_t length) {
  if (name == nullptr || length == 0 || length > kMaxNameLength) return kNoDefinition;
  const LoaderState& loader = context.loader;
  for (std::uint16_t index = 0; index < loader.udfCount; ++index) {
    const UdfRecord* records = loader.udfPageRecords[index / kRecordsPerPage];
    if (records == nullptr) continue;
    const UdfRecord& record = records[index % kRecordsPerPage];
    if (record.udfNameLength != length) continue;
    std::size_t i = 0;
    while (i < length && Lower(name[i]) == record.name[i])
      ++i;
    if (i == length) return index;
  }
  return kNoDefinition;
}

bool LockDefinitionBody(BatchContext& context, std::uint16_t index, ScriptText& body) {
  UdfRecord* record = DefinitionRecord(context, index);
  if (record == nullptr || record->bodyCopy == nullptr) return false;
  auto* bytes = static_cast<std::uint8_t*>(platform::GlobalLock(record->bodyCopy));
  if (bytes == nullptr) return false;
  body = ScriptText{bytes, record->bodyLength, record->bodyStart,
                    static_cast<std::uint16_t>(index + 1u)};
  return true;
}

void ReleaseDefinitionBody(BatchContext& context, std::uint16_t index) {
  UdfRecord* record = DefinitionRecord(context, index);
  if (record != nullptr && record->bodyCopy != nullptr) platform::GlobalUnlock(record->bodyCopy);
}

DefinitionLine RecordDefinitionLine(BatchContext& context, const char* line, const ScriptText& text,
                                    std::uint32_t lineStart, std::uint32_t nextOffset) {
  if (line[0] != '#') return DefinitionLine::NotDefinition;
  Keyword keyword = MatchKeyword(line);
  switch (keyword) {
    case Keyword::DefineFunction:
    case Keyword::DefineSubroutine: {
      bool subroutine = keyword == Keyword::DefineSubroutine;
      std::size_t skip = kKeywords[static_cast<int>(keyword)].length;
      DefinitionLine begun = BeginDefinition(context, line + skip, subroutine, nextOffset);
      if (begun == DefinitionLine::Recorded && context.loader.udfDuplicate == 0) {
        // The body's place in its file, for an error report from inside it.
        UdfRecord* record = RecordAt(context, context.loader.udfCount, false);
        SourceLine source{};
        FindSourceLine(context, text, nextOffset, source);
        record->bodyLine = source.line;
        std::memcpy(record->bodyFile, source.file, sizeof record->bodyFile);
      }
      return begun;
    }
    case Keyword::EndFunction:
    case Keyword::EndSubroutine:
      return EndDefinition(context, keyword == Keyword::EndSubroutine, text, lineStart);
    case Keyword::None:
      break;
  }
  return DefinitionLine::NotDefinition;
}

void ReleaseDefinitions(BatchContext& context) {
  LoaderState& loader = context.loader;
  for (std::size_t page = 0; page < kDefinitionPages; ++page) {
    UdfRecord* records = loader.udfPageRecords[page];
    if (records != nullptr) {
      for (std::size_t i = 0; i < kRecordsPerPage; ++i)
        if (records[i].bodyCopy != nullptr) platform::GlobalFree(records[i].bodyCopy);
      platform::GlobalUnlock(loader.udfPages[page]);
    }
    if (loader.udfPages[page] != nullptr) platform::GlobalFree(loader.udfPages[page]);
    loader.udfPages[page] = nullptr;
    loader.udfPageRecords[page] = nullptr;
  }
  loader.udfCount = 0;
  // The script path may name a text of a record that is gone.
  context.scriptPathFrom = nullptr;
  loader.udfDefining = 0;
  loader.udfDuplicate = 0;
}

}  // namespace kel
