// The call frames of the structure stack, told as a person reads a traceback.
#include "host/call_frames.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "core/batch_context.h"
#include "lang/structures.h"
#include "loader/definitions.h"
#include "loader/hidden_text.h"
#include "loader/source_lines.h"

namespace kel {
namespace {

constexpr std::size_t kStatementCharacters = 200;

// The text a frame's calling line belongs to: a function's body or a whole script text. The
// walk ends at the text's hidden terminator, so its length need not be known.
ScriptText CallerText(const StructEntry& entry, const UdfRecord* caller) {
  ScriptText text{};
  text.bytes = const_cast<std::uint8_t*>(entry.buffer);
  text.length = std::numeric_limits<std::uint32_t>::max();
  if (caller != nullptr) {
    text.base = caller->bodyStart;
    text.bodyOf = static_cast<std::uint16_t>(entry.udfSlot + 1u);
  }
  return text;
}

// A called script by the file its text came from, as the marker at the text's start names it
// (the running script's path when the text has none).
void NameCalledScript(const BatchContext& context, const std::uint8_t* text, char* out,
                      std::size_t size) {
  ScriptText script{};
  script.bytes = const_cast<std::uint8_t*>(text);
  script.length = std::numeric_limits<std::uint32_t>::max();
  SourceLine source{};
  FindSourceLine(context, script, 1, source);
  std::snprintf(out, size, "script %s", source.file);
}

}  // namespace

std::size_t DescribeCallers(BatchContext& context, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  std::size_t length = 0;
  std::uint16_t callee = context.runningFunction;
  // The text of the script level the walk is in: a Call frame's called script is the text that
  // the frames above it were opened from at script level, or the one running now.
  const std::uint8_t* scriptLevelText = context.loader.runText.bytes;
  for (std::uint16_t d = context.flow.depth; d-- > 0;) {
    const StructEntry& entry = context.flow.entries[d];
    if (entry.kind != kStructureFunction && entry.kind != kStructureCall) continue;
    if (entry.buffer == nullptr) continue;
    const UdfRecord* caller = entry.inUdf != 0 ? DefinitionRecord(context, entry.udfSlot) : nullptr;
    ScriptText text = CallerText(entry, caller);
    SourceLine source{};
    FindSourceLine(context, text, entry.lineOffset, source);
    const char* file = source.file;
    std::uint32_t line = source.line;
    if (caller != nullptr && source.tag < 0) {
      line = caller->bodyLine + source.line - 1;
      file = caller->bodyFile;
    }
    char statement[kStatementCharacters + 1];
    std::size_t used = 0;
    for (std::uint32_t i = entry.lineOffset; used < kStatementCharacters; ++i) {
      std::uint8_t c = PlainByteAt(text, i);
      if (c == 0 || c == '\n' || c == '\r') break;
      statement[used++] = static_cast<char>(c);
    }
    statement[used] = '\0';
    char called[kPathBytes + 16] = "a called script";
    if (entry.kind == kStructureFunction && callee != kNoFunction) {
      if (const UdfRecord* record = DefinitionRecord(context, callee))
        std::snprintf(called, sizeof called, "function %s", record->name);
    } else if (entry.kind == kStructureCall && scriptLevelText != nullptr) {
      NameCalledScript(context, scriptLevelText, called, sizeof called);
    }
    if (entry.inUdf == 0) scriptLevelText = entry.buffer;
    if (length + 1 < size) {
      int written = std::snprintf(out + length, size - length, "%s  in %s, called from %s:%lu: %s",
                                  length > 0 ? "\n" : "", called, file,
                                  static_cast<unsigned long>(line), statement);
      if (written > 0) length = std::min(size - 1, length + static_cast<std::size_t>(written));
    }
    callee = entry.inUdf != 0 ? entry.udfSlot : kNoFunction;
  }
  return length;
}

}  // namespace kel
