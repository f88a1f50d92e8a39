// The traceback of the error box: one fixed-pitch line per open structure and the error's own.
#include "errors/traceback.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"

namespace kel {
namespace {

// Statement texts are shown in a 32-character column: a longer one keeps its first 29
// characters and "...".
constexpr std::size_t kColumnCharacters = 32;
constexpr std::size_t kCutCharacters = 29;

void FitColumn(const char* text, char* out, std::size_t size) {
  std::size_t length = std::strlen(text);
  if (length > kColumnCharacters)
    std::snprintf(out, size, "%.*s...", static_cast<int>(kCutCharacters), text);
  else
    std::snprintf(out, size, "%s", text);
  // One list line per entry: a line feed inside the statement would break it apart.
  for (char* c = out; *c != '\0'; ++c)
    if (*c == '\n' || *c == '\r' || *c == '\t') *c = ' ';
}

const char* NameWithoutDirectory(const char* path) {
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c)
    if (*c == '\\' || *c == '/' || *c == ':') name = c + 1;
  return name;
}

void AppendLine(char* out, std::size_t size, std::size_t& length, const char* line) {
  if (length + 1 >= size) return;
  int written = std::snprintf(out + length, size - length, "%s%s", length > 0 ? "\n" : "", line);
  if (written < 0) return;
  length += static_cast<std::size_t>(written);
  if (length >= size) length = size - 1;
}

}  // namespace

std::size_t FormatTraceback(BatchContext& context, const SourcePosition& position, char* out,
                            std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  std::size_t length = 0;
  char line[kLineBufferBytes + 200];
  std::snprintf(line, sizeof line, "%3s %-14s %6s %-32s %s", "#", "Type", "Line#", "Error Line",
                "Source File");
  AppendLine(out, size, length, line);
  AppendLine(out, size, length, "");  // keeps the header apart from the entries

  // NOTE: one line per open structure of the statement runner's stack goes here, outermost
  // first ("%3d %-14s %6ld %-32s %s"); the stack arrives with the statement runner, and until
  // then no structure is ever open when an error is reported.
  int depth = 0;

  char statement[kColumnCharacters + 8];
  FitColumn(context.errors.errorLine, statement, sizeof statement);
  char lineNumber[16] = "";
  if (position.line > 0)
    std::snprintf(lineNumber, sizeof lineNumber, "%ld", static_cast<long>(position.line));
  std::snprintf(line, sizeof line, "%3d %-14s %6s %-32s %s", depth + 1, "<error>", lineNumber,
                statement, NameWithoutDirectory(position.file));
  AppendLine(out, size, length, line);
  return length;
}

}  // namespace kel
