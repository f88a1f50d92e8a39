// The failing statement's line and file, as the error box and the traceback show them.
#include "errors/source_position.h"

#include <cstdio>
#include <cstring>

#include "errors/error_numbers.h"
#include "errors/messages.h"

namespace kel {
namespace {

constexpr std::size_t kWordBytes = 64;

// Appends " word" (or "word" at the start) to `out`, never past `size`.
void AppendWord(char* out, std::size_t size, const char* word) {
  std::size_t length = std::strlen(out);
  if (length + 1 >= size) return;
  std::snprintf(out + length, size - length, "%s%s", length > 0 ? " " : "", word);
}

}  // namespace

void FormatLineInformation(BatchContext& context, const SourcePosition& position,
                           char* lineInformation, char* fileInformation, std::size_t size) {
  if (size == 0) return;
  lineInformation[0] = '\0';
  fileInformation[0] = '\0';
  char word[kWordBytes];
  bool markerPrecedes = position.markerTag >= 0;
  bool inFunction = position.functionName[0] != '\0';
  char quotedName[kFunctionNameBytes + 2];
  std::snprintf(quotedName, sizeof quotedName, "\"%s\"", position.functionName);

  if (position.line > 0) {
    bool near = markerPrecedes && position.markerTag == 0;
    LoadMessage(context, near ? kMsgNearLine : kMsgOnLine, word, sizeof word);
    AppendWord(lineInformation, size, word);
    char number[16];
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(position.line));
    AppendWord(lineInformation, size, number);
    if (markerPrecedes) {
      LoadMessage(context, kMsgOf, word, sizeof word);
      AppendWord(lineInformation, size, word);
      AppendWord(lineInformation, size, position.file);
    } else if (inFunction) {
      LoadMessage(context, kMsgOf, word, sizeof word);
      AppendWord(lineInformation, size, word);
      LoadMessage(context, kMsgRoutine, word, sizeof word);
      AppendWord(lineInformation, size, word);
      AppendWord(lineInformation, size, quotedName);
    }
    if (!markerPrecedes) {
      LoadMessage(context, kMsgIn, word, sizeof word);
      AppendWord(fileInformation, size, word);
      AppendWord(fileInformation, size, position.file);
    } else if (inFunction) {
      LoadMessage(context, kMsgIn, word, sizeof word);
      AppendWord(fileInformation, size, word);
      LoadMessage(context, kMsgRoutine, word, sizeof word);
      AppendWord(fileInformation, size, word);
      AppendWord(fileInformation, size, quotedName);
    }
  } else if (position.file[0] != '\0') {
    // Without a line the text was not walked: the file is all there is to tell, once.
    LoadMessage(context, kMsgIn, word, sizeof word);
    AppendWord(lineInformation, size, word);
    AppendWord(lineInformation, size, position.file);
  }
}

}  // namespace kel
