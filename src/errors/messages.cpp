// The message catalogue built into the engine.
#include "errors/messages.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace kel {
namespace {

struct Message {
  std::uint32_t id;
  const char* text;
};

constexpr Message kMessages[] = {
#define KEL_MESSAGE(number, text) {number, text},
#include "resources/messages.inc"
#undef KEL_MESSAGE
};

}  // namespace

std::size_t LoadMessage(BatchContext&, std::uint32_t id, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), id,
                             [](const Message& m, std::uint32_t key) { return m.id < key; });
  const char* text = it != std::end(kMessages) && it->id == id ? it->text : "";
  std::size_t length = 0;
  for (; text[length] != '\0' && length + 1 < size; ++length) {
    char c = text[length];
    out[length] = c == '~' ? '\n' : c == '|' ? '\t' : c;
  }
  out[length] = '\0';
  return length;
}

}  // namespace kel
