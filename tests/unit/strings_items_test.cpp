// The item-list and comma-separated-line functions through the evaluator: delimiters at the
// ends, empty items and lists, indexes past the end and the delimiter errors.
#include <initializer_list>
#include <string>
#include <vector>

#include "builtins/function_groups.h"
#include "lang/keyword_table.h"
#include "unit/strings_support.h"

namespace kel::testing {
namespace {

TEST_F(StringFunctionsTest, ItemCountCountsDelimiters) {
  constexpr StringCase cases[] = {
      {"ItemCount(\"\", \",\")", "0", I, 0},
      {"ItemCount(\",\", \",\")", "2", I, 0},
      {"ItemCount(\"a,b,c\", \",\")", "3", I, 0},
      {"ItemCount(\"a\", \",\")", "1", I, 0},
      {"ItemCount(\"a\tb\tc\", \"\")", "3", I, 0},  // an empty delimiter is a tab
      {"ItemCount(\"a,b\", \"\")", "1", I, 0},
      {"ItemCount(\"a,b\", \",,\")", nullptr, I, 1705},
      {"ItemCount(" U("a|b") ", \"|\")", "2", I, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ItemExtractTakesOneItem) {
  constexpr StringCase cases[] = {
      {"ItemExtract(-1, \"a,b,c\", \",\")", "c", A, 0},
      {"ItemExtract(0, \"a,b,c\", \",\")", "", A, 0},
      {"ItemExtract(1, \"a,b,c\", \",\")", "a", A, 0},
      {"ItemExtract(2, \"a,b,c\", \",\")", "b", A, 0},
      {"ItemExtract(3, \"a,b,c\", \",\")", "c", A, 0},
      {"ItemExtract(4, \"a,b,c\", \",\")", "", A, 0},
      {"ItemExtract(-2, \"a,b,c\", \",\")", "", A, 0},
      {"ItemExtract(2, \"a,,c\", \",\")", "", A, 0},
      {"ItemExtract(-1, \"a,b,\", \",\")", "", A, 0},
      {"ItemExtract(1, \",b\", \",\")", "", A, 0},
      {"ItemExtract(1, \"\", \",\")", "", A, 0},
      {"ItemExtract(-1, \"\", \",\")", "", A, 0},
      {"ItemExtract(-1, \"abc\", \",\")", "abc", A, 0},
      {"ItemExtract(2, \"a\tb\", \"\")", "b", A, 0},
      {"ItemExtract(2, \"a,b\", \",,\")", nullptr, A, 1705},
      {"ItemExtract(2, " U("a,b") ", \",\")", "b", W, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ItemInsertPlacesTheNewItem) {
  constexpr StringCase cases[] = {
      {"ItemInsert(\"x\", 0, \"a,b\", \",\")", "x,a,b", A, 0},
      {"ItemInsert(\"x\", 1, \"a,b\", \",\")", "a,x,b", A, 0},
      {"ItemInsert(\"x\", -1, \"a,b\", \",\")", "a,b,x", A, 0},
      {"ItemInsert(\"x\", 5, \"a,b\", \",\")", "a,b,x", A, 0},
      {"ItemInsert(\"x\", 2, \"a,b\", \",\")", "a,b,x", A, 0},
      {"ItemInsert(\"x\", -7, \"a,b\", \",\")", "a,b,x", A, 0},
      {"ItemInsert(\"x\", 2, \"a,b,\", \",\")", "a,b,x,", A, 0},  // before the final empty item
      {"ItemInsert(\"x\", 3, \"a,b,\", \",\")", "a,b,,x", A, 0},
      {"ItemInsert(\"x\", 0, \"\", \",\")", "x", A, 0},
      {"ItemInsert(\"x\", 3, \"\", \",\")", "x", A, 0},
      {"ItemInsert(\"\", 0, \"a\", \",\")", ",a", A, 0},
      {"ItemInsert(\"x\", 1, \"a,b\", \"ab\")", nullptr, A, 1705},
      {"ItemInsert(" U("x") ", 1, \"a,b\", \",\")", "a,x,b", W, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ItemRemoveDropsAnItemAndOneDelimiter) {
  constexpr StringCase cases[] = {
      {"ItemRemove(2, \"a,b,c\", \",\")", "a,c", A, 0},
      {"ItemRemove(3, \"a,b,c\", \",\")", "a,b", A, 0},
      {"ItemRemove(9, \"a,b,c\", \",\")", "a,b,c", A, 0},
      {"ItemRemove(1, \"a,b,c\", \",\")", "b,c", A, 0},
      {"ItemRemove(-1, \"a,b,c\", \",\")", "a,b", A, 0},
      {"ItemRemove(0, \"a,b,c\", \",\")", "a,b,c", A, 0},
      {"ItemRemove(-3, \"a,b,c\", \",\")", "a,b,c", A, 0},
      {"ItemRemove(1, \"a\", \",\")", "", A, 0},
      {"ItemRemove(1, \"\", \",\")", "", A, 0},
      {"ItemRemove(2, \"a,\", \",\")", "a", A, 0},
      {"ItemRemove(1, \",\", \",\")", "", A, 0},
      {"ItemRemove(1, \"a,b\", \",,\")", nullptr, A, 1705},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ItemReplaceKeepsTheDelimiters) {
  constexpr StringCase cases[] = {
      {"ItemReplace(\"x\", 2, \"a,b,c\", \",\")", "a,x,c", A, 0},
      {"ItemReplace(\"x\", -1, \"a,b,c\", \",\")", "a,b,x", A, 0},
      {"ItemReplace(\"x\", 4, \"a,b,c\", \",\")", "a,b,c", A, 0},
      {"ItemReplace(\"x\", 0, \"a,b,c\", \",\")", "a,b,c", A, 0},
      {"ItemReplace(\"x\", 1, \"\", \",\")", "", A, 0},
      {"ItemReplace(\"\", 1, \"a,b\", \",\")", ",b", A, 0},
      {"ItemReplace(\"x\", 2, \"a,\", \",\")", "a,x", A, 0},
      {"ItemReplace(\"x\", 1, \"a\", \"--\")", nullptr, A, 1705},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ItemLocateFindsEqualItems) {
  constexpr StringCase cases[] = {
      {"ItemLocate(\"b\", \"a,b,c\", \",\")", "2", I, 0},
      {"ItemLocate(\"d\", \"a,b,c\", \",\")", "0", I, 0},
      {"ItemLocate(\"\", \"a,,c\", \",\")", "2", I, 0},
      {"ItemLocate(\"\", \"a,b,\", \",\")", "3", I, 0},
      {"ItemLocate(\"\", \"\", \",\")", "0", I, 0},
      {"ItemLocate(\"B\", \"a,b\", \",\")", "0", I, 0},
      {"ItemLocate(\"a\", \"ab,a\", \",\")", "2", I, 0},
      {"ItemLocate(\"b\", \"a,b,b\", \",\")", "2", I, 0},
      {"ItemLocate(\"b\", \"a,b\", \",,\")", nullptr, I, 1705},
      {"ItemLocateWild(\"b*\", \"a,bx,c\", \",\", 1)", "2", I, 0},
      {"ItemLocateWild(\"b*\", \"a,bx,c,by\", \",\", 3)", "4", I, 0},
      {"ItemLocateWild(\"*\", \"a,,c\", \",\", 1)", "1", I, 0},
      {"ItemLocateWild(\"\", \"a,,c\", \",\", 1)", "2", I, 0},
      {"ItemLocateWild(\"?\", \"ab,,c\", \",\", 1)", "3", I, 0},
      {"ItemLocateWild(\"*\", \"\", \",\", 1)", "0", I, 0},
      {"ItemLocateWild(\"B?\", \"a,bx\", \",\", 1)", "2", I, 0},
      {"ItemLocateWild(\"b\", \"a,bx\", \",\", 1)", "0", I, 0},  // the whole item must match
      {"ItemLocateWild(\"a\", \"a\", \",\", 0)", "0", I, 0},
      {"ItemLocateWild(\"a\", \"a\", \",\", 2)", "0", I, 0},
      {"ItemLocateWild(\"*b\", \"ab;b\", \";\", 1)", "1", I, 0},
      {"ItemLocateWild(\"a\", \"a\", \";;\", 1)", nullptr, I, 1705},
      {"ItemLocateWild(\"X\", " U("axb") ", \"b\", 1)", "0", I, 0},
      {"ItemLocateWild(\"A?\", " U("xbaxb") ", \"b\", 1)", "2", I, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ItemSortPutsEmptyItemsFirst) {
  constexpr StringCase cases[] = {
      {"ItemSort(\"b,,a\", \",\")", ",a,b", A, 0},
      {"ItemSort(\",,\", \",\")", ",,", A, 0},
      {"ItemSort(\",\", \",\")", ",", A, 0},
      {"ItemSort(\"\", \",\")", "", A, 0},
      {"ItemSort(\"b\", \",\")", "b", A, 0},
      {"ItemSort(\"c,a,b\", \",\")", "a,b,c", A, 0},
      {"ItemSort(\"b,a,\", \",\")", ",a,b", A, 0},
      {"ItemSort(\"B,a,b,A\", \",\")", "a,A,b,B", A, 0},  // the locale order, not byte order
      {"ItemSort(\"10,9,1\", \",\")", "1,10,9", A, 0},
      {"ItemSort(\"b\ta\", \"\")", "a\tb", A, 0},
      {"ItemSort(\"b,a\", \",,\")", nullptr, A, 1705},
      {"ItemSort(" U("b,a") ", \",\")", "a,b", W, 0},
      {"ItemSortNc(\"b,B,a,A\", \",\")", "a,A,b,B", A, 0},
      {"ItemSortNc(\"B,b,A,a\", \",\")", "a,A,b,B", A, 0},  // ties fall back on case
      {"ItemSortNc(\"c,B,a\", \",\")", "a,B,c", A, 0},
      {"ItemSortNc(" U("b,a") ", \",\")", "a,b", A, 0},  // always ANSI
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, CsvLinesCountFields) {
  constexpr StringCase cases[] = {
      {"ItemCountCsv(\"a,b,c\", 0)", "3", I, 0},
      {"ItemCountCsv(\"\", 0)", "0", I, 0},
      {"ItemCountCsv(\" \", 0)", "1", I, 0},
      {"ItemCountCsv(\"a,\", 0)", "2", I, 0},
      {"ItemCountCsv('a,\"b,c\",d', 0)", "3", I, 0},
      {"ItemCountCsv('a,\"b\"\",\"\"c\",d', 0)", "3", I, 0},
      {"ItemCountCsv('  \"a\"  ,b', 0)", "2", I, 0},
      {"ItemCountCsv(\"a;b;c\", 0, \";\")", "3", I, 0},
      {"ItemCountCsv(\"a\tb\", 0, \"\t\")", "2", I, 0},
      {"ItemCountCsv('a,x\"b\"', 0)", nullptr, I, 1706},
      {"ItemCountCsv('\"a\" x,b', 0)", nullptr, I, 1706},
      {"ItemCountCsv('\"a\" \"b\"', 0)", nullptr, I, 1706},
      {"ItemCountCsv('\"a', 0)", nullptr, I, 1706},
      {"ItemCountCsv(\"a,b\", 0, \" \")", nullptr, I, 1712},
      {"ItemCountCsv(\"a,b\", 0, \"\")", nullptr, I, 1712},
      {"ItemCountCsv(\"a,b\", 0, '\"')", nullptr, I, 1712},
      {"ItemCountCsv(\"a,b\", 0, \",,\")", nullptr, I, 1712},
      {"ItemCountCsv(" U("a,b") ", 0)", "2", I, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, CsvLinesGiveUnquotedFields) {
  constexpr StringCase cases[] = {
      {"ItemExtractCsv(2, 'a, \"x\"\"y\" ,c', 0)", "x\"y", A, 0},
      {"ItemExtractCsv(2, 'a, \"x\"\"y\" ,c', 1)", "x\"y", A, 0},
      {"ItemExtractCsv(2, 'a,\"b,c\",d', 0)", "b,c", A, 0},
      {"ItemExtractCsv(1, ' a ,b', 0)", "a", A, 0},
      {"ItemExtractCsv(1, ' a ,b', 1)", " a ", A, 0},
      {"ItemExtractCsv(-1, 'a,b,c', 0)", "c", A, 0},
      {"ItemExtractCsv(-1, 'a,b,', 0)", "", A, 0},
      {"ItemExtractCsv(4, 'a,b,c', 0)", "", A, 0},
      {"ItemExtractCsv(0, 'a,b,c', 0)", "", A, 0},
      {"ItemExtractCsv(-2, 'a,b,c', 0)", "", A, 0},
      {"ItemExtractCsv(1, '', 0)", "", A, 0},
      {"ItemExtractCsv(1, '\"\"', 0)", "", A, 0},
      {"ItemExtractCsv(1, '\"\"\"\"', 0)", "\"", A, 0},
      {"ItemExtractCsv(2, 'a;\"b;c\"', 0, ';')", "b;c", A, 0},
      {"ItemExtractCsv(2, \"a\t b \tc\", 0, \"\t\")", "b", A, 0},
      {"ItemExtractCsv(1, 'a,x\"b\"', 0)", "a", A, 0},
      {"ItemExtractCsv(2, 'a,x\"b\"', 0)", nullptr, A, 1707},
      {"ItemExtractCsv(-1, 'a,x\"b\"', 0)", nullptr, A, 1707},
      {"ItemExtractCsv(1, '\"a', 0)", nullptr, A, 1707},
      {"ItemExtractCsv(1, 'a', 0, \"\")", nullptr, A, 1713},
      {"ItemExtractCsv(1, 'a', 0, ' ')", nullptr, A, 1713},
      {"ItemExtractCsv(1, 'a', 0, Num2Char(13))", nullptr, A, 1713},
      {"ItemExtractCsv(1, 'a', 0, Num2Char(10))", nullptr, A, 1713},
      {"ItemExtractCsv(2, " U("a,b") ", 0)", "b", W, 0},
  };
  CheckAll(cases);
}

}  // namespace
}  // namespace kel::testing

namespace kel::testing {
namespace {

// Long lists are walked a block at a time; every item must still be found where it stands.
class LongListTest : public StringFunctionsTest {
 protected:
  EvalValue TextValue(const std::string& text) {
    EvalValue value;
    ResetEval(value);
    value.value.flags = kValueText;
    value.value.textRef = HeapCopyText(context(), text.data(), text.size());
    return value;
  }
  EvalValue IntegerValue(std::int32_t number) {
    EvalValue value;
    ResetEval(value);
    value.value.flags = kValueInteger;
    value.value.intValue = number;
    return value;
  }
  // Calls an item function directly with the given arguments; the result as text.
  std::string Call(std::uint32_t code, std::initializer_list<EvalValue> values) {
    EvalValue arguments[4];
    int count = 0;
    for (const EvalValue& value : values)
      arguments[count++] = value;
    EvalValue result;
    ResetEval(result);
    context().errors.errNum = 0;
    ItemFunction(context(), code, count, result, arguments, false);
    EXPECT_EQ(context().errors.errNum, 0u);
    std::string text;
    if ((result.value.flags & kValueText) != 0)
      text = ValueText(context(), result.value);
    else if ((result.value.flags & kValueInteger) != 0)
      text = std::to_string(result.value.intValue);
    ReleaseEval(context(), result);
    for (int i = 0; i < count; ++i)
      ReleaseEval(context(), arguments[i]);
    return text;
  }
};

// A list walked by index: each search goes on from the item found last in the same text, and
// any other text (a new one in the heap block of a freed one included) or delimiter starts
// afresh. The list's text stays where it is between the calls, as a variable's text does.
class ListWalkTest : public LongListTest {
 protected:
  std::string Extract(std::uint32_t code, std::int32_t index, std::uint32_t list,
                      std::initializer_list<EvalValue> rest) {
    EvalValue arguments[4];
    arguments[0] = IntegerValue(index);
    ResetEval(arguments[1]);
    arguments[1].value.flags = kValueText;
    arguments[1].value.textRef = list;
    int count = 2;
    for (const EvalValue& value : rest)
      arguments[count++] = value;
    EvalValue result;
    ResetEval(result);
    context().errors.errNum = 0;
    ItemFunction(context(), code, count, result, arguments, false);
    EXPECT_EQ(context().errors.errNum, 0u);
    std::string text = ValueText(context(), result.value);
    ReleaseEval(context(), result);
    for (int i = 2; i < count; ++i)
      ReleaseEval(context(), arguments[i]);
    return text;
  }
  std::string Item(std::int32_t index, std::uint32_t list, const char* delimiter) {
    return Extract(kKeywordItemExtract, index, list, {TextValue(delimiter)});
  }
  std::string Field(std::int32_t index, std::uint32_t line, const char* delimiter) {
    return Extract(kKeywordItemExtractCsv, index, line, {IntegerValue(0), TextValue(delimiter)});
  }
  const ItemMemo& ListMemo() { return context().itemMemos[kItemMemoList]; }
};

TEST_F(ListWalkTest, TheTextAndDelimiterOfEachCallDecide) {
  std::uint32_t list = Text("aa,bb,cc,dd");
  const char* items[] = {"aa", "bb", "cc", "dd", ""};
  for (int i = 1; i <= 5; ++i)
    EXPECT_EQ(Item(i, list, ","), items[i - 1]) << i;
  EXPECT_EQ(Item(3, list, ","), "cc");
  EXPECT_EQ(ListMemo().textRef, list);
  EXPECT_EQ(ListMemo().item, 3);
  EXPECT_EQ(ListMemo().start, 6u);
  EXPECT_EQ(Item(3, list, ";"), "");
  EXPECT_EQ(Item(1, list, ";"), "aa,bb,cc,dd");
  EXPECT_EQ(Item(4, list, ","), "dd");
  EXPECT_EQ(Item(2, list, ","), "bb");
  EXPECT_EQ(Item(-1, list, ","), "dd");
  EXPECT_EQ(Item(0, list, ","), "");

  // The block is freed and the same block holds a new text of the same length, whose items
  // stand elsewhere: the remembered item is forgotten with the block.
  EXPECT_EQ(Item(3, list, ","), "cc");
  VFree(context(), list);
  EXPECT_EQ(ListMemo().textRef, 0u);
  std::uint32_t reused = Text("abcde,f,ghi");
  ASSERT_EQ(reused, list) << "the heap gives the freed block back";
  EXPECT_EQ(Item(3, reused, ","), "ghi");
  EXPECT_EQ(Item(2, reused, ","), "f");
  VFree(context(), reused);

  std::uint32_t line = Text("a;b,c;d");
  EXPECT_EQ(Field(2, line, ","), "c;d");
  EXPECT_EQ(Field(2, line, ";"), "b,c");
  EXPECT_EQ(Field(3, line, ";"), "d");
  EXPECT_EQ(Field(3, line, ","), "");
  EXPECT_EQ(Field(1, line, ";"), "a");
  VFree(context(), line);
  ExpectHeapSound();
}

TEST_F(ListWalkTest, EveryOrderOfIndexesGivesTheSameItems) {
  std::string text;
  for (int i = 1; i <= 300; ++i)
    text += (i > 1 ? "," : "") + std::to_string(i);
  std::uint32_t list = Text(text);
  std::vector<int> order;
  for (int i = 1; i <= 300; ++i)
    order.push_back(i);
  for (int i : {150, 151, 151, 299, 1, 300, 301, 2, 257, 256, 255, 3, 300})
    order.push_back(i);
  for (int i : order)
    EXPECT_EQ(Item(i, list, ","), i <= 300 ? std::to_string(i) : "") << i;
  EXPECT_EQ(Item(-1, list, ","), "300");
  EXPECT_EQ(Item(-2, list, ","), "");
  VFree(context(), list);

  std::string csv;
  for (int i = 1; i <= 300; ++i)
    csv += (i > 1 ? "," : "") + ("\"" + std::to_string(i) + ",\"\"x\"");
  std::uint32_t line = Text(csv);
  for (int i : order)
    EXPECT_EQ(Field(i, line, ","), i <= 300 ? std::to_string(i) + ",\"x" : "") << i;
  EXPECT_EQ(Field(-1, line, ","), "300,\"x");
  VFree(context(), line);
  ExpectHeapSound();
}

TEST_F(LongListTest, EveryItemOfALongListIsFound) {
  std::string list;
  for (int i = 1; i <= 3000; ++i)
    list += (i > 1 ? "," : "") + std::to_string(i);
  EXPECT_EQ(Call(kKeywordItemCount, {TextValue(list), TextValue(",")}), "3000");
  for (int i : {1, 2, 63, 64, 65, 100, 255, 256, 257, 1000, 2047, 2999, 3000})
    EXPECT_EQ(Call(kKeywordItemExtract, {IntegerValue(i), TextValue(list), TextValue(",")}),
              std::to_string(i));
  EXPECT_EQ(Call(kKeywordItemExtract, {IntegerValue(-1), TextValue(list), TextValue(",")}), "3000");
  EXPECT_EQ(Call(kKeywordItemExtract, {IntegerValue(3001), TextValue(list), TextValue(",")}), "");
  std::string removed =
      Call(kKeywordItemRemove, {IntegerValue(-1), TextValue(list), TextValue(",")});
  EXPECT_EQ(removed, list.substr(0, list.rfind(',')));
  std::string replaced = Call(
      kKeywordItemReplace, {TextValue("x"), IntegerValue(1500), TextValue(list), TextValue(",")});
  EXPECT_EQ(Call(kKeywordItemExtract, {IntegerValue(1500), TextValue(replaced), TextValue(",")}),
            "x");
  EXPECT_EQ(Call(kKeywordItemLocate, {TextValue("2222"), TextValue(list), TextValue(",")}), "2222");
  ExpectHeapSound();
}

}  // namespace
}  // namespace kel::testing
