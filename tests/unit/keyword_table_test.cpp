// The keyword table's codes, rows and constants, and the keyword lookup.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/batch_context.h"
#include "lang/array_record.h"
#include "lang/keyword_table.h"
#include "lang/tokenizer.h"
#include "lang/variables.h"
#include "loader/definitions.h"
#include "loader/hidden_text.h"
#include "loader/line_reader.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

std::string NameOf(const KelKeywordRow& row) {
  return std::string(row.name, row.nameLength);
}

// Codes that the evaluator, the statement runner and the dispatcher rely on.
TEST(KeywordTableTest, CodesOthersRelyOn) {
  struct Pinned {
    std::uint16_t code;
    std::uint16_t expected;
    const char* name;
  };
  const Pinned pinned[] = {
      {kKeywordNot, 0, "!"},
      {kKeywordNotEqual, 1, "!="},
      {kKeywordAmpersand, 2, "&"},
      {kKeywordLogicalAnd, 3, "&&"},
      {kKeywordOpenParenthesis, 4, "("},
      {kKeywordCloseParenthesis, 5, ")"},
      {kKeywordAsterisk, 6, "*"},
      {kKeywordPower, 7, "**"},
      {kKeywordPlus, 8, "+"},
      {kKeywordComma, 9, ","},
      {kKeywordMinus, 10, "-"},
      {kKeywordDivide, 11, "/"},
      {kKeywordColon, 12, ":"},
      {kKeywordLess, 14, "<"},
      {kKeywordShiftLeft, 15, "<<"},
      {kKeywordLessEqual, 16, "<="},
      {kKeywordLessGreater, 17, "<>"},
      {kKeywordAssign, 18, "="},
      {kKeywordEqual, 19, "=="},
      {kKeywordGreater, 20, ">"},
      {kKeywordGreaterEqual, 21, ">="},
      {kKeywordShiftRight, 22, ">>"},
      {kKeywordInternalOleObject, 26, "?oleobject"},
      {kKeywordOpenBracket, 128, "["},
      {kKeywordCloseBracket, 129, "]"},
      {kKeywordCaret, 130, "^"},
      {kKeywordCall, 226, "call"},
      {kKeywordFor, 373, "for"},
      {kKeywordForEach, 374, "foreach"},
      {kKeywordMod, 424, "mod"},
      {kKeywordSwitch, 566, "switch"},
      {kKeywordWhile, 598, "while"},
      {kKeywordBar, 644, "|"},
      {kKeywordLogicalOr, 645, "||"},
      {kKeywordTilde, 646, "~"},
  };
  for (const Pinned& p : pinned) {
    EXPECT_EQ(p.code, p.expected) << p.name;
    const KelKeywordRow* row = KeywordRow(p.expected);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(NameOf(*row), p.name);
    EXPECT_EQ(row->id, p.expected);
  }
  EXPECT_EQ(kObjectReferenceCode, 26);
  EXPECT_EQ(KeywordRow(kKeywordCount), nullptr);
}

TEST(KeywordTableTest, RowsAreNumberedAndCountedByKind) {
  ASSERT_EQ(kKeywordCount, 647);
  std::size_t byKind[16] = {};
  for (std::uint32_t i = 0; i < kKeywordCount; ++i) {
    const KelKeywordRow& row = KeywordRows()[i];
    EXPECT_EQ(row.id, i);
    EXPECT_EQ(row.nameLength, std::strlen(row.name)) << i;
    ++byKind[row.kind & 0xF];
  }
  EXPECT_EQ(byKind[kRowOperator], 18u);
  EXPECT_EQ(byKind[kRowPrefixOperator], 6u);
  EXPECT_EQ(byKind[kRowFunction], 480u);
  EXPECT_EQ(byKind[kRowConstant], 100u);
  EXPECT_EQ(byKind[kRowCommand], 5u);
  EXPECT_EQ(byKind[kRowComparison], 7u);
  EXPECT_EQ(byKind[kRowNameFunction], 9u);
  EXPECT_EQ(byKind[kRowStructure], 22u);
  // "binaryand" stands before "binaryallocarray".
  EXPECT_EQ(kKeywordBinaryAnd + 1, kKeywordBinaryAllocArray);
  EXPECT_EQ(kKeywordBinaryAlloc + 1, kKeywordBinaryAnd);
}

TEST(KeywordTableTest, RowKinds) {
  struct Expected {
    std::uint16_t code;
    std::uint32_t kind;
  };
  const Expected cases[] = {
      {kKeywordMod, kRowOperator},         {kKeywordBy, kRowOperator},
      {kKeywordTilde, kRowPrefixOperator}, {kKeywordBeep, kRowCommand},
      {kKeywordYield, kRowCommand},        {kKeywordLessEqual, kRowComparison},
      {kKeywordDrop, kRowNameFunction},    {kKeywordInternalMakePointer, kRowNameFunction},
      {kKeywordIf, kRowStructure},         {kKeywordEndSelect, kRowStructure},
      {kKeywordStrSub, kRowFunction},      {kKeywordInternalOleObject, kRowFunction},
      {kKeywordAtTrue, kRowConstant},
  };
  for (const Expected& c : cases)
    EXPECT_EQ(KeywordRow(c.code)->kind, c.kind) << NameOf(*KeywordRow(c.code));
  // The two function rows that stand in for functions this product does not offer.
  EXPECT_EQ(KeywordRow(kKeywordReserved)->kind, kRowFunction | kRowNotAvailable);
  EXPECT_EQ(KeywordRow(kKeywordInternalReserved)->kind, kRowFunction | kRowNotAvailable);
}

// Argument types are 4 bits per argument, argument 1 lowest; counts are required + optional
// << 8, or 255 for a function that reads its own arguments.
TEST(KeywordTableTest, SignaturesBecomeTypeCodesAndCounts) {
  struct Expected {
    std::uint16_t code;
    std::uint32_t typesLow, typesHigh, counts;
  };
  const Expected cases[] = {
      {kKeywordStrSub, 0x006, 0, 3},                                  // tii
      {kKeywordArrayLocate, 0xF3, 0, 2 | (5 << 8)},                   // ax[iiiii]
      {kKeywordBinaryPokeFlt, 0x200, 0, 3},                           // iif
      {kKeywordRegQueryEx, 0x0770, 0, 4 | (1 << 8)},                  // inni[i]
      {kKeywordAskLine, 0x0666, 0, 3 | (1 << 8)},                     // ttt[i]
      {kKeywordRunWithLogon, 0x77700777, 0, 9},                       // nnniinnni
      {kKeywordDisplay, 0x880, 0, 3},                                 // imm
      {kKeywordFileDigest, 0x01015, 0, 3 | (2 << 8)},                 // wsi[si]
      {kKeywordDialogControlSet, 0xF0F0, 0, 4},                       // ixix
      {kKeywordObjectClrNew, 0xFFFFFFF5, 0xFFFFFFFF, 1 | (15 << 8)},  // w[x * 15]
      {kKeywordArraySwapElements, 0x3, 0, 11},                        // aiiiiiiiiii
      {kKeywordCreateObject, 0x55, 0, 1 | (1 << 8)},                  // w[w]
      {kKeywordDirAttrSetEx, 0x007, 0, 3},                            // nii
      {kKeywordStrCat, 0, 0, kReadsOwnArguments},                     // *
      {kKeywordInternalOleObject, 0, 0, kReadsOwnArguments},
      {kKeywordClipGet, 0, 0, 0},  // -
      {kKeywordArrInitialize, 0xF3, 0, 2},
      {kKeywordIntControl, 0x11110, 0, 5},  // issss
      {kKeywordMouseCoords, 0x11, 0, 2},
      {kKeywordWinPlace, 0x70000, 0, 5},  // iiiin
  };
  for (const Expected& c : cases) {
    const KelKeywordRow* row = KeywordRow(c.code);
    SCOPED_TRACE(NameOf(*row));
    EXPECT_EQ(row->argTypesLow, c.typesLow);
    EXPECT_EQ(row->argTypesHigh, c.typesHigh);
    EXPECT_EQ(row->argCounts, c.counts);
  }
}

// All 100 constants with their values; float and text constants are written as their codes.
TEST(KeywordTableTest, ConstantsAndTheirValues) {
  constexpr std::int64_t F = 0xF0F0F000, T = 0xFFF0F000;
  struct Constant {
    const char* name;
    std::int64_t value;
  };
  const Constant constants[] = {
      {"@aboveicons", 1000000001},
      {"@amc", F | 8},
      {"@arrange", 2},
      {"@ascending", 0},
      {"@avogadro", F | 9},
      {"@backscan", 1},
      {"@boltzmann", F | 10},
      {"@cancel", 1},
      {"@capslock", 20},
      {"@check", 2},
      {"@columns", 4},
      {"@cr", T | 2},
      {"@crlf", T | 0},
      {"@ctrl", 1},
      {"@deg2rad", F | 2},
      {"@descending", 16},
      {"@disable", 4},
      {"@e", F | 1},
      {"@electric", F | 11},
      {"@enable", 8},
      {"@eulers", F | 12},
      {"@extended", 4},
      {"@false", 0},
      {"@faraday", F | 13},
      {"@float8", 8},
      {"@fwdscan", 0},
      {"@getexitcode", 36},
      {"@getprocid", 35},
      {"@gftsec", F | 6},
      {"@gmtsec", F | 7},
      {"@goldenratio", F | 14},
      {"@gravitation", F | 15},
      {"@hidden", -1},
      {"@icon", 1},
      {"@lbutton", 4},
      {"@lclick", 513},
      {"@ldblclick", 515},
      {"@lf", T | 3},
      {"@lightmps", F | 19},
      {"@lightmtps", F | 16},
      {"@magfield", F | 17},
      {"@major", 1},
      {"@mbutton", 16},
      {"@mclick", 519},
      {"@mdblclick", 521},
      {"@minor", 0},
      {"@mplaylbutton", 4},
      {"@mplaylclk", 32},
      {"@mplayldblck", 64},
      {"@mplaymbutton", 16},
      {"@mplaymclk", 128},
      {"@mplaymdblck", 256},
      {"@mplayrbutton", 8},
      {"@mplayrclk", 512},
      {"@mplayrdblck", 1024},
      {"@multiple", 3},
      {"@no", 0},
      {"@noactivate", 4},
      {"@noresize", 1000000000},
      {"@normal", 2},
      {"@notify", 2},
      {"@nowait", 33},
      {"@numlock", 144},
      {"@off", 0},
      {"@on", 1},
      {"@open", 1},
      {"@parsec", F | 18},
      {"@parseonly", 2},
      {"@pi", F | 0},
      {"@planckergs", F | 5},
      {"@planckjoules", F | 4},
      {"@rad2deg", F | 3},
      {"@rbutton", 8},
      {"@rclick", 516},
      {"@rdblclick", 518},
      {"@regclasses", -2147483647 - 1},
      {"@regcurrent", -2147483647},
      {"@regmachine", -2147483646},
      {"@regroot", 1},
      {"@regusers", -2147483645},
      {"@rows", 3},
      {"@save", 0},
      {"@scrolllock", 145},
      {"@shift", 2},
      {"@single", 2},
      {"@sorted", 1},
      {"@stack", 1},
      {"@string", 0},
      {"@tab", T | 1},
      {"@tile", 2},
      {"@true", 1},
      {"@uncheck", 1},
      {"@unsorted", 0},
      {"@wait", 34},
      {"@wholesection", 692837},
      {"@word1", 1},
      {"@word2", 2},
      {"@word4", 4},
      {"@yes", 1},
      {"@zoomed", 3},
  };
  ASSERT_EQ(std::size(constants), 100u);
  std::size_t next = kKeywordAtAboveIcons;
  for (const Constant& c : constants) {
    const KelKeywordRow& row = KeywordRows()[next++];
    EXPECT_EQ(NameOf(row), c.name);
    EXPECT_EQ(row.kind, kRowConstant) << c.name;
    EXPECT_EQ(row.argCounts, static_cast<std::uint32_t>(c.value)) << c.name;
  }

  const double floats[kFloatConstantCount] = {
      3.141592653589793,
      2.718281828459045,
      0.017453292519943,
      57.29577951308232,
      6.6256e-34,
      6.6252e-27,
      32.174,
      9.80665,
      1.66043e-27,
      6.02252e+23,
      1.38054e-23,
      8.8541853e-12,
      0.5772156649015339,
      96487.0,
      1.618033988749895,
      6.67e-11,
      299792500.0,
      1.256637,
      206.265,
      186272.0,
  };
  for (std::size_t i = 0; i < kFloatConstantCount; ++i)
    EXPECT_EQ(kFloatConstants[i], floats[i]) << "float constant " << i;
  EXPECT_STREQ(kTextConstants[0], "\r\n");
  EXPECT_STREQ(kTextConstants[1], "\t");
  EXPECT_STREQ(kTextConstants[2], "\r");
  EXPECT_STREQ(kTextConstants[3], "\n");
}

class KeywordLookupTest : public EngineFixture {
 protected:
  void TearDown() override {
    context().hostKeywords = nullptr;
    context().tokenizer.extenderRowCount = 0;
    std::memset(ExtenderRows(), 0, kExtenderRowCapacity * sizeof(KelKeywordRow));
    EngineFixture::TearDown();
  }

  // The code LookupKeyword finds at the start of `text`, or -1; the length it matched.
  int Lookup(const char* text, bool wholeWord, std::size_t* length = nullptr) {
    BeginScan(context(), text);
    if (LookupKeyword(context(), wholeWord) == 0) return -1;
    EXPECT_EQ(ScanPosition(context()), text) << "the lookup does not move the scan pointer";
    if (length != nullptr) *length = context().tokenizer.matchedLength;
    return context().tokenizer.tokenCode;
  }

  static KelKeywordRow Row(const char* name) {
    KelKeywordRow row{};
    row.nameLength = static_cast<std::uint16_t>(std::strlen(name));
    std::strncpy(row.name, name, sizeof row.name - 1);
    return row;
  }

  // A one-dimensional array of `size` empty elements held by variable `name`.
  void MakeArray(const char* name, std::uint32_t size) {
    std::size_t bytes = sizeof(ArrayRecord) + size * sizeof(Value);
    platform::MemoryHandle block = platform::GlobalAllocate(bytes, platform::Fill::Zero);
    auto* record = static_cast<ArrayRecord*>(platform::GlobalLock(block));
    record->sizes[0] = size;
    record->dimensionCount = 1;
    record->elements = reinterpret_cast<Value*>(record + 1);
    record->elementCount = size;
    record->dataSize = static_cast<std::uint32_t>(size * sizeof(Value));
    SetVariable(context(), name, record, 0, kVariableArray);
  }
};

TEST_F(KeywordLookupTest, LongestMatchAndWholeWords) {
  struct Case {
    const char* text;
    bool wholeWord;
    int code;  // -1: not found
    std::size_t length;
  };
  const Case cases[] = {
      {"<=x", false, kKeywordLessEqual, 2},
      {"< =x", false, kKeywordLess, 1},
      {"<<2", false, kKeywordShiftLeft, 2},
      {"<>", false, kKeywordLessGreater, 2},
      {"**2", false, kKeywordPower, 2},
      {"&&b", false, kKeywordLogicalAnd, 2},
      {"&b", false, kKeywordAmpersand, 1},
      {"||", false, kKeywordLogicalOr, 2},
      {"#", false, -1, 0},
      {"strlen(x)", true, kKeywordStrLen, 6},
      {"StrLen (x)", true, kKeywordStrLen, 6},
      {"strlen2", true, -1, 0},  // a built-in's name followed by a digit is another name
      {"strlenx", true, -1, 0},
      {"strlen_", true, -1, 0},
      {"strlen@", true, -1, 0},
      {"binaryalloc(10)", true, kKeywordBinaryAlloc, 11},
      {"binaryallocarray(a)", true, kKeywordBinaryAllocArray, 16},
      {"binaryand(", true, kKeywordBinaryAnd, 9},
      {"@TRUE", true, kKeywordAtTrue, 5},
      {"@truex", true, -1, 0},
      {"mod 2", true, kKeywordMod, 3},
      {"modulus", true, -1, 0},
      {"EndIf", true, kKeywordEndIf, 5},
      {"end if", true, kKeywordEnd, 3},
      {"if(x)", true, kKeywordIf, 2},
      {"ends", true, kKeywordEnd, 3},  // without whole-word mode the prefix would do...
      {"?oleobject", false, kKeywordInternalOleObject, 10},
      {"obj.name", true, kObjectReferenceCode, 10},  // a dotted name is an object reference
      {"strlen.x", true, kObjectReferenceCode, 10},
      {"@x.y", true, kObjectReferenceCode, 10},
      {"abcdefghijklmnopqrstuvwxyz12345.x", true, -1, 0},  // over 30 characters: no reference
      {"plain[1]", true, -1, 0},                           // not an array variable
  };
  for (const Case& c : cases) {
    // ...so "ends" is only found when whole words are not asked for.
    if (std::strcmp(c.text, "ends") == 0) {
      EXPECT_EQ(Lookup(c.text, true), -1);
      std::size_t length = 0;
      EXPECT_EQ(Lookup(c.text, false, &length), kKeywordEnd);
      EXPECT_EQ(length, 3u);
      continue;
    }
    std::size_t length = 0;
    EXPECT_EQ(Lookup(c.text, c.wholeWord, &length), c.code) << c.text;
    if (c.code >= 0) {
      EXPECT_EQ(length, c.length) << c.text;
    }
  }
}

TEST_F(KeywordLookupTest, ArrayVariablesWithSubscriptsAreObjectReferences) {
  MakeArray("list", 3);
  SetVariable(context(), "number", nullptr, 7, kVariableInteger);
  char pointer[80];
  ASSERT_GT(MakePointerText(context(), "list", pointer, sizeof pointer), 0u);
  SetVariable(context(), "viaptr", pointer, 0, kVariableText);
  SetVariable(context(), "text", "not a pointer", 0, kVariableText);
  context().errors.errNum = 0;

  struct Case {
    const char* text;
    int code;
  };
  const Case cases[] = {
      {"list[1]", kObjectReferenceCode},
      {"LIST[ i + 1 ]", kObjectReferenceCode},
      {"list[f(1), a[2]]", kObjectReferenceCode},
      {"list[\"]\"]", kObjectReferenceCode},
      {"list[]", -1},     // an empty bracket is no subscript
      {"list[1", -1},     // nor is one that is never closed
      {"list [1]", -1},   // the bracket must follow the name
      {"number[1]", -1},  // not an array
      {"viaptr[0]", kObjectReferenceCode},
      {"text[0]", -1},
      {"unknown[0]", -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Lookup(c.text, true), c.code) << c.text;
  // Testing a text that is not a pointer leaves no error behind.
  EXPECT_EQ(context().errors.errNum, 0u);
}

TEST_F(KeywordLookupTest, HostTableIsSearchedLastAndOnlyForWholeWords) {
  KelKeywordRow rows[] = {Row("hostcmd"), Row("hostcmdlong"), Row("strlen"), Row("")};
  context().hostKeywords = rows;
  std::size_t length = 0;
  EXPECT_EQ(Lookup("hostcmd x", true, &length), kHostCodeBase + 0);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(Lookup("HostCmdLong(1)", true, &length), kHostCodeBase + 1);
  EXPECT_EQ(length, 11u);
  EXPECT_EQ(Lookup("hostcmdx", true), -1);
  EXPECT_EQ(Lookup("hostcmd", false), -1);
  // A built-in name hides the host's function of the same name.
  EXPECT_EQ(Lookup("strlen(x)", true), kKeywordStrLen);
  // The table ends at its first row without a name.
  KelKeywordRow ended[] = {Row("first"), Row(""), Row("hidden")};
  context().hostKeywords = ended;
  EXPECT_EQ(Lookup("hidden", true), -1);
  EXPECT_EQ(TokenRow(context(), kHostCodeBase + 0), &ended[0]);
  EXPECT_EQ(TokenRow(context(), kHostCodeBase + 2), nullptr);
}

TEST_F(KeywordLookupTest, ExtenderFunctionsComeAfterTheBuiltIns) {
  KelKeywordRow* rows = ExtenderRows();
  rows[0] = Row("extfunc");
  rows[1] = Row("extfuncmore");
  rows[2] = Row("strsub");
  EXPECT_EQ(Lookup("extfunc(1)", true), -1) << "no rows are in use yet";
  context().tokenizer.extenderRowCount = 3;
  std::size_t length = 0;
  EXPECT_EQ(Lookup("extfunc(1)", true, &length), kExtenderCodeBase + 0);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(Lookup("ExtFuncMore(1)", true), kExtenderCodeBase + 1);
  EXPECT_EQ(Lookup("extfuncmorex", true), -1);
  EXPECT_EQ(Lookup("strsub(a, 1, 2)", true), kKeywordStrSub);
  EXPECT_EQ(TokenRow(context(), kExtenderCodeBase + 1), &rows[1]);
  EXPECT_EQ(TokenRow(context(), kExtenderCodeBase + 3), nullptr);
  EXPECT_EQ(TokenRow(context(), kKeywordStrSub), KeywordRow(kKeywordStrSub));
}

// A built-in name hides a user-defined function of the same name, and a user-defined function
// hides an extender function.
TEST_F(KeywordLookupTest, UserDefinedFunctionsComeBetweenBuiltInsAndExtenders) {
  // Recorded as the run loop records them: from a hidden script text, line by line.
  std::string plain =
      "#DefineFunction MyFunc(a)\n#EndFunction\n"
      "#DefineFunction strlen(a)\n#EndFunction\n"
      "#DefineFunction shared()\n#EndFunction\n";
  std::vector<char> bytes(plain.begin(), plain.end());
  bytes.push_back('\0');
  HideText(context(), bytes.data(), bytes.size());
  ScriptText text{reinterpret_cast<std::uint8_t*>(bytes.data()),
                  static_cast<std::uint32_t>(plain.size()), 0, 0};
  char line[kLineBufferBytes];
  std::uint32_t next = 0, start = 0;
  while (ReadLine(context(), line, sizeof line, text, start, next) != 0)
    ASSERT_EQ(RecordDefinitionLine(context(), line, text, start, next), DefinitionLine::Recorded);
  ExtenderRows()[0] = Row("shared");
  context().tokenizer.extenderRowCount = 1;

  std::size_t length = 0;
  EXPECT_EQ(Lookup("myfunc(1)", true, &length), kDefinitionCodeBase + 0);
  EXPECT_EQ(length, 6u);
  EXPECT_EQ(Lookup("MYFUNC (1)", true), kDefinitionCodeBase + 0);
  EXPECT_EQ(Lookup("myfunc2(1)", true), -1);
  EXPECT_EQ(Lookup("strlen(x)", true), kKeywordStrLen);
  EXPECT_EQ(Lookup("shared()", true), kDefinitionCodeBase + 2);
  EXPECT_EQ(TokenRow(context(), kDefinitionCodeBase + 0), nullptr);
}

}  // namespace
}  // namespace kel::testing
