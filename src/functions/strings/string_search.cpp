// The searching string functions: StrIndex, StrScan, StrReplace, StrClean, StrCnt and the
// wildcard searches StrIndexWild, StrLenWild and StrSubWild.
#include <cstring>
#include <type_traits>
#include <utility>

#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/string_routines.h"
#include "functions/strings/text_search.h"
#include "functions/strings/text_units.h"
#include "functions/strings/wildcard.h"
#include "lang/eval_value.h"

namespace kel {
namespace {

// The units a comparison looks at: the text itself, or its upper-cased copy when case does not
// count. Null with 1588 when the copy cannot be had.
template <typename Unit>
const Unit* ComparedUnits(BatchContext& context, TextSpan<Unit> text, bool ignoreCase,
                          WorkBuffer<Unit>& copy) {
  if (!ignoreCase) return text.data;
  if (UpperCopy(text, copy)) return copy.data();
  SetError(context, kErrUnableToAllocate);
  return nullptr;
}

// The next (or, backward, the previous) occurrence that covers whole characters: a double-byte
// character is never matched by its halves.
template <typename Unit>
std::size_t FindWhole(const UnitSearch<Unit>& search, const Unit* text, std::size_t from,
                      std::size_t limit, const CharacterIndex<Unit>& index, bool backward) {
  for (;;) {
    std::size_t found = search.Find(text, from, limit);
    if (found == kNotFound) return kNotFound;
    if (index.IsBoundary(found) && index.IsBoundary(found + search.Length())) return found;
    if (backward)
      limit = found + search.Length() - 1;
    else
      from = found + 1;
  }
}

// Which characters a set holds: single units in a bitmap, double-byte characters by looking
// them up in the set's text.
template <typename Unit>
class CharacterSet {
 public:
  CharacterSet(TextSpan<Unit> characters, const CharacterSteps& steps)
      : characters_(characters), steps_(steps) {
    for (std::size_t at = 0, next; at < characters.length; at = next) {
      next = steps.Next(characters.data, characters.length, at);
      if (next - at == 1) {
        auto unit = static_cast<std::make_unsigned_t<Unit>>(characters.data[at]);
        bits_[unit / 32] |= 1u << (unit % 32);
      }
    }
  }
  bool Contains(const Unit* at, std::size_t width) const {
    if (width == 1) {
      auto unit = static_cast<std::make_unsigned_t<Unit>>(*at);
      return (bits_[unit / 32] & (1u << (unit % 32))) != 0;
    }
    for (std::size_t i = 0, next; i < characters_.length; i = next) {
      next = steps_.Next(characters_.data, characters_.length, i);
      if (next - i == width && std::memcmp(characters_.data + i, at, width * sizeof(Unit)) == 0)
        return true;
    }
    return false;
  }

 private:
  TextSpan<Unit> characters_;
  const CharacterSteps& steps_;
  std::uint32_t bits_[(sizeof(Unit) == 1 ? 256 : 65536) / 32] = {};
};

// ----------------------------------------------------------------------------------------------

// StrIndex and StrIndexNc (string, sub, start, direction).
template <typename Unit>
void Index(BatchContext& context, EvalValue& result, EvalValue* arguments, bool ignoreCase) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> sub = TextArgument<Unit>(context, arguments[1]);
  std::int64_t start = arguments[2].value.intValue;
  bool backward = arguments[3].value.intValue != 0;
  CharacterSteps steps(context);
  CharacterIndex<Unit> index;
  if (!BuildIndex(context, index, steps, text)) return;
  auto n = static_cast<std::int64_t>(index.Count());
  if (start == 0) start = backward ? n : 1;
  if (start < 1 || start > n) return;
  if (sub.length == 0) return SetEvalInteger(context, result, static_cast<std::int32_t>(start));
  WorkBuffer<Unit> upperText, upperSub;
  const Unit* haystack = ComparedUnits(context, text, ignoreCase, upperText);
  const Unit* needle = haystack ? ComparedUnits(context, sub, ignoreCase, upperSub) : nullptr;
  if (needle == nullptr) return;
  using Search = UnitSearch<Unit>;
  Search search(needle, sub.length,
                backward ? Search::Direction::Backward : Search::Direction::Forward);
  // Forward the match starts at or after `start`; backward it ends at or before it.
  std::size_t found =
      backward ? FindWhole(search, haystack, 0, index.Offset(static_cast<std::size_t>(start)),
                           index, true)
               : FindWhole(search, haystack, index.Offset(static_cast<std::size_t>(start - 1)),
                           text.length, index, false);
  if (found != kNotFound)
    SetEvalInteger(context, result, static_cast<std::int32_t>(index.IndexOf(found) + 1));
}

// StrScan (string, delimiters, start, direction).
template <typename Unit>
void Scan(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> delimiters = TextArgument<Unit>(context, arguments[1]);
  std::int64_t start = arguments[2].value.intValue;
  bool backward = arguments[3].value.intValue != 0;
  if (text.length == 0) return;
  CharacterSteps steps(context);
  CharacterIndex<Unit> index;
  if (!BuildIndex(context, index, steps, text)) return;
  auto n = static_cast<std::int64_t>(index.Count());
  if (start == 0) start = backward ? n : 1;
  if (start < 1 || start > n) return;
  if (delimiters.length == 0)
    return SetEvalInteger(context, result, static_cast<std::int32_t>(start));
  CharacterSet<Unit> set(delimiters, steps);
  auto hit = [&](std::int64_t position) {
    std::size_t at = index.Offset(static_cast<std::size_t>(position - 1));
    return set.Contains(text.data + at, index.Offset(static_cast<std::size_t>(position)) - at);
  };
  if (backward) {
    for (std::int64_t position = start; position >= 1; --position)
      if (hit(position))
        return SetEvalInteger(context, result, static_cast<std::int32_t>(position));
  } else {
    for (std::int64_t position = start; position <= n; ++position)
      if (hit(position))
        return SetEvalInteger(context, result, static_cast<std::int32_t>(position));
  }
}

// StrReplace (string, old, new): every occurrence, left to right, never overlapping. The
// occurrences are found twice, once to size the result and once to write it, so the work stays
// proportional to the text however many there are.
template <typename Unit>
void Replace(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> old = TextArgument<Unit>(context, arguments[1]);
  TextSpan<Unit> replacement = TextArgument<Unit>(context, arguments[2]);
  if (old.length == 0 || text.length == 0) {
    SetTextResult(context, result, text.data, text.length);
    return;
  }
  CharacterSteps steps(context);
  CharacterIndex<Unit> index;
  if (!BuildIndex(context, index, steps, text)) return;
  UnitSearch<Unit> search(old.data, old.length);
  std::uint64_t occurrences = 0;
  for (std::size_t from = 0;; ++occurrences) {
    std::size_t found = FindWhole(search, text.data, from, text.length, index, false);
    if (found == kNotFound) break;
    from = found + old.length;
  }
  std::uint64_t length = text.length - occurrences * old.length + occurrences * replacement.length;
  Unit* out = NewTextResult<Unit>(context, result, length);
  if (out == nullptr) return;
  std::size_t from = 0;
  for (std::uint64_t i = 0; i < occurrences; ++i) {
    std::size_t found = FindWhole(search, text.data, from, text.length, index, false);
    std::memcpy(out, text.data + from, (found - from) * sizeof(Unit));
    out += found - from;
    std::memcpy(out, replacement.data, replacement.length * sizeof(Unit));
    out += replacement.length;
    from = found + old.length;
  }
  std::memcpy(out, text.data + from, (text.length - from) * sizeof(Unit));
}

// StrClean (source, characters, replacement, match-case, mode).
template <typename Unit>
void Clean(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  std::int32_t matchCase = arguments[3].value.intValue;
  std::int32_t mode = arguments[4].value.intValue;
  if (matchCase != 0 && matchCase != 1) return SetError(context, kErrCleanMatchCase);
  if (mode != 1 && mode != 2) return SetError(context, kErrCleanMode);
  TextSpan<Unit> source = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> characters = TextArgument<Unit>(context, arguments[1]);
  TextSpan<Unit> replacement = TextArgument<Unit>(context, arguments[2]);
  bool ignoreCase = matchCase == 0;
  WorkBuffer<Unit> upperSource, upperCharacters;
  const Unit* compared = ComparedUnits(context, source, ignoreCase, upperSource);
  const Unit* set =
      compared ? ComparedUnits(context, characters, ignoreCase, upperCharacters) : nullptr;
  if (set == nullptr) return;
  CharacterSteps steps(context);
  CharacterSet<Unit> members({set, characters.length}, steps);
  // Mode 1 replaces the characters of the set, mode 2 all the others.
  auto replaced = [&](std::size_t at, std::size_t width) {
    return members.Contains(compared + at, width) == (mode == 1);
  };
  std::uint64_t length = 0;
  for (std::size_t at = 0, next; at < source.length; at = next) {
    next = steps.Next(source.data, source.length, at);
    length += replaced(at, next - at) ? replacement.length : next - at;
  }
  Unit* out = NewTextResult<Unit>(context, result, length);
  if (out == nullptr) return;
  for (std::size_t at = 0, next; at < source.length; at = next) {
    next = steps.Next(source.data, source.length, at);
    if (replaced(at, next - at)) {
      std::memcpy(out, replacement.data, replacement.length * sizeof(Unit));
      out += replacement.length;
    } else {
      std::memcpy(out, source.data + at, (next - at) * sizeof(Unit));
      out += next - at;
    }
  }
}

// StrCnt (string, sub, start, end, flags): positions here are units (bytes in ANSI text).
template <typename Unit>
void Count(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> sub = TextArgument<Unit>(context, arguments[1]);
  if (text.length == 0 || sub.length == 0) return;
  auto length = static_cast<std::int64_t>(text.length);
  auto position = [&](std::int64_t value) { return value == 0 ? 1 : value == -1 ? length : value; };
  std::int64_t start = position(arguments[2].value.intValue);
  std::int64_t end = position(arguments[3].value.intValue);
  if (start < 1 || start > length) return SetError(context, kErrCountStart);
  if (end < 1 || end > length) return SetError(context, kErrCountEnd);
  if (end < start) std::swap(start, end);
  bool ignoreCase = (arguments[4].value.intValue & 1) == 0;
  WorkBuffer<Unit> upperText, upperSub;
  const Unit* haystack = ComparedUnits(context, text, ignoreCase, upperText);
  const Unit* needle = haystack ? ComparedUnits(context, sub, ignoreCase, upperSub) : nullptr;
  if (needle == nullptr) return;
  UnitSearch<Unit> search(needle, sub.length);
  std::int32_t occurrences = 0;
  // An occurrence counts when it begins by `end`; it may run on past it.
  for (auto from = static_cast<std::size_t>(start - 1);;) {
    std::size_t found = search.Find(haystack, from, text.length);
    if (found == kNotFound || found > static_cast<std::size_t>(end - 1)) break;
    ++occurrences;
    from = found + sub.length;
  }
  SetEvalInteger(context, result, occurrences);
}

// ----------------------------------------------------------------------------------------------
// Wildcard searches.

// StrIndexWild (string, pattern, start): the first position where the pattern matches.
template <typename Unit>
void IndexWild(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> pattern = TextArgument<Unit>(context, arguments[1]);
  std::int64_t start = arguments[2].value.intValue;
  if (text.length == 0) return;
  if (start == 0) start = 1;
  if (pattern.length == 0) return SetEvalInteger(context, result, static_cast<std::int32_t>(start));
  CharacterSteps steps(context);
  CharacterIndex<Unit> index;
  if (!BuildIndex(context, index, steps, text)) return;
  auto n = static_cast<std::int64_t>(index.Count());
  if (start < 1 || start > n) return;
  // A match needs at least one character for each pattern character other than "*".
  std::int64_t needed = 0;
  for (std::size_t at = 0; at < pattern.length; at = steps.Next(pattern.data, pattern.length, at))
    if (pattern.data[at] != Unit('*')) ++needed;
  WorkBuffer<Unit> upperText, upperPattern;
  const Unit* folded = ComparedUnits(context, text, true, upperText);
  const Unit* foldedPattern =
      folded ? ComparedUnits(context, pattern, true, upperPattern) : nullptr;
  if (foldedPattern == nullptr) return;
  for (std::int64_t position = start; position <= n - needed + 1; ++position) {
    std::size_t at = index.Offset(static_cast<std::size_t>(position - 1));
    if (MatchUpperWildcard(TextSpan<Unit>{folded + at, text.length - at},
                           TextSpan<Unit>{foldedPattern, pattern.length}, steps) != 0)
      return SetEvalInteger(context, result, static_cast<std::int32_t>(position));
  }
}

// StrLenWild and StrSubWild (string, pattern, start): the match anchored at a position.
template <typename Unit>
void MatchWild(BatchContext& context, EvalValue& result, EvalValue* arguments, bool giveText) {
  TextSpan<Unit> text = TextArgument<Unit>(context, arguments[0]);
  TextSpan<Unit> pattern = TextArgument<Unit>(context, arguments[1]);
  std::int64_t start = arguments[2].value.intValue;
  std::size_t matched = 0, at = 0;
  CharacterSteps steps(context);
  CharacterIndex<Unit> index;
  if (!BuildIndex(context, index, steps, text)) return;
  if (start == 0) start = 1;
  if (text.length > 0 && pattern.length > 0 && start >= 1 &&
      start <= static_cast<std::int64_t>(index.Count())) {
    WorkBuffer<Unit> upperText, upperPattern;
    const Unit* folded = ComparedUnits(context, text, true, upperText);
    const Unit* foldedPattern =
        folded ? ComparedUnits(context, pattern, true, upperPattern) : nullptr;
    if (foldedPattern == nullptr) return;
    at = index.Offset(static_cast<std::size_t>(start - 1));
    matched = MatchUpperWildcard(TextSpan<Unit>{folded + at, text.length - at},
                                 TextSpan<Unit>{foldedPattern, pattern.length}, steps);
  }
  if (giveText)
    SetTextResult(context, result, text.data + at, matched);
  else
    SetEvalInteger(context, result, static_cast<std::int32_t>(matched));
}

}  // namespace

void StringIndex(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide,
                 bool ignoreCase) {
  InForm(wide, [&](auto unit) { Index<decltype(unit)>(context, result, arguments, ignoreCase); });
}

void StringScan(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide) {
  InForm(wide, [&](auto unit) { Scan<decltype(unit)>(context, result, arguments); });
}

void StringReplace(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide) {
  InForm(wide, [&](auto unit) { Replace<decltype(unit)>(context, result, arguments); });
}

void StringClean(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide) {
  InForm(wide, [&](auto unit) { Clean<decltype(unit)>(context, result, arguments); });
}

void StringCount(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide) {
  InForm(wide, [&](auto unit) { Count<decltype(unit)>(context, result, arguments); });
}

void StringIndexWild(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide) {
  InForm(wide, [&](auto unit) { IndexWild<decltype(unit)>(context, result, arguments); });
}

void StringMatchWild(BatchContext& context, EvalValue& result, EvalValue* arguments, bool wide,
                     bool giveText) {
  InForm(wide, [&](auto unit) { MatchWild<decltype(unit)>(context, result, arguments, giveText); });
}

}  // namespace kel
