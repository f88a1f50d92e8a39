// Byte-order marks and line ends of script texts.
#include "loader/script_text.h"

#include <cstring>
#include <vector>

#include "core/batch_context.h"
#include "platform/platform.h"

namespace kel {

void NormaliseLineEnds(char* text) {
  for (char* p = text; *p != '\0'; ++p) {
    if (*p != '\r') continue;
    if (p[1] == '\n') {
      *p = ' ';
      ++p;
    } else {
      *p = '\n';
    }
  }
}

bool ConvertWideScript(BatchContext& context, char* text, std::size_t bytes) {
  if (bytes < 2) return true;
  auto first = static_cast<unsigned char>(text[0]), second = static_cast<unsigned char>(text[1]);
  bool little = first == 0xFF && second == 0xFE, big = first == 0xFE && second == 0xFF;
  if (!little && !big) return true;
  // A big-endian text is read with its bytes swapped, so both marks load the same script.
  std::size_t units = (bytes - 2) / 2;
  std::vector<char16_t> wide;
  wide.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    auto low = static_cast<unsigned char>(text[2 + 2 * i]);
    auto high = static_cast<unsigned char>(text[3 + 2 * i]);
    char16_t unit = little ? static_cast<char16_t>(low | (high << 8))
                           : static_cast<char16_t>(high | (low << 8));
    if (unit == 0) break;
    wide.push_back(unit);
  }
  std::vector<char> ansi(wide.size() * 4 + 1);
  int length =
      platform::WideToAnsi(context.codePage, wide.data(), wide.size(), ansi.data(), ansi.size());
  if (length < 0 || static_cast<std::size_t>(length) >= bytes) return false;
  std::memcpy(text, ansi.data(), static_cast<std::size_t>(length));
  text[length] = '\0';
  return true;
}

bool IsEncodedScript(const char* text) {
  auto first = static_cast<unsigned char>(text[0]);
  if (first >= 1 && first <= 3) return true;
  if (text[0] == ' ') ++text;
  return text[0] == ';' && text[1] == '\x0c' && text[2] == '@';
}

}  // namespace kel
