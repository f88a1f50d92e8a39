// The item-list functions (Item...): counting, extracting, inserting, removing, replacing,
// locating and sorting the items of delimited lists, with the family's one selection.
#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/strings/item_csv.h"
#include "functions/strings/item_lists.h"
#include "functions/strings/text_units.h"
#include "functions/strings/wildcard.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"

namespace kel {

namespace {

// The list and delimiter arguments of one call, ready to walk.
template <typename Unit>
struct ListCall {
  ListCall(BatchContext& context, const EvalValue& listArgument) : steps(context) {
    list = TextArgument<Unit>(context, listArgument);
  }
  // A list whose length is known already is not measured again.
  ListCall(BatchContext& context, TextSpan<Unit> known) : steps(context), list(known) {}
  // False with 1705 when the delimiter argument is longer than one character.
  bool ReadDelimiterArgument(BatchContext& context, const EvalValue& argument) {
    if (ReadDelimiter(TextArgument<Unit>(context, argument), steps, true, Unit('\t'), delimiter))
      return true;
    SetError(context, kErrInvalidDelimiter);
    return false;
  }
  ItemScanner<Unit> Scanner() const { return ItemScanner<Unit>(list, delimiter, steps); }

  CharacterSteps steps;
  TextSpan<Unit> list;
  Delimiter<Unit> delimiter{};
};

// Writes pieces one after another into a new result of their total length.
template <typename Unit>
void JoinPieces(BatchContext& context, EvalValue& result,
                std::initializer_list<TextSpan<Unit>> pieces) {
  std::size_t length = 0;
  for (const TextSpan<Unit>& piece : pieces)
    length += piece.length;
  Unit* out = NewTextResult<Unit>(context, result, length);
  if (out == nullptr) return;
  for (const TextSpan<Unit>& piece : pieces) {
    std::memcpy(out, piece.data, piece.length * sizeof(Unit));
    out += piece.length;
  }
}

template <typename Unit>
TextSpan<Unit> Piece(TextSpan<Unit> text, std::size_t from, std::size_t to) {
  return {text.data + from, to - from};
}

// ItemCount (list, delimiter).
template <typename Unit>
void Count(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  ListCall<Unit> call(context, arguments[0]);
  if (!call.ReadDelimiterArgument(context, arguments[1])) return;
  std::size_t count = call.Scanner().Count();
  SetEvalInteger(context, result,
                 count > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<std::int32_t>(count));
}

// ItemExtract (index, list, delimiter). A script that walks a list by index asks for the items
// one after another: the search goes on from the item found last in the same text.
template <typename Unit>
void Extract(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  ItemMemo& memo = context.itemMemos[kItemMemoList];
  std::uint32_t textRef = TextRefOf<Unit>(arguments[1].value);
  // The list walked last keeps its length in the memo: a heap text does not change while the
  // memo of it stands (freeing it, or appending to it in place, forgets the memo).
  const bool remembered =
      textRef != 0 && memo.textRef == textRef && memo.wide == (sizeof(Unit) == 2 ? 1 : 0);
  ListCall<Unit> call =
      remembered
          ? ListCall<Unit>(context,
                           TextSpan<Unit>{reinterpret_cast<const Unit*>(context.heapBase + textRef),
                                          memo.length})
          : ListCall<Unit>(context, arguments[1]);
  if (!call.ReadDelimiterArgument(context, arguments[2])) return;
  std::int64_t index = arguments[0].value.intValue;
  std::int64_t known = 1;
  std::size_t knownStart = 0;
  RecallItem(memo, textRef, call.list, call.delimiter, context.codePage, known, knownStart);
  std::size_t start, end;
  if (call.Scanner().Find(index, start, end, known, knownStart)) {
    if (index > 0)
      RememberItem(memo, textRef, call.list, call.delimiter, context.codePage, index, start);
    SetTextResult(context, result, call.list.data + start, end - start);
  } else {
    SetEmptyResult<Unit>(context, result);
  }
}

// ItemInsert (item, index, list, delimiter): `index` items stand before the new one; an index
// that is negative or not below the number of items appends it.
template <typename Unit>
void Insert(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> item = TextArgument<Unit>(context, arguments[0]);
  std::int64_t index = arguments[1].value.intValue;
  ListCall<Unit> call(context, arguments[2]);
  if (!call.ReadDelimiterArgument(context, arguments[3])) return;
  TextSpan<Unit> list = call.list;
  TextSpan<Unit> delimiter{call.delimiter.units, call.delimiter.width};
  if (list.length == 0) {
    SetTextResult(context, result, item.data, item.length);
    return;
  }
  std::size_t start, end;
  if (index >= 0 && call.Scanner().Find(index + 1, start, end))
    JoinPieces<Unit>(context, result,
                     {Piece(list, 0, start), item, delimiter, Piece(list, start, list.length)});
  else
    JoinPieces<Unit>(context, result, {list, delimiter, item});
}

// ItemRemove (index, list, delimiter): the item goes with the delimiter after it, or with the
// one before it when it is the last.
template <typename Unit>
void Remove(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  ListCall<Unit> call(context, arguments[1]);
  if (!call.ReadDelimiterArgument(context, arguments[2])) return;
  TextSpan<Unit> list = call.list;
  std::size_t start, end, width = call.delimiter.width;
  if (!call.Scanner().Find(arguments[0].value.intValue, start, end)) {
    SetTextResult(context, result, list.data, list.length);
    return;
  }
  if (end < list.length)
    end += width;
  else if (start > 0)
    start -= width;
  JoinPieces<Unit>(context, result, {Piece(list, 0, start), Piece(list, end, list.length)});
}

// ItemReplace (item, index, list, delimiter).
template <typename Unit>
void Replace(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> item = TextArgument<Unit>(context, arguments[0]);
  ListCall<Unit> call(context, arguments[2]);
  if (!call.ReadDelimiterArgument(context, arguments[3])) return;
  TextSpan<Unit> list = call.list;
  std::size_t start, end;
  if (!call.Scanner().Find(arguments[1].value.intValue, start, end)) {
    SetTextResult(context, result, list.data, list.length);
    return;
  }
  JoinPieces<Unit>(context, result, {Piece(list, 0, start), item, Piece(list, end, list.length)});
}

// ItemLocate (item, list, delimiter): the first item equal to `item`, exactly.
template <typename Unit>
void Locate(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> item = TextArgument<Unit>(context, arguments[0]);
  ListCall<Unit> call(context, arguments[1]);
  if (!call.ReadDelimiterArgument(context, arguments[2])) return;
  if (call.list.length == 0) return;
  ItemScanner<Unit> scanner = call.Scanner();
  std::int32_t index = 1;
  for (std::size_t start = 0;; ++index) {
    std::size_t end = scanner.NextDelimiter(start);
    if (end - start == item.length &&
        std::memcmp(call.list.data + start, item.data, item.length * sizeof(Unit)) == 0)
      return SetEvalInteger(context, result, index);
    if (end >= call.list.length) return;
    start = end + scanner.Width();
  }
}

// ItemLocateWild (pattern, list, delimiter, start): the first item from `start` on that the
// pattern matches whole.
template <typename Unit>
void LocateWild(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<Unit> pattern = TextArgument<Unit>(context, arguments[0]);
  ListCall<Unit> call(context, arguments[1]);
  if (!call.ReadDelimiterArgument(context, arguments[2])) return;
  std::int64_t first = arguments[3].value.intValue;
  if (first < 1 || call.list.length == 0) return;
  // Items are found in the list itself (a delimiter may be a letter) and matched in the copies.
  WorkBuffer<Unit> upperList, upperPattern;
  if (!UpperCopy(call.list, upperList) || !UpperCopy(pattern, upperPattern))
    return SetError(context, kErrUnableToAllocate);
  bool emptyMatches = pattern.length == 0 || (pattern.length == 1 && pattern.data[0] == Unit('*'));
  ItemScanner<Unit> scanner = call.Scanner();
  std::int64_t index = 1;
  for (std::size_t start = 0;; ++index) {
    std::size_t end = scanner.NextDelimiter(start);
    if (index >= first) {
      std::size_t length = end - start;
      bool matches = length == 0
                         ? emptyMatches
                         : MatchUpperWildcard(TextSpan<Unit>{upperList.data() + start, length},
                                              TextSpan<Unit>{upperPattern.data(), pattern.length},
                                              call.steps) == length;
      if (matches) return SetEvalInteger(context, result, static_cast<std::int32_t>(index));
    }
    if (end >= call.list.length) return;
    start = end + scanner.Width();
  }
}

// ItemSort and ItemSortNc (list, delimiter).
//
// The order is that of a selection sort that repeatedly takes the smallest remaining item, the
// earlier one among equals, and leaves empty items out: a stable sort gives the very same order
// without the selection's quadratic work. The empty items come back as delimiters in front.
template <typename Unit>
void Sort(BatchContext& context, EvalValue& result, EvalValue* arguments, bool ignoreCase) {
  ListCall<Unit> call(context, arguments[0]);
  if (!call.ReadDelimiterArgument(context, arguments[1])) return;
  TextSpan<Unit> list = call.list;
  if (list.length == 0) {
    SetEmptyResult<Unit>(context, result);
    return;
  }
  ItemScanner<Unit> scanner = call.Scanner();
  std::size_t width = scanner.Width();
  std::size_t items = scanner.Count();
  struct ItemRef {
    std::uint32_t start;
    std::uint32_t length;
  };
  // The working copy ends each item with a terminator, as the locale comparison wants them.
  WorkBuffer<Unit> copy;
  WorkBuffer<ItemRef> refs;
  if (!copy.Allocate(list.length + 1) || !refs.Allocate(items))
    return SetError(context, kErrUnableToAllocate);
  std::memcpy(copy.data(), list.data, list.length * sizeof(Unit));
  copy[list.length] = 0;
  std::size_t kept = 0;
  for (std::size_t start = 0;;) {
    std::size_t end = scanner.NextDelimiter(start);
    for (std::size_t i = end; i < end + width && i < list.length; ++i)
      copy[i] = 0;
    if (end > start)
      refs[kept++] = {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end - start)};
    if (end >= list.length) break;
    start = end + width;
  }
  const Unit* base = copy.data();
  auto compare = [&](const ItemRef& a, const ItemRef& b) {
    const Unit* x = base + a.start;
    const Unit* y = base + b.start;
    int order;
    if constexpr (sizeof(Unit) == 1) {
      order = platform::CompareLocaleText(x, y, ignoreCase);
      if (order == 0 && ignoreCase) order = platform::CompareLocaleText(x, y, false);
    } else {
      order = platform::CompareLocaleWide(x, y, ignoreCase);
      if (order == 0 && ignoreCase) order = platform::CompareLocaleWide(x, y, false);
    }
    return order < 0;
  };
  std::stable_sort(refs.data(), refs.data() + kept, compare);
  std::size_t front = items - kept;
  if (kept == 0) --front;
  std::size_t length = front * width + (kept > 0 ? (kept - 1) * width : 0);
  for (std::size_t i = 0; i < kept; ++i)
    length += refs[i].length;
  Unit* out = NewTextResult<Unit>(context, result, length);
  if (out == nullptr) return;
  for (std::size_t i = 0; i < front; ++i, out += width)
    std::memcpy(out, call.delimiter.units, width * sizeof(Unit));
  for (std::size_t i = 0; i < kept; ++i) {
    if (i > 0) {
      std::memcpy(out, call.delimiter.units, width * sizeof(Unit));
      out += width;
    }
    std::memcpy(out, list.data + refs[i].start, refs[i].length * sizeof(Unit));
    out += refs[i].length;
  }
}

// ItemSelect (title, list, delimiter): the item the user chooses in a selection box, or an
// empty text when the box is cancelled. Where no box can be shown the function is not available.
void Select(BatchContext& context, EvalValue& result, EvalValue* arguments) {
  TextSpan<char> title = TextArgument<char>(context, arguments[0]);
  ListCall<char> call(context, arguments[1]);
  if (!call.ReadDelimiterArgument(context, arguments[2])) return;
  std::vector<std::string> items;
  if (call.list.length > 0) {
    ItemScanner<char> scanner = call.Scanner();
    for (std::size_t start = 0;;) {
      std::size_t end = scanner.NextDelimiter(start);
      items.emplace_back(call.list.data + start, end - start);
      if (end >= call.list.length) break;
      start = end + scanner.Width();
    }
  }
  int chosen = platform::ShowSelectionBox(context.hostWindow,
                                          std::string(title.data, title.length).c_str(), items);
  if (chosen == platform::kSelectionBoxUnavailable) return SetError(context, kErrNotAvailable);
  if (chosen < 0 || static_cast<std::size_t>(chosen) >= items.size()) {
    SetEmptyResult<char>(context, result);
    return;
  }
  const std::string& item = items[static_cast<std::size_t>(chosen)];
  SetTextResult(context, result, item.data(), item.size());
}

}  // namespace

KEL_FAMILY_ROUTINE(ItemFunction) {
  switch (code) {
    case kKeywordItemCount:
      return InForm(unicode, [&](auto unit) { Count<decltype(unit)>(context, result, arguments); });
    case kKeywordItemExtract:
      return InForm(unicode,
                    [&](auto unit) { Extract<decltype(unit)>(context, result, arguments); });
    case kKeywordItemInsert:
      return InForm(unicode,
                    [&](auto unit) { Insert<decltype(unit)>(context, result, arguments); });
    case kKeywordItemRemove:
      return InForm(unicode,
                    [&](auto unit) { Remove<decltype(unit)>(context, result, arguments); });
    case kKeywordItemReplace:
      return InForm(unicode,
                    [&](auto unit) { Replace<decltype(unit)>(context, result, arguments); });
    case kKeywordItemLocate:
      return InForm(unicode,
                    [&](auto unit) { Locate<decltype(unit)>(context, result, arguments); });
    case kKeywordItemLocateWild:
      return InForm(unicode,
                    [&](auto unit) { LocateWild<decltype(unit)>(context, result, arguments); });
    case kKeywordItemSort:
      return InForm(unicode,
                    [&](auto unit) { Sort<decltype(unit)>(context, result, arguments, false); });
    case kKeywordItemSortNc:  // declared ANSI
      return Sort<char>(context, result, arguments, true);
    case kKeywordItemSelect:  // declared ANSI
      return Select(context, result, arguments);
    case kKeywordItemCountCsv:
      return CsvFieldCount(context, result, arguments, count, unicode);
    case kKeywordItemExtractCsv:
      return CsvFieldExtract(context, result, arguments, count, unicode);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
