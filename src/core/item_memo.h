// Where ItemExtract and ItemExtractCsv last found an item, so that a script walking a list by
// index goes on from there instead of from the list's start. Plain data: it lives in the context.
#ifndef KEL_CORE_ITEM_MEMO_H
#define KEL_CORE_ITEM_MEMO_H

#include <cstdint>

namespace kel {

// The memo is trusted only for the very text it was made from: the heap block (forgotten when
// the block is freed), the text's length, the delimiter and the code page must all be the same,
// and the delimiter must still stand just before the remembered item.
struct ItemMemo {
  std::uint32_t textRef;  // heap offset of the list's text; 0 when nothing is remembered
  std::uint32_t length;   // the text's length in units
  std::uint32_t start;    // where item `item` starts, in units
  std::int32_t item;      // from 1
  std::uint32_t codePage;
  std::uint16_t delimiter[2];
  std::uint8_t delimiterWidth;
  std::uint8_t wide;  // the text is UTF-16
  std::uint8_t reserved[2];
};

// One memo for each way of walking a list: items and comma-separated fields end differently.
enum ItemMemoKind : int { kItemMemoList = 0, kItemMemoCsv = 1, kItemMemoCount = 2 };

}  // namespace kel

#endif  // KEL_CORE_ITEM_MEMO_H
