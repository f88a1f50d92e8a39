// The per-process byte permutation and the hidden form of script texts.
#include "loader/hidden_text.h"

#include <cstdlib>

namespace kel {
namespace {

struct Permutation {
  std::uint8_t forward[256];
  std::uint8_t inverse[256];
};

// Drawn once, on first use; afterwards only read, so every context of the process (and every
// copied function body) reads with the same table.
const Permutation& Table() {
  static const Permutation table = [] {
    Permutation drawn{};
    for (int i = 0; i < 256; ++i)
      drawn.forward[i] = static_cast<std::uint8_t>(i);
    for (int i = 255; i > 0; --i) {
      int j = std::rand() % (i + 1);
      std::uint8_t swap = drawn.forward[i];
      drawn.forward[i] = drawn.forward[j];
      drawn.forward[j] = swap;
    }
    for (int i = 0; i < 256; ++i)
      drawn.inverse[drawn.forward[i]] = static_cast<std::uint8_t>(i);
    return drawn;
  }();
  return table;
}

}  // namespace

void SetUpTextPermutation() {
  Table();
}

int HideText(BatchContext&, char* text, std::size_t length) {
  const Permutation& table = Table();
  for (std::size_t i = 0; i < length; ++i) {
    auto plain = static_cast<std::uint8_t>(text[i]);
    text[i] = static_cast<char>(table.forward[plain] ^ static_cast<std::uint8_t>(i));
  }
  return 1;
}

std::uint8_t ConcealByte(std::uint8_t plain, std::uint32_t position) {
  return Table().forward[plain] ^ static_cast<std::uint8_t>(position);
}

std::uint8_t RevealByte(std::uint8_t stored, std::uint32_t position) {
  return Table().inverse[stored ^ static_cast<std::uint8_t>(position)];
}

}  // namespace kel
