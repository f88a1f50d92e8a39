// The character and code-page functions through the evaluator: codes, hex texts in both byte
// orders, the conversion code page and its errors.
#include "unit/strings_support.h"

namespace kel::testing {
namespace {

TEST_F(StringFunctionsTest, CharacterCodes) {
  constexpr StringCase cases[] = {
      {"Char2Num(\"A\")", "65", I, 0}, {"Char2Num(\"Abc\")", "65", I, 0},
      {"Char2Num(\"\")", "0", I, 0},   {"Char2Num(\"\xE9\")", "233", I, 0},
      {"Char2Num(7)", "55", I, 0},     {"Num2Char(65)", "A", A, 0},
      {"Num2Char(321)", "A", A, 0},  // the low byte
      {"Num2Char(233)", "\xE9", A, 0}, {"Num2Char(0)", "", A, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, HexTexts) {
  constexpr StringCase cases[] = {
      {"ChrHexToString(\"417a\")", "Az", A, 0},
      {"ChrHexToString(\"417A\")", "Az", A, 0},
      {"ChrHexToString(\"\")", "", A, 0},
      {"ChrHexToString(\"4\")", nullptr, A, 1819},
      {"ChrHexToString(\"4G\")", nullptr, A, 1819},
      {"ChrHexToString(\" 41\")", nullptr, A, 1819},
      {"ChrHexToUnicode(\"4100\")", "A", W, 0},
      {"ChrHexToUnicode(\"0041\", 1)", "A", W, 0},
      {"ChrHexToUnicode(\"41004200\", 0)", "AB", W, 0},
      {"ChrHexToUnicode(\"\")", "", W, 0},
      {"ChrHexToUnicode(\"41\")", nullptr, W, 1819},
      {"ChrHexToUnicode(\"410042\")", nullptr, W, 1819},
      {"ChrHexToUnicode(\"41x0\")", nullptr, W, 1819},
      {"ChrStringToHex(\"Az\")", "417A", A, 0},
      {"ChrStringToHex(\"\xE9\")", "E9", A, 0},
      {"ChrStringToHex(\"\")", "", A, 0},
      {"ChrUnicodeToHex(ChrHexToUnicode(\"4100\"))", "4100", W, 0},
      {"ChrUnicodeToHex(\"A\", 1)", "0041", W, 0},
      {"ChrUnicodeToHex(\"\xE9\", 0)", "E900", W, 0},
      {"ChrUnicodeToHex(ChrHexToUnicode(\"AC20\"), 1)", "20AC", W, 0},
      {"ChrUnicodeToHex(\"\")", "", W, 0},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, ConversionsUseTheCodePage) {
  constexpr StringCase cases[] = {
      {"ChrStringToUnicode(\"abc\")", "abc", W, 0},
      {"ChrStringToUnicode(\"\")", "", W, 0},
      {"ChrUnicodeToString(ChrStringToUnicode(\"abc\"))", "abc", A, 0},
      {"ChrUnicodeToString(\"abc\")", "abc", A, 0},
      // The euro sign is byte 128 in the system code page.
      {"Char2Num(ChrUnicodeToString(ChrHexToUnicode(\"AC20\")))", "128", I, 0},
      {"ChrGetCodePage(0)", "0", I, 0},
      {"ChrGetCodePage(1)", "1252", I, 0},
      {"ChrGetCodePage(2)", "1252", I, 0},
      {"ChrGetCodePage(3)", nullptr, I, 1809},
      {"ChrGetCodePage(-1)", nullptr, I, 1809},
  };
  CheckAll(cases);
}

TEST_F(StringFunctionsTest, SetCodePageReturnsThePreviousOne) {
  EXPECT_EQ(Evaluate("ChrSetCodePage(65001)").text, "0");
  EXPECT_EQ(context().codePage, 65001u);
  EXPECT_EQ(Evaluate("ChrGetCodePage(0)").text, "65001");
  // In UTF-8 the euro sign takes three bytes.
  EXPECT_EQ(Evaluate("StrByteCount(ChrHexToUnicode(\"AC20\"), 0)").text, "3");
  EXPECT_EQ(Evaluate("ChrStringToHex(ChrUnicodeToString(ChrHexToUnicode(\"AC20\")))").text,
            "E282AC");
  EXPECT_EQ(Evaluate("ChrSetCodePage(0)").text, "65001");
  EXPECT_EQ(context().codePage, 0u);
  ExpectHeapSound();
}

// Double-byte text (Shift-JIS here): a lead byte and its second byte are one character, and a
// second byte that equals an ASCII character is never taken for it.
TEST_F(StringFunctionsTest, DoubleByteCharactersAreNeverSplit) {
  ASSERT_EQ(Evaluate("ChrSetCodePage(932)").error, 0u);
  // "\x83\x5C" is one character whose second byte is a backslash; "\x82\xA0" another.
  constexpr StringCase cases[] = {
      {"StrLen(\"a\x83\x5C"
       "b\")",
       "3", I, 0},
      {"StrSub(\"a\x83\x5C"
       "b\", 2, 1)",
       "\x83\x5C", A, 0},
      {"StrIndex(\"a\x83\x5C"
       "b\\\", \"\\\", 0, @FWDSCAN)",
       "4", I, 0},
      {"StrScan(\"a\x83\x5C"
       "b\\\", \"\\\", 0, @FWDSCAN)",
       "4", I, 0},
      {"ItemCount(\"\x83\x5C\\x\", \"\\\")", "2", I, 0},
      {"ItemExtract(1, \"\x83\x5C\\x\", \"\\\")", "\x83\x5C", A, 0},
      {"StrReplace(\"\x83\x5C\\\", \"\\\", \"/\")", "\x83\x5C/", A, 0},
      {"StrFixBytes(\"a\x82\xA0"
       "b\", \"x\", 2)",
       "a", A, 0},  // one byte short
      {"StrFixBytesL(\"a\x82\xA0"
       "b\", \"x\", 2)",
       "b", A, 0},
      {"StrFixBytes(\"a\", \"\x82\xA0\", 4)", "a\x82\xA0", A, 0},
      {"StrFix(\"a\", \"\x82\xA0\", 3)", "a\x82\xA0\x82\xA0", A, 0},
      {"StrLenWild(\"\x82\xA0"
       "b\", \"?b\", 1)",
       "3", I, 0},
  };
  CheckAll(cases);
  Evaluate("ChrSetCodePage(0)");
}

}  // namespace
}  // namespace kel::testing
