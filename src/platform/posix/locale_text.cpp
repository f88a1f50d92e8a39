// Locale text comparison and casing where the Windows routines are missing: the word sort and
// the casing of the default locale, replayed from tables learned from the system's own answers.
//
// The word sort compares in four rounds, each reached only when the previous one found the two
// texts equal:
//   1. primary weights of the collation elements (letters, digits, punctuation; a ligature is
//      two elements, some characters are none);
//   2. diacritic weights: a combining mark adds its weight to the element before it, modulo
//      256; marks before any element add up to a weight of their own, first; trailing weights no
//      heavier than an undecorated letter's are dropped;
//   3. the third level: case, and variants such as superscripts that stay apart when case is
//      ignored (each element keeps one rank for each view);
//   4. the specials (hyphens, apostrophes, control characters), each as the number of elements
//      before it and a weight: an earlier special weighs more, then the heavier one.
// In every round a text that runs out first sorts first. Units outside the learned ranges sort
// after all learned ones by code point, a capital by its small letter with more case weight.
#include "platform/platform.h"

#include <array>
#include <cstdint>
#include <iterator>

namespace kel::platform {
namespace {

enum class Kind : std::uint8_t { Unlearned, Ignorable, Special, Mark, Element, Expansion };

// What one learned unit weighs. `value` is the primary weight of an element, the weight of a
// special or the index of an expansion; `diacritic` is an element's diacritic weight or what a
// mark adds; `sensitive` and `blind` are the third-level ranks with and without case.
struct UnitWeights {
  Kind kind;
  std::uint16_t value;
  std::uint8_t diacritic;
  std::uint8_t sensitive;
  std::uint8_t blind;
};

struct ElementWeights {
  std::uint16_t primary;
  std::uint8_t diacritic;
  std::uint8_t sensitive;
  std::uint8_t blind;
};

struct UnitBlock {
  char16_t first;
  char16_t last;
  std::uint16_t start;  // index of `first` in kUnits
};

// Units first, first + step, ... up to last change case by adding delta.
struct CaseRun {
  char16_t first;
  char16_t last;
  std::int32_t delta;
  std::uint8_t step;
};

// Short constructors keep the generated table readable: Unlearned, Ignorable, Special, Mark,
// eXpansion and Element.
constexpr UnitWeights U() {
  return {Kind::Unlearned, 0, 0, 0, 0};
}
constexpr UnitWeights I() {
  return {Kind::Ignorable, 0, 0, 0, 0};
}
constexpr UnitWeights S(std::uint16_t weight) {
  return {Kind::Special, weight, 0, 0, 0};
}
constexpr UnitWeights M(std::uint8_t weight) {
  return {Kind::Mark, 0, weight, 0, 0};
}
constexpr UnitWeights X(std::uint16_t index) {
  return {Kind::Expansion, index, 0, 0, 0};
}
constexpr UnitWeights E(std::uint16_t primary, std::uint8_t diacritic, std::uint8_t sensitive,
                        std::uint8_t blind) {
  return {Kind::Element, primary, diacritic, sensitive, blind};
}

#include "platform/posix/locale_text_tables.inc"

// The diacritic weight of a letter without accents; the second round drops trailing weights
// up to it.
constexpr std::uint8_t kUndecorated = 2;
constexpr std::uint32_t kUnlearnedBase = kLearnedPrimaries + 1;

// One collation element as the rounds see it.
struct Element {
  std::uint32_t primary;
  std::uint8_t diacritic;
  std::uint8_t sensitive;
  std::uint8_t blind;
};

UnitWeights Lookup(char16_t unit) {
  for (const UnitBlock& block : kBlocks)
    if (unit >= block.first && unit <= block.last) return kUnits[block.start + unit - block.first];
  return U();
}

Element FromTable(const ElementWeights& weights) {
  return {weights.primary, weights.diacritic, weights.sensitive, weights.blind};
}

Element Unlearned(char16_t unit) {
  char16_t lower = LowerWide(unit);
  if (lower != unit && Lookup(lower).kind == Kind::Unlearned)
    return {kUnlearnedBase + lower, kUndecorated, 2, 1};
  return {kUnlearnedBase + unit, kUndecorated, 1, 1};
}

// ANSI texts compare as the system ANSI code page widens them.
char16_t Widen(char16_t unit) {
  return unit;
}

char16_t Widen(char byte) {
  static const std::array<char16_t, 256> table = [] {
    std::array<char16_t, 256> widened{};
    for (int i = 0; i < 256; ++i) {
      char c = static_cast<char>(i);
      if (AnsiToWide(0, &c, 1, &widened[i], 1) != 1) widened[i] = static_cast<char16_t>(i);
    }
    return widened;
  }();
  return table[static_cast<unsigned char>(byte)];
}

// Walks a text unit by unit and hands out the collation elements of the units that have any,
// with the diacritic weight of the marks that follow added to the last element of each unit.
template <typename Char>
class ElementReader {
 public:
  explicit ElementReader(const Char* text) : text_(text) {}

  // The summed weight of the marks before the first element (call before the first Next);
  // false when there are none.
  bool LeadingMarks(std::uint8_t& weight) {
    bool any = false;
    weight = TakeMarks(any);
    return any;
  }

  bool Next(Element& out) {
    if (next_ == count_) {
      if (!ReadUnit()) return false;
    }
    out = elements_[next_++];
    bool any;
    if (next_ == count_) out.diacritic += TakeMarks(any);
    return true;
  }

 private:
  // Steps over units without elements, summing the marks among them; `any` tells whether
  // there were marks (their sum may wrap around to 0).
  std::uint8_t TakeMarks(bool& any) {
    std::uint8_t sum = 0;
    any = false;
    for (; *text_; ++text_) {
      UnitWeights weights = Lookup(Widen(*text_));
      if (weights.kind == Kind::Mark) {
        sum += weights.diacritic;  // modulo 256, as the system adds them
        any = true;
      } else if (weights.kind != Kind::Ignorable && weights.kind != Kind::Special) {
        break;
      }
    }
    return sum;
  }

  bool ReadUnit() {
    bool any;
    TakeMarks(any);  // only before the first element: they weigh on their own, if at all
    if (!*text_) return false;
    char16_t unit = Widen(*text_++);
    UnitWeights weights = Lookup(unit);
    next_ = 0;
    count_ = 1;
    if (weights.kind == Kind::Element) {
      elements_[0] = {weights.value, weights.diacritic, weights.sensitive, weights.blind};
    } else if (weights.kind == Kind::Expansion) {
      elements_[0] = FromTable(kExpansions[weights.value][0]);
      elements_[1] = FromTable(kExpansions[weights.value][1]);
      count_ = 2;
    } else {
      elements_[0] = Unlearned(unit);
    }
    return true;
  }

  const Char* text_;
  Element elements_[2] = {};
  int next_ = 0;
  int count_ = 0;
};

// -1 when the first text sorts first, 1 otherwise.
int Order(bool less) {
  return less ? -1 : 1;
}

template <typename Char>
int ComparePrimaries(const Char* a, const Char* b) {
  ElementReader<Char> left(a), right(b);
  Element x, y;
  for (;;) {
    bool more = left.Next(x), moreRight = right.Next(y);
    if (!more || !moreRight) return more == moreRight ? 0 : Order(!more);
    if (x.primary != y.primary) return Order(x.primary < y.primary);
  }
}

// The diacritic weights of a text in order: the leading marks' weight (when there are any),
// then each element's.
template <typename Char>
class DiacriticReader {
 public:
  explicit DiacriticReader(const Char* text)
      : elements_(text), hasLeading_(elements_.LeadingMarks(leading_)) {}

  bool Next(std::uint8_t& out) {
    if (hasLeading_) {
      out = leading_;
      hasLeading_ = false;
      return true;
    }
    Element element;
    if (!elements_.Next(element)) return false;
    out = element.diacritic;
    return true;
  }

 private:
  ElementReader<Char> elements_;
  std::uint8_t leading_ = 0;
  bool hasLeading_;
};

// How many diacritic weights count once the trailing light ones are dropped.
template <typename Char>
std::size_t CountedDiacritics(const Char* text) {
  DiacriticReader<Char> reader(text);
  std::size_t count = 0, counted = 0;
  std::uint8_t weight;
  while (reader.Next(weight)) {
    ++count;
    if (weight > kUndecorated) counted = count;
  }
  return counted;
}

template <typename Char>
int CompareDiacritics(const Char* a, const Char* b) {
  std::size_t countLeft = CountedDiacritics(a), countRight = CountedDiacritics(b);
  DiacriticReader<Char> left(a), right(b);
  std::uint8_t x, y;
  for (std::size_t i = 0; i < countLeft && i < countRight; ++i) {
    left.Next(x);
    right.Next(y);
    if (x != y) return Order(x < y);
  }
  return countLeft == countRight ? 0 : Order(countLeft < countRight);
}

template <typename Char>
int CompareThirdLevel(const Char* a, const Char* b, bool ignoreCase) {
  ElementReader<Char> left(a), right(b);
  Element x, y;
  for (;;) {
    bool more = left.Next(x), moreRight = right.Next(y);
    if (!more || !moreRight) return more == moreRight ? 0 : Order(!more);
    std::uint8_t p = ignoreCase ? x.blind : x.sensitive;
    std::uint8_t q = ignoreCase ? y.blind : y.sensitive;
    if (p != q) return Order(p < q);
  }
}

// The specials of a text with the number of elements before each.
template <typename Char>
class SpecialReader {
 public:
  explicit SpecialReader(const Char* text) : text_(text) {}

  bool Next(std::size_t& position, std::uint16_t& weight) {
    for (; *text_; ++text_) {
      UnitWeights weights = Lookup(Widen(*text_));
      switch (weights.kind) {
        case Kind::Special:
          ++text_;
          position = elements_;
          weight = weights.value;
          return true;
        case Kind::Expansion:
          elements_ += 2;
          break;
        case Kind::Element:
        case Kind::Unlearned:
          elements_ += 1;
          break;
        case Kind::Ignorable:
        case Kind::Mark:
          break;
      }
    }
    return false;
  }

 private:
  const Char* text_;
  std::size_t elements_ = 0;
};

template <typename Char>
int CompareSpecials(const Char* a, const Char* b) {
  SpecialReader<Char> left(a), right(b);
  std::size_t p, q;
  std::uint16_t x, y;
  for (;;) {
    bool more = left.Next(p, x), moreRight = right.Next(q, y);
    if (!more || !moreRight) return more == moreRight ? 0 : Order(!more);
    if (p != q) return Order(p > q);  // the earlier special weighs more
    if (x != y) return Order(x < y);
  }
}

template <typename Char>
int CompareTexts(const Char* a, const Char* b, bool ignoreCase) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : Order(a == nullptr);
  if (int order = ComparePrimaries(a, b)) return order;
  if (int order = CompareDiacritics(a, b)) return order;
  if (int order = CompareThirdLevel(a, b, ignoreCase)) return order;
  return CompareSpecials(a, b);
}

char16_t MapCase(const CaseRun* runs, std::size_t count, char16_t unit) {
  // The runs are sorted and do not overlap: find the first that ends at or after the unit.
  std::size_t low = 0, high = count;
  while (low < high) {
    std::size_t middle = (low + high) / 2;
    if (runs[middle].last < unit) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == count) return unit;
  const CaseRun& run = runs[low];
  if (unit < run.first || (unit - run.first) % run.step != 0) return unit;
  return static_cast<char16_t>(unit + run.delta);
}

}  // namespace

int CompareLocaleText(const char* a, const char* b, bool ignoreCase) {
  return CompareTexts(a, b, ignoreCase);
}

int CompareLocaleWide(const char16_t* a, const char16_t* b, bool ignoreCase) {
  return CompareTexts(a, b, ignoreCase);
}

char UpperAnsi(char c) {
  return static_cast<char>(kAnsiUpper[static_cast<unsigned char>(c)]);
}

char LowerAnsi(char c) {
  return static_cast<char>(kAnsiLower[static_cast<unsigned char>(c)]);
}

char16_t UpperWide(char16_t c) {
  return MapCase(kUpperRuns, std::size(kUpperRuns), c);
}

char16_t LowerWide(char16_t c) {
  return MapCase(kLowerRuns, std::size(kLowerRuns), c);
}

void UpperAnsiText(char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    text[i] = UpperAnsi(text[i]);
}

void LowerAnsiText(char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    text[i] = LowerAnsi(text[i]);
}

void UpperWideText(char16_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    text[i] = UpperWide(text[i]);
}

void LowerWideText(char16_t* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    text[i] = LowerWide(text[i]);
}

}  // namespace kel::platform
