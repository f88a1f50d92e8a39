// Marker lines and source line numbers.
#include "loader/source_lines.h"

#include <cstdio>
#include <cstring>

#include "loader/definitions.h"
#include "loader/hidden_text.h"

namespace kel {
namespace {

constexpr std::uint8_t kEndOfFile = 26;

void CopyPath(char* out, const char* path, std::size_t length) {
  if (length >= kPathBytes) length = kPathBytes - 1;
  std::memcpy(out, path, length);
  out[length] = '\0';
}

// Reads the marker that begins at `offset`; returns the offset after its LF, or `offset` when
// the line is no marker.
std::uint32_t ReadMarker(const ScriptText& text, std::uint32_t offset, const char* scriptPath,
                         SourceLine& out) {
  auto at = [&](std::uint32_t i) -> std::uint8_t {
    return i < text.length ? PlainByteAt(text, i) : 0;
  };
  if (at(offset) != kMarkerLead || at(offset + 1) != kMarkerKind || at(offset + 3) != '@')
    return offset;
  std::uint32_t line = 0;
  for (std::uint32_t i = 0; i < 4; ++i) {
    std::uint8_t digit = at(offset + 4 + i);
    if (digit < 64 || digit > 127) return offset;
    line = (line << 6) | (digit & 63u);
  }
  char path[kPathBytes];
  std::size_t length = 0;
  std::uint32_t i = offset + kMarkerFixedBytes - 1;
  for (;; ++i) {
    std::uint8_t c = at(i);
    if (c == 0 || c == '\n' || c == kEndOfFile) break;
    if (length < kPathBytes - 1) path[length++] = static_cast<char>(c);
  }
  if (at(i) != '\n') return offset;
  out.line = line;
  out.tag = static_cast<int>(at(offset + 2)) - 64;
  // A marker written for a text without a name speaks of the running script itself.
  if (length == 0)
    CopyPath(out.file, scriptPath, std::strlen(scriptPath));
  else
    CopyPath(out.file, path, length);
  return i + 1;
}

}  // namespace

std::size_t WriteMarker(char* out, std::uint32_t line, int tag, const char* path) {
  std::size_t length = std::strlen(path);
  out[0] = kMarkerLead;
  out[1] = kMarkerKind;
  out[2] = static_cast<char>(64 + tag);
  out[3] = '@';
  for (int i = 0; i < 4; ++i)
    out[4 + i] = static_cast<char>(64 | ((line >> (18 - 6 * i)) & 63u));
  std::memcpy(out + 8, path, length);
  out[8 + length] = '\n';
  return kMarkerFixedBytes + length;
}

void FindSourceLine(const BatchContext& context, const ScriptText& text, std::uint32_t offset,
                    SourceLine& out) {
  out.line = 1;
  out.tag = -1;
  CopyPath(out.file, context.scriptPath, strnlen(context.scriptPath, kPathBytes));
  std::uint32_t i = 0;
  while (i < offset && i < text.length) {
    std::uint32_t after = ReadMarker(text, i, context.scriptPath, out);
    if (after != i) {
      i = after;
      continue;
    }
    for (; i < offset && i < text.length; ++i) {
      std::uint8_t c = PlainByteAt(text, i);
      if (c == 0 || c == kEndOfFile) return;
      if (c == '\n') {
        ++out.line;
        ++i;
        break;
      }
    }
  }
}

bool CurrentSourceLine(const BatchContext& context, std::uint32_t offset, SourceLine& out) {
  if (context.loader.runText.bytes == nullptr) return false;
  FindSourceLine(context, context.loader.runText, offset, out);
  return true;
}

void LocateFailingStatement(BatchContext& context, SourcePosition& position) {
  position.line = 0;
  position.markerTag = -1;
  std::snprintf(position.file, sizeof position.file, "%s", context.scriptPath);
  position.functionName[0] = '\0';
  // Outside a run (a load failure, say) there is no text to walk: the script file is all.
  SourceLine source{};
  if (CurrentSourceLine(context, context.lineStartOffset, source)) {
    position.line = static_cast<std::int32_t>(source.line);
    position.markerTag = source.tag;
    std::snprintf(position.file, sizeof position.file, "%s", source.file);
  }
  position.fileLine = position.line;
  position.fileOfLine = nullptr;
  // A body's lines count from its start until a marker inside it names a file of its own.
  const ScriptText& text = context.loader.runText;
  if (position.line > 0 && text.bodyOf != 0 && source.tag < 0) {
    if (const UdfRecord* record = DefinitionRecord(context, text.bodyOf - 1)) {
      position.fileLine = static_cast<std::int32_t>(record->bodyLine) + position.line - 1;
      position.fileOfLine = record->bodyFile;
    }
  }
  if (context.runningFunction != kNoFunction) {
    if (const UdfRecord* record = DefinitionRecord(context, context.runningFunction))
      std::snprintf(position.functionName, sizeof position.functionName, "%s", record->name);
  }
}

}  // namespace kel
