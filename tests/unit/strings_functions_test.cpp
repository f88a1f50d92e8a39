// The Str... functions through the evaluator: results, their form and their errors, including
// the boundaries (empty texts, positions past the end, zero and negative counts).
#include <string>

#include "unit/strings_support.h"

namespace kel::testing {
namespace {

TEST_F(StringFunctionsTest, LengthsCountCharactersAndBytes) {
  constexpr StringCase cases[] = {
      {"StrLen(\"\")", "0", I, 0},
      {"StrLen(\"abc\")", "3", I, 0},
      {"StrCharCount(\"abc\")", "3", I, 0},
      {"StrLen(12345)", "5", I, 0},
      {"StrLen(" U("abcd") ")", "4", I, 0},
      {"StrByteCount(\"abc\", -1)", "3", I, 0},
      {"StrByteCount(" U("abc") ", -1)", "6", I, 0},
      {"StrByteCount(\"abc\", 0)", "3", I, 0},
      {"StrByteCount(" U("abc") ", 0)", "3", I, 0},
      {"StrByteCount(\"abc\", 1)", "6", I, 0},
      {"StrByteCount(\"\", 1)", "0", I, 0},
      {"StrByteCount(\"abc\", 2)", nullptr, I, 1809},
      {"StrByteCount(\"abc\", -2)", nullptr, I, 1809},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ComparisonsFollowTheLocaleOrder) {
  constexpr StringCase cases[] = {
      {"StrCmp(\"a\", \"b\")", "-1", I, 0},
      {"StrCmp(\"b\", \"a\")", "1", I, 0},
      {"StrCmp(\"abc\", \"abc\")", "0", I, 0},
      {"StrCmp(\"a\", \"A\")", "-1", I, 0},  // small letters first, not byte order
      {"StrCmp(\"B\", \"a\")", "1", I, 0},
      {"StrCmp(\"\", \"a\")", "-1", I, 0},
      {"StrCmp(\"\", \"\")", "0", I, 0},
      {"StriCmp(\"abc\", \"ABC\")", "0", I, 0},
      {"StriCmp(\"abc\", \"ABD\")", "-1", I, 0},
      {"StrCmp(" U("a") ", \"A\")", "-1", I, 0},
      {"StriCmp(" U("a") ", \"A\")", "0", I, 0},
      {"StrCmp(10, 9)", "-1", I, 0},  // compared as texts
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, SubstringsStayInsideTheText) {
  constexpr StringCase cases[] = {
      {"StrSub(\"abc\", 2, -1)", "bc", A, 0},    {"StrSub(\"abc\", 4, 1)", "", A, 0},
      {"StrSub(\"abc\", 0, 0)", "", A, 0},       {"StrSub(\"abc\", 0, 2)", "", A, 0},
      {"StrSub(\"abc\", 1, 10)", "abc", A, 0},   {"StrSub(\"abc\", 3, 1)", "c", A, 0},
      {"StrSub(\"abc\", 1, 0)", "", A, 0},       {"StrSub(\"abc\", 2, -2)", "", A, 0},
      {"StrSub(\"abc\", 9, -1)", "", A, 0},      {"StrSub(\"abc\", -1, -1)", "", A, 0},
      {"StrSub(\"\", 1, 1)", "", A, 0},          {"StrSub(\"abcdef\", 2, 3)", "bcd", A, 0},
      {"StrSub(" U("abc") ", 2, 1)", "b", W, 0}, {"StrSub(2.5, 2, 2)", ".5", A, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, IndexFindsForwardAndBackward) {
  constexpr StringCase cases[] = {
      {"StrIndex(\"abcabc\", \"bc\", 0, @BACKSCAN)", "5", I, 0},
      {"StrIndex(\"abcabc\", \"bc\", 0, @FWDSCAN)", "2", I, 0},
      {"StrIndex(\"abcabc\", \"bc\", 3, @FWDSCAN)", "5", I, 0},
      {"StrIndex(\"abcabc\", \"bc\", 4, @BACKSCAN)", "2", I, 0},  // must end by position 4
      {"StrIndex(\"abcabc\", \"bc\", 6, @BACKSCAN)", "5", I, 0},
      {"StrIndex(\"abcabc\", \"abc\", 2, @BACKSCAN)", "0", I, 0},
      {"StrIndex(\"abcabc\", \"\", 2, @FWDSCAN)", "2", I, 0},
      {"StrIndex(\"abcabc\", \"\", 0, @BACKSCAN)", "6", I, 0},
      {"StrIndex(\"\", \"a\", 0, @FWDSCAN)", "0", I, 0},
      {"StrIndex(\"\", \"\", 0, @FWDSCAN)", "0", I, 0},
      {"StrIndex(\"abc\", \"c\", 4, @FWDSCAN)", "0", I, 0},
      {"StrIndex(\"abc\", \"a\", -1, @FWDSCAN)", "0", I, 0},
      {"StrIndex(\"abc\", \"abcd\", 0, @FWDSCAN)", "0", I, 0},
      {"StrIndex(\"aaa\", \"aa\", 0, @BACKSCAN)", "2", I, 0},
      {"StrIndex(\"aaa\", \"aa\", 2, @FWDSCAN)", "2", I, 0},
      {"StrIndex(\"abc\", \"ABC\", 0, @FWDSCAN)", "0", I, 0},
      {"StrIndex(\"abc\", \"b\", 0, 7)", "2", I, 0},  // any non-zero direction scans backwards
      {"StrIndexNc(\"xABCx\", \"abc\", 0, @FWDSCAN)", "2", I, 0},
      {"StrIndexNc(\"abCabc\", \"BC\", 0, @BACKSCAN)", "5", I, 0},
      {"StrIndex(" U("abcabc") ", \"bc\", 0, @BACKSCAN)", "5", I, 0},
      {"StrIndexNc(" U("ABCABC") ", \"bc\", 3, @FWDSCAN)", "5", I, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ScanFindsAnyOfTheCharacters) {
  constexpr StringCase cases[] = {
      {"StrScan(\"a,b;c\", \",;\", 0, @BACKSCAN)", "4", I, 0},
      {"StrScan(\"a,b;c\", \",;\", 0, @FWDSCAN)", "2", I, 0},
      {"StrScan(\"a,b;c\", \",;\", 3, @FWDSCAN)", "4", I, 0},
      {"StrScan(\"a,b;c\", \",;\", 3, @BACKSCAN)", "2", I, 0},
      {"StrScan(\"a,b;c\", \",;\", 2, @FWDSCAN)", "2", I, 0},
      {"StrScan(\"abc\", \"\", 2, @FWDSCAN)", "2", I, 0},
      {"StrScan(\"\", \",\", 0, @FWDSCAN)", "0", I, 0},
      {"StrScan(\"abc\", \",\", 0, @FWDSCAN)", "0", I, 0},
      {"StrScan(\"abc\", \"a\", 4, @FWDSCAN)", "0", I, 0},
      {"StrScan(\"abc\", \"A\", 0, @FWDSCAN)", "0", I, 0},
      {"StrScan(" U("a,b;c") ", \";\", 0, @FWDSCAN)", "4", I, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, FillRepeatsTheFiller) {
  constexpr StringCase cases[] = {
      {"StrFill(\"ab\", 5)", "ababa", A, 0},
      {"StrFill(\"\", 3)", "   ", A, 0},
      {"StrFill(\"ab\", 0)", "", A, 0},
      {"StrFill(\"ab\", -4)", "", A, 0},
      {"StrFill(\"abc\", 2)", "ab", A, 0},
      {"StrFill(\"abc\", 6)", "abcabc", A, 0},
      {"StrFill(" U("xy") ", 3)", "xyx", W, 0},
      {"StrFill(\"ab\", 2000000000)", nullptr, A, 3096},  // more than the heap holds
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, FixCutsOrPadsToALength) {
  constexpr StringCase cases[] = {
      {"StrFix(\"abc\", \"xy\", 6)", "abcxyx", A, 0},
      {"StrFixChars(\"abc\", \"xy\", 6)", "abcxyx", A, 0},
      {"StrFixLeft(\"abc\", \"xy\", 6)", "xyxabc", A, 0},
      {"StrFixCharsL(\"abc\", \"xy\", 6)", "xyxabc", A, 0},
      {"StrFixLeft(\"abcdef\", \"x\", 3)", "def", A, 0},
      {"StrFix(\"abcdef\", \"x\", 3)", "abc", A, 0},
      {"StrFix(\"abc\", \"\", 5)", "abc  ", A, 0},
      {"StrFix(\"abc\", \"x\", 0)", "", A, 0},
      {"StrFix(\"abc\", \"x\", 3)", "abc", A, 0},
      {"StrFix(\"\", \"xy\", 3)", "xyx", A, 0},
      {"StrFix(\"abc\", \"x\", -1)", nullptr, A, 1571},
      {"StrFixLeft(\"abc\", \"x\", -1)", nullptr, A, 1571},
      {"StrFixBytes(\"abc\", \"xy\", 6)", "abcxyx", A, 0},
      {"StrFixBytes(\"abcdef\", \"xy\", 2)", "ab", A, 0},
      {"StrFixBytesL(\"abcdef\", \"x\", 3)", "def", A, 0},
      {"StrFixBytesL(\"abc\", \"xy\", 6)", "xyxabc", A, 0},
      {"StrFixBytes(\"abc\", \"x\", -2)", nullptr, A, 1571},
      {"StrFix(" U("abc") ", \"x\", 5)", "abcxx", W, 0},
      {"StrFixLeft(" U("abc") ", \"x\", 2)", "bc", W, 0},
      {"StrFixBytes(" U("abc") ", \"x\", 8)", "abcx", W, 0},
      {"StrFixBytesL(" U("abcdef") ", \"x\", 4)", "ef", W, 0},
      {"StrFixBytes(" U("abc") ", \"x\", 7)", nullptr, W, 1571},
      {"StrFixBytesL(" U("abc") ", \"x\", -2)", nullptr, W, 1571},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, InsertAndOverlayFillGaps) {
  constexpr StringCase cases[] = {
      {"StrInsert(\"abc\", \"XY\", \"-\", 6)", "abc--XY", W, 0},
      {"StrInsert(\"abc\", \"XY\", \"-\", -1)", "abcXY", W, 0},
      {"StrInsert(\"abc\", \"XY\")", "XYabc", W, 0},
      {"StrInsert(\"abc\", \"XY\", \"\", 2)", "aXYbc", W, 0},
      {"StrInsert(\"abc\", \"XY\", \"*\", 2, 4)", "aXY**bc", W, 0},
      {"StrInsert(\"abc\", \"XY\", \"*\", 2, 1)", "aXbc", W, 0},
      {"StrInsert(\"abc\", \"XY\", \"*\", 2, 0)", "abc", W, 0},
      {"StrInsert(\"\", \"XY\", \"12\", 4)", "121XY", W, 0},
      {"StrOverlay(\"abcdef\", \"XY\", \"\", 2)", "aXYdef", W, 0},
      {"StrOverlay(\"abc\", \"XY\", \"\", 3)", "abXY", W, 0},
      {"StrOverlay(\"abc\", \"XYZW\", \"\", 2, 2)", "aXY", W, 0},
      {"StrOverlay(\"ab\", \"XY\", \"12\", 5, 3)", "ab12XY1", W, 0},
      {"StrOverlay(\"abc\", \"XY\", \"\", -1)", "abcXY", W, 0},
      {"StrInsert(\"abc\", \"XY\", \"\", 0)", nullptr, W, 1826},
      {"StrOverlay(\"abc\", \"XY\", \"\", -2)", nullptr, W, 1826},
      {"StrInsert(\"abc\", \"XY\", \"\", 1, -1)", nullptr, W, 1827},
      {"StrInsert(\"a\", \"b\", \"\", 2000000000)", nullptr, W, 3096},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ReplaceNeverOverlaps) {
  constexpr StringCase cases[] = {
      {"StrReplace(\"aaaa\", \"aa\", \"b\")", "bb", A, 0},
      {"StrReplace(\"aaaaa\", \"aa\", \"b\")", "bba", A, 0},
      {"StrReplace(\"abc\", \"\", \"x\")", "abc", A, 0},
      {"StrReplace(\"\", \"a\", \"b\")", "", A, 0},
      {"StrReplace(\"abcabc\", \"bc\", \"\")", "aa", A, 0},
      {"StrReplace(\"abc\", \"abc\", \"xyz\")", "xyz", A, 0},
      {"StrReplace(\"aXa\", \"X\", \"--\")", "a--a", A, 0},
      {"StrReplace(\"abc\", \"ABC\", \"x\")", "abc", A, 0},
      {"StrReplace(\"a.b.c\", \".\", \"..\")", "a..b..c", A, 0},
      {"StrReplace(" U("abcabc") ", \"b\", \"-\")", "a-ca-c", W, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, CleanReplacesChosenCharacters) {
  constexpr StringCase cases[] = {
      {"StrClean(\"Hello World\", \"lo\", \"_\", @FALSE, 1)", "He___ W_r_d", A, 0},
      {"StrClean(\"Hello World\", \"LO\", \"_\", @TRUE, 1)", "Hello World", A, 0},
      {"StrClean(\"Hello World\", \"LO\", \"_\", @FALSE, 1)", "He___ W_r_d", A, 0},
      {"StrClean(\"Hello\", \"lo\", \"\", @TRUE, 2)", "llo", A, 0},
      {"StrClean(\"Hello\", \"lo\", \"<>\", @TRUE, 2)", "<><>llo", A, 0},
      {"StrClean(\"abc\", \"\", \"x\", @TRUE, 1)", "abc", A, 0},
      {"StrClean(\"abc\", \"\", \"x\", @TRUE, 2)", "xxx", A, 0},
      {"StrClean(\"abc\", \"b\", \"\", @TRUE, 1)", "ac", A, 0},
      {"StrClean(\"\", \"b\", \"x\", @TRUE, 2)", "", A, 0},
      {"StrClean(" U("abc") ", \"B\", \"-\", @FALSE, 1)", "a-c", W, 0},
      {"StrClean(\"abc\", \"b\", \"\", 2, 1)", nullptr, A, 1616},
      {"StrClean(\"abc\", \"b\", \"\", -1, 3)", nullptr, A, 1616},
      {"StrClean(\"abc\", \"b\", \"\", 1, 3)", nullptr, A, 1617},
      {"StrClean(\"abc\", \"b\", \"\", 0, 0)", nullptr, A, 1617},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, CountCountsOccurrencesThatBeginInTheRange) {
  constexpr StringCase cases[] = {
      {"StrCnt(\"aaaa\", \"aa\", 1, -1, 1)", "2", I, 0},
      {"StrCnt(\"aaaa\", \"aa\", 2, 1, 1)", "1", I, 0},  // positions 1 to 2
      {"StrCnt(\"aaaa\", \"aa\", 2, -1, 1)", "1", I, 0},
      {"StrCnt(\"aAaA\", \"aa\", 0, -1, 0)", "2", I, 0},
      {"StrCnt(\"aAaA\", \"aa\", 0, -1, 1)", "0", I, 0},
      {"StrCnt(\"abcabc\", \"abc\", 1, 4, 1)", "2", I, 0},  // the second runs past the end
      {"StrCnt(\"abc\", \"c\", 0, 0, 1)", "0", I, 0},
      {"StrCnt(\"abc\", \"bc\", 2, 2, 1)", "1", I, 0},
      {"StrCnt(\"\", \"a\", 9, 9, 0)", "0", I, 0},
      {"StrCnt(\"abc\", \"\", 9, 9, 0)", "0", I, 0},
      {"StrCnt(\"abc\", \"a\", 4, 1, 1)", nullptr, I, 1734},
      {"StrCnt(\"abc\", \"a\", -2, 1, 1)", nullptr, I, 1734},
      {"StrCnt(\"abc\", \"a\", 1, 4, 1)", nullptr, I, 1735},
      {"StrCnt(\"abc\", \"a\", 9, 9, 1)", nullptr, I, 1734},
      {"StrCnt(" U("xAxa") ", \"a\", 0, -1, 0)", "2", I, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, TrimAndCase) {
  constexpr StringCase cases[] = {
      {"StrTrim(\"  a b \t\")", "a b", A, 0},
      {"StrTrim(\" \t \")", "", A, 0},
      {"StrTrim(\"\")", "", A, 0},
      {"StrTrim(\"x\")", "x", A, 0},
      {"StrTrim(" U(" x ") ")", "x", W, 0},
      {"StrUpper(\"abc1\")", "ABC1", A, 0},
      {"StrLower(\"ABC1\")", "abc1", A, 0},
      {"StrUpper(\"\xE0\xE9\")", "\xC0\xC9", A, 0},
      {"StrLower(\"\xC0\")", "\xE0", A, 0},
      {"StrUpper(" U("ab") ")", "AB", W, 0},
      {"StrUpper(\"\")", "", A, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, TypeInfoCombinesCharacterClasses) {
  // The classes are read in the UTF-16 form wherever the system has it, so the results are
  // UTF-16 texts.
  constexpr StringCase cases[] = {
      {"StrTypeInfo(\"\", 0)", "0", W, 0},
      {"StrTypeInfo(\"\", 1)", "0", W, 0},
      {"StrTypeInfo(\"abc\", 0)", "898", W, 0},  // lower, hex digit, alphabetic, defined
      {"StrTypeInfo(\"abz\", 0)", "770", W, 0},
      {"StrTypeInfo(\"a1\", 0)", "640", W, 0},
      {"StrTypeInfo(\"a1\", 1)", "902", W, 0},
      {"StrTypeInfo(\" \", 0)", "584", W, 0},
      {"StrTypeInfo(\"\t\", 0)", "616", W, 0},
      {"StrTypeInfo(\"770\", -1)", "Lower Alpha", W, 0},
      {"StrTypeInfo(\"1023\", -1)", "Upper Lower Digit Space Punct Cntrl Blank HexDg Alpha", W, 0},
      {"StrTypeInfo(\"1\", -1)", "Upper Undef", W, 0},
      {"StrTypeInfo(\"0\", -1)", "Undef", W, 0},
      {"StrTypeInfo(\"x\", -1)", nullptr, W, 1824},
      {"StrTypeInfo(\"x\", 2)", nullptr, W, 1822},
      {"StrTypeInfo(\"x\", -2)", nullptr, W, 1822},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, WildcardSearches) {
  constexpr StringCase cases[] = {
      {"StrIndexWild(\"xxaxbxb\", \"a*b\", 0)", "3", I, 0},
      {"StrIndexWild(\"ABC\", \"b\", 0)", "2", I, 0},
      {"StrIndexWild(\"abc\", \"\", 0)", "1", I, 0},
      {"StrIndexWild(\"abc\", \"\", 2)", "2", I, 0},
      {"StrIndexWild(\"\", \"a\", 0)", "0", I, 0},
      {"StrIndexWild(\"abc\", \"d\", 0)", "0", I, 0},
      {"StrIndexWild(\"abc\", \"?\", 3)", "3", I, 0},
      {"StrIndexWild(\"abc\", \"??\", 3)", "0", I, 0},
      {"StrIndexWild(\"abc\", \"a\", 4)", "0", I, 0},
      {"StrIndexWild(\"abc\", \"*c\", 2)", "2", I, 0},
      {"StrLenWild(\"axbxb\", \"a*b\", 1)", "3", I, 0},
      {"StrLenWild(\"abc\", \"a*\", 1)", "3", I, 0},
      {"StrLenWild(\"xxb\", \"*?b\", 1)", "0", I, 0},  // no backtracking
      {"StrLenWild(\"abc\", \"\", 1)", "0", I, 0},
      {"StrLenWild(\"\", \"*\", 1)", "0", I, 0},
      {"StrLenWild(\"abc\", \"B\", 2)", "1", I, 0},
      {"StrLenWild(\"abc\", \"b?\", 2)", "2", I, 0},
      {"StrLenWild(\"abc\", \"a\", 0)", "1", I, 0},
      {"StrLenWild(\"abc\", \"*\", 4)", "0", I, 0},
      {"StrLenWild(\"abc\", \"abcd\", 1)", "0", I, 0},
      {"StrLenWild(\"abcd\", \"a*c\", 1)", "3", I, 0},
      {"StrLenWild(\"abc\", \"a?\", 1)", "2", I, 0},
      {"StrLenWild(\"ab\", \"ab*\", 1)", "2", I, 0},
      {"StrLenWild(\"ab\", \"ab?\", 1)", "0", I, 0},
      {"StrSubWild(\"axbxb\", \"a*b\", 1)", "axb", A, 0},
      {"StrSubWild(\"xAbc\", \"a*\", 2)", "Abc", A, 0},
      {"StrSubWild(\"abc\", \"z\", 1)", "", A, 0},
      {"StrSubWild(\"abc\", \"a\", 9)", "", A, 0},
      {"StrSubWild(" U("xAbc") ", \"a?\", 2)", "Ab", W, 0},
      {"StrIndexWild(" U("xxaxbxb") ", \"A*B\", 0)", "3", I, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ConcatenationReadsItsOwnArguments) {
  constexpr StringCase cases[] = {
      {"StrCat(\"a\", \"b\", \"c\")", "abc", A, 0},
      {"StrCat(\"a\")", "a", A, 0},
      {"StrCat(1, 2.5, \"x\")", "12.5x", A, 0},
      {"StrCat(\"a\", " U("b") ", 3)", "ab3", W, 0},
      {"StrCat(\"a\" : \"b\", (1 + 2))", "ab3", A, 0},
      {"StrCat(StrCat(\"a\", \"b\"), \"c\")", "abc", A, 0},
      {"StrCat(\"a\" \"b\")", nullptr, A, 2058},
      {"StrCat(\"a\", \"b\"", nullptr, A, 2058},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ConcatenationTakesUpTo1024Arguments) {
  auto call = [](int pieces) {
    std::string expression = "StrCat(";
    for (int i = 0; i < pieces; ++i)
      expression += i == 0 ? "7" : ",7";
    return expression + ")";
  };
  StringOutcome most = Evaluate(call(1024));
  EXPECT_EQ(most.error, 0u);
  EXPECT_EQ(most.text, std::string(1024, '7'));
  std::uint32_t inUse = HeapInUse();
  EXPECT_EQ(Evaluate(call(1025)).error, 2058u);
  EXPECT_EQ(HeapInUse(), inUse) << "the pieces read before the error are released";
  ExpectHeapSound();
}

TEST_F(StringFunctionsTest, ResultsAreNewStringsAndArgumentsStay) {
  // A variable's text passed in comes back unchanged, and the result is a block of its own.
  context().errors.errNum = 0;
  EvalValue value;
  ResetEval(value);
  BeginScan(context(), "s = \"  Mixed Case  \"");
  get_token(context());
  ProcessSubExpression(context(), value, true);
  ReleaseEval(context(), value);
  ASSERT_EQ(context().errors.errNum, 0u);
  for (const char* call : {"StrTrim(s)", "StrUpper(s)", "StrSub(s, 1, -1)",
                           "StrReplace(s, \"x\", \"y\")", "StrFix(s, \"\", 14)", "StrCat(s)"}) {
    StringOutcome outcome = Evaluate(call);
    EXPECT_EQ(outcome.error, 0u) << call;
    StringOutcome original = Evaluate("s");
    EXPECT_EQ(original.text, "  Mixed Case  ") << call;
  }
  ExpectHeapSound();
}

}  // namespace
}  // namespace kel::testing
