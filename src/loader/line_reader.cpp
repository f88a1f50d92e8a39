// The line reader.
#include "loader/line_reader.h"

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "loader/hidden_text.h"

namespace kel {
namespace {

constexpr std::uint8_t kEndOfFile = 26;  // Ctrl+Z ends a line as LF does

bool EndsLine(std::uint8_t c) {
  return c == '\n' || c == kEndOfFile;
}

}  // namespace

int ReadLine(BatchContext& context, char* buffer, std::size_t size, const ScriptText& text,
             std::uint32_t& lineStart, std::uint32_t& nextOffset) {
  context.loader.pendingLineError = 0;
  // At the end of the text the buffer keeps the last line, which the end checks report.
  if (buffer == nullptr || size == 0) return 0;
  // A zero byte is the end of the text wherever it stands: reading never moves past it, so
  // stopping there is the only way not to return the same empty line for ever.
  if (nextOffset >= text.length || PlainByteAt(text, nextOffset) == 0) return 0;
  while (nextOffset < text.length) {
    std::uint8_t c = PlainByteAt(text, nextOffset);
    if (c != ' ' && c != '\t') break;
    ++nextOffset;
  }
  lineStart = nextOffset;
  std::size_t limit = size - 1 < kMaxLineLength ? size - 1 : kMaxLineLength;
  std::size_t stored = 0;
  while (nextOffset < text.length) {
    std::uint8_t c = PlainByteAt(text, nextOffset);
    if (c == 0) break;
    ++nextOffset;
    if (EndsLine(c)) break;
    if (stored < limit) {
      buffer[stored++] = static_cast<char>(c);
      continue;
    }
    // One character too many. The blank that a CR LF line end leaves is not part of the line.
    if (c == ' ' && nextOffset < text.length && PlainByteAt(text, nextOffset) == '\n') continue;
    context.loader.pendingLineError = kErrLineTooLong;
    while (nextOffset < text.length) {
      std::uint8_t rest = PlainByteAt(text, nextOffset);
      if (rest == 0) break;
      ++nextOffset;
      if (EndsLine(rest)) break;
    }
    break;
  }
  if (stored == 0 && nextOffset >= text.length) return 0;
  buffer[stored] = '\0';
  return 1;
}

}  // namespace kel
