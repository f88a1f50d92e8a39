// Walking the items of a delimited list, shared by the item-list and comma-separated-line
// functions.
//
// A delimiter is one character: one unit, or in ANSI text a double-byte character. Lists whose
// bytes are all characters (and every UTF-16 list) are searched for the delimiter unit directly;
// lists with double-byte characters are stepped through character by character, so a second
// byte that happens to equal the delimiter never splits an item.
#ifndef KEL_FUNCTIONS_STRINGS_ITEM_LISTS_H
#define KEL_FUNCTIONS_STRINGS_ITEM_LISTS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/item_memo.h"
#include "functions/strings/text_units.h"

namespace kel {

template <typename Unit>
struct Delimiter {
  Unit units[2];
  std::size_t width;  // 1, or 2 for a double-byte character
};

// Whether the `width` units at `at` are the delimiter's (a delimiter is one or two units, too
// few for a call to compare them).
template <typename Unit>
bool IsDelimiterAt(const Unit* at, const Delimiter<Unit>& delimiter) {
  for (std::size_t i = 0; i < delimiter.width; ++i)
    if (at[i] != delimiter.units[i]) return false;
  return true;
}

// Reads a delimiter argument: false when it is not a single character. An empty text gives
// `empty` when that is allowed (a tab for item lists), else it is not a single character.
template <typename Unit>
bool ReadDelimiter(TextSpan<Unit> text, const CharacterSteps& steps, bool allowEmpty, Unit empty,
                   Delimiter<Unit>& delimiter) {
  if (text.length == 0) {
    delimiter = {{empty, Unit(0)}, 1};
    return allowEmpty;
  }
  std::size_t width = steps.Next(text.data, text.length, 0);
  if (width != text.length) return false;
  delimiter = {{text.data[0], width == 2 ? text.data[1] : Unit(0)}, width};
  return true;
}

template <typename Unit>
class ItemScanner {
 public:
  ItemScanner(TextSpan<Unit> list, const Delimiter<Unit>& delimiter, const CharacterSteps& steps)
      : list_(list),
        delimiter_(delimiter),
        steps_(steps),
        stepped_(delimiter.width != 1 || steps.HasDoubleByte(list.data, list.length)) {}

  std::size_t Length() const { return list_.length; }
  std::size_t Width() const { return delimiter_.width; }

  // The offset of the first delimiter at or after `from` (a character start), or the length.
  std::size_t NextDelimiter(std::size_t from) const {
    if (!stepped_) {
      if (from >= list_.length) return list_.length;
      const Unit* hit =
          std::char_traits<Unit>::find(list_.data + from, list_.length - from, delimiter_.units[0]);
      return hit == nullptr ? list_.length : static_cast<std::size_t>(hit - list_.data);
    }
    for (std::size_t at = from, next; at < list_.length; at = next) {
      next = steps_.Next(list_.data, list_.length, at);
      if (next - at == delimiter_.width && IsDelimiterAt(list_.data + at, delimiter_)) return at;
    }
    return list_.length;
  }

  // The number of items: 0 for an empty list, else delimiters + 1.
  std::size_t Count() const {
    if (list_.length == 0) return 0;
    if (!stepped_)
      return 1 + static_cast<std::size_t>(
                     std::count(list_.data, list_.data + list_.length, delimiter_.units[0]));
    std::size_t count = 1;
    for (std::size_t at = NextDelimiter(0); at < list_.length; at = NextDelimiter(at + Width()))
      ++count;
    return count;
  }

  // Where item `index` (1-based; -1 the last) starts and ends; false when there is no such item.
  // The search goes on from item `known`, which starts at `knownStart`, unless that item stands
  // after the wanted one.
  bool Find(std::int64_t index, std::size_t& start, std::size_t& end, std::int64_t known = 1,
            std::size_t knownStart = 0) const {
    if (list_.length == 0 || (index < 1 && index != -1)) return false;
    if (known < 1 || knownStart > list_.length || (index != -1 && known > index)) {
      known = 1;
      knownStart = 0;
    }
    if (!stepped_) {
      start = index == -1      ? LastItemStart()
              : index == known ? knownStart
                               : SkipDelimiters(knownStart, index - known);
      if (start > list_.length) return false;
      end = NextDelimiter(start);
      return true;
    }
    start = knownStart;
    end = NextDelimiter(start);
    for (std::int64_t item = known; index == -1 ? end < list_.length : item < index; ++item) {
      if (end >= list_.length) return false;
      start = end + Width();
      end = NextDelimiter(start);
    }
    return true;
  }

 private:
  // Lists whose units are their characters are walked without stepping: counted a block at a
  // time (a loop the compiler turns into wide comparisons), and the last item found from the
  // end, so that long lists cost little per call.
  static constexpr std::size_t kBlock = 256;
  static constexpr std::uint64_t kFewDelimiters = 4;

  // The offset just behind delimiter number `skip` (at least 1) counted from `from`; past the
  // length when the list has fewer.
  std::size_t SkipDelimiters(std::size_t from, std::int64_t skip) const {
    const Unit* p = list_.data + from;
    const Unit* end = list_.data + list_.length;
    Unit delimiter = delimiter_.units[0];
    auto left = static_cast<std::uint64_t>(skip);
    // The next few delimiters (a walk by index asks for the next item) are searched for one by
    // one; counting a whole block would cost more than the search.
    while (left <= kFewDelimiters) {
      const Unit* hit =
          std::char_traits<Unit>::find(p, static_cast<std::size_t>(end - p), delimiter);
      if (hit == nullptr) return list_.length + 1;
      if (--left == 0) return static_cast<std::size_t>(hit - list_.data) + 1;
      p = hit + 1;
    }
    while (static_cast<std::size_t>(end - p) >= kBlock) {
      auto inBlock = static_cast<std::uint64_t>(std::count(p, p + kBlock, delimiter));
      if (inBlock >= left) break;
      left -= inBlock;
      p += kBlock;
    }
    for (; p < end; ++p)
      if (*p == delimiter && --left == 0) return static_cast<std::size_t>(p - list_.data) + 1;
    return list_.length + 1;
  }

  std::size_t LastItemStart() const {
    std::size_t at = list_.length;
    while (at > 0 && list_.data[at - 1] != delimiter_.units[0])
      --at;
    return at;
  }

  TextSpan<Unit> list_;
  Delimiter<Unit> delimiter_;
  const CharacterSteps& steps_;
  bool stepped_;
};

// The item an ItemMemo remembers, when it was found in this very text (the heap block at
// `textRef`) with this delimiter and code page: `known` and `knownStart` are left alone
// otherwise.
template <typename Unit>
void RecallItem(const ItemMemo& memo, std::uint32_t textRef, TextSpan<Unit> text,
                const Delimiter<Unit>& delimiter, std::uint32_t codePage, std::int64_t& known,
                std::size_t& knownStart) {
  if (textRef == 0 || memo.textRef != textRef || memo.length != text.length ||
      memo.wide != (sizeof(Unit) == 2 ? 1 : 0) || memo.codePage != codePage ||
      memo.delimiterWidth != delimiter.width || memo.item < 1 || memo.start > text.length)
    return;
  for (std::size_t i = 0; i < delimiter.width; ++i)
    if (memo.delimiter[i] != static_cast<std::uint16_t>(delimiter.units[i])) return;
  // The delimiter must still stand just before the item (the first item starts the text).
  std::size_t width = delimiter.width;
  bool afterDelimiter =
      memo.start >= width && IsDelimiterAt(text.data + memo.start - width, delimiter);
  if (memo.item == 1 ? memo.start != 0 : !afterDelimiter) return;
  known = memo.item;
  knownStart = memo.start;
}

// Remembers where item `item` of the text at `textRef` starts.
template <typename Unit>
void RememberItem(ItemMemo& memo, std::uint32_t textRef, TextSpan<Unit> text,
                  const Delimiter<Unit>& delimiter, std::uint32_t codePage, std::int64_t item,
                  std::size_t start) {
  if (textRef == 0 || item < 1 || item > 0x7FFFFFFF || text.length > 0xFFFFFFFFu) {
    memo.textRef = 0;
    return;
  }
  memo.textRef = textRef;
  memo.length = static_cast<std::uint32_t>(text.length);
  memo.start = static_cast<std::uint32_t>(start);
  memo.item = static_cast<std::int32_t>(item);
  memo.codePage = codePage;
  memo.delimiter[0] = static_cast<std::uint16_t>(delimiter.units[0]);
  memo.delimiter[1] = static_cast<std::uint16_t>(delimiter.units[1]);
  memo.delimiterWidth = static_cast<std::uint8_t>(delimiter.width);
  memo.wide = sizeof(Unit) == 2 ? 1 : 0;
}

// The heap offset of a text argument in the form the function reads it.
template <typename Unit>
std::uint32_t TextRefOf(const Value& value) {
  if constexpr (sizeof(Unit) == 1)
    return static_cast<std::uint32_t>(value.textRef);
  else
    return value.wideRef;
}

}  // namespace kel

#endif  // KEL_FUNCTIONS_STRINGS_ITEM_LISTS_H
