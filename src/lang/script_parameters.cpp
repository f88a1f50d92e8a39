// The script-parameter splitter shared by Call, ParseData and the host.
#include "lang/script_parameters.h"

#include <cstdio>
#include <string>

#include "core/batch_context.h"
#include "errors/error_state.h"
#include "lang/variables.h"

namespace kel {
namespace {

template <typename Char>
bool IsBlank(Char c) {
  return c == ' ' || c == '\t';
}

template <typename Char>
bool IsQuote(Char c) {
  return c == '"' || c == '\'' || c == '`';
}

void ClearPreviousPieces(BatchContext& context) {
  std::uint16_t count = FindSlot(context, "param0");
  if (count != kNoSlot) {
    const Value& value = context.varSlots[count].value;
    if ((value.flags & kValueInteger) != 0) {
      char name[16];
      for (std::int32_t k = 1; k <= value.intValue; ++k) {
        std::snprintf(name, sizeof name, "param%d", static_cast<int>(k));
        std::uint16_t slot = FindSlot(context, name);
        if (slot != kNoSlot) RemoveSlot(context, slot);
      }
    }
  }
  SetVariable(context, "Param0", nullptr, 0, kVariableInteger);
}

template <typename Char>
int Split(BatchContext& context, const Char* text, std::uint32_t type) {
  ClearPreviousPieces(context);
  if (text == nullptr) return 0;
  while (IsBlank(*text))
    ++text;
  if (*text == 0) return 0;
  int count = 0;
  std::basic_string<Char> piece;
  while (*text != 0) {
    piece.clear();
    while (*text != 0 && !IsBlank(*text)) {
      if (IsQuote(*text)) {
        Char quote = *text++;
        for (;;) {
          if (*text == 0) break;  // an unclosed quote runs to the end of the text
          if (*text == quote) {
            if (text[1] == quote) {
              piece += quote;
              text += 2;
              continue;
            }
            ++text;
            break;
          }
          piece += *text++;
        }
      } else {
        piece += *text++;
      }
    }
    char name[16];
    std::snprintf(name, sizeof name, "param%d", ++count);
    SetVariable(context, name, piece.c_str(), 0, type);
    // A parameter that could not be stored ends the split with its error.
    if (HasError(context)) return count;
    while (IsBlank(*text))
      ++text;
  }
  SetVariable(context, "Param0", nullptr, count, kVariableInteger);
  return count;
}

}  // namespace

int SplitParameters(BatchContext& context, const char* text) {
  return Split(context, text, kVariableText);
}

int SplitParameters(BatchContext& context, const char16_t* text) {
  return Split(context, text, kVariableWideText);
}

}  // namespace kel
