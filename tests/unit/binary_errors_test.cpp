// The errors of the binary buffer functions, each at the edge where it begins: offsets and
// counts at the size and the end of data, values just outside their range, forged tag
// structures, and record sizes that do not fit. A failing call must leave the buffer as it was.
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/exports.h"
#include "unit/strings_support.h"

namespace kel::testing {
namespace {

// The first buffers of a fresh context have these handles.
#define FIRST "987659"
#define SECOND "987660"

class BinaryErrorsTest : public StringFunctionsTest {
 protected:
  void SetUp() override {
    StringFunctionsTest::SetUp();
    // FIRST: 10 bytes, data "abc"; SECOND: 8 bytes, data 0F0F0F0F.
    ASSERT_EQ(Evaluate("BinaryAlloc(10)").text, FIRST);
    ASSERT_EQ(Evaluate("BinaryAlloc(8)").text, SECOND);
    ASSERT_EQ(Evaluate("BinaryPokeStr(" FIRST ", 0, \"abc\")").text, "3");
    ASSERT_EQ(Evaluate("BinaryPokeHex(" SECOND ", 0, \"0F0F0F0F\")").text, "4");
  }
  // Every failing case leaves both buffers untouched.
  void ExpectUnchanged() {
    EXPECT_EQ(Evaluate("BinaryPeekHex(" FIRST ", 0, 3)").text, "616263");
    EXPECT_EQ(Evaluate("BinaryEodGet(" FIRST ")").text, "3");
    EXPECT_EQ(Evaluate("BinaryPeekHex(" SECOND ", 0, 4)").text, "0F0F0F0F");
    EXPECT_EQ(Evaluate("BinaryEodGet(" SECOND ")").text, "4");
  }
};

TEST_F(BinaryErrorsTest, HandlesAndTheEndOfData) {
  constexpr StringCase cases[] = {
      {"BinaryPeek(987658, 0)", nullptr, I, 3023},
      {"BinaryPeek(987787, 0)", nullptr, I, 3023},
      {"BinaryPeek(987661, 0)", nullptr, I, 3023},
      {"BinaryFree(0)", nullptr, I, 3023},
      {"BinaryAlloc(-1)", nullptr, I, 1126},
      {"BinaryEodSet(" FIRST ", 11)", nullptr, I, 3127},
      {"BinaryEodSet(" FIRST ", -1)", nullptr, I, 1548},
      {"BinaryBufInfo(" FIRST ", 3)", nullptr, I, 1809},
      {"BinaryBufInfo(" FIRST ", -2)", nullptr, I, 1809},
      {"BinaryBufInfo(5, 0)", nullptr, I, 3023},
      {"BinaryBufInfo(\"x\", -1)", "0", I, 0},
  };
  CheckAll(cases);
  ExpectUnchanged();
}

TEST_F(BinaryErrorsTest, ValuesMustFitTheBufferAndTheirWidth) {
  constexpr StringCase cases[] = {
      {"BinaryPeek(" FIRST ", 10)", nullptr, I, 3325},
      {"BinaryPeek2(" FIRST ", 9)", nullptr, I, 3325},
      {"BinaryPeek4(" FIRST ", 7)", nullptr, I, 3325},
      {"BinaryPeekFlt(" FIRST ", 3)", nullptr, I, 3325},
      {"BinaryIncr4(" FIRST ", 7)", nullptr, I, 3325},
      {"BinaryPoke(" FIRST ", -1, 0)", nullptr, I, 1548},
      {"BinaryPoke(" FIRST ", 0, 256)", nullptr, I, 3326},
      {"BinaryPoke(" FIRST ", 0, -257)", nullptr, I, 3326},
      {"BinaryPoke2(" FIRST ", 0, 65536)", nullptr, I, 3326},
      {"BinaryPoke2(" FIRST ", 0, -65537)", nullptr, I, 3326},
      {"BinaryPokeFlt(" FIRST ", 3, 1.0)", nullptr, I, 3325},
  };
  CheckAll(cases);
  ExpectUnchanged();
}

TEST_F(BinaryErrorsTest, StringsAndHexStayInsideTheBuffer) {
  constexpr StringCase cases[] = {
      {"BinaryPokeStr(" FIRST ", 8, \"abc\")", nullptr, I, 2332},
      {"BinaryPokeStr(" FIRST ", -1, \"a\")", nullptr, I, 1548},
      {"BinaryPokeStrW(" FIRST ", 6, " U("abc") ")", nullptr, I, 2332},
      {"BinaryPeekStr(" FIRST ", 10, 1)", nullptr, I, 2331},
      {"BinaryPeekStr(" FIRST ", 10, 0)", "", A, 0},
      {"BinaryPeekStr(" FIRST ", 0, -1)", nullptr, I, 1549},
      {"BinaryPeekStrW(" FIRST ", 0, 3)", nullptr, I, 1765},
      {"BinaryPeekStrW(" FIRST ", 0, 4)", nullptr, I, 1766},
      {"BinaryPokeHex(" FIRST ", 0, \"ABC\")", nullptr, I, 1720},
      {"BinaryPokeHex(" FIRST ", 0, \"XY\")", nullptr, I, 1720},
      {"BinaryPokeHex(" FIRST ", 9, \"ABCD\")", nullptr, I, 1721},
      {"BinaryPeekHex(" FIRST ", 3, 1)", nullptr, I, 1550},
      {"BinaryPeekHex(" FIRST ", 1, 3)", nullptr, I, 1551},
      {"BinaryPeekHex(" FIRST ", 0, -1)", nullptr, I, 1549},
      {"BinaryPeekHex(" FIRST ", 10, 1)", nullptr, I, 1543},
      {"BinaryPeekHex(" FIRST ", 3, 0)", "", A, 0},
  };
  CheckAll(cases);
  ExpectUnchanged();
}

TEST_F(BinaryErrorsTest, RangesOfTwoBuffers) {
  constexpr StringCase cases[] = {
      {"BinaryCopy(" SECOND ", 8, " FIRST ", 0, 1)", nullptr, I, 3327},
      {"BinaryCopy(" SECOND ", 0, " FIRST ", 10, 1)", nullptr, I, 3327},
      {"BinaryCopy(" SECOND ", 5, " FIRST ", 0, 4)", nullptr, I, 3328},
      {"BinaryCopy(" SECOND ", 0, " FIRST ", 0, -1)", nullptr, I, 1549},
      {"BinaryCopy(" SECOND ", -1, " FIRST ", 0, 1)", nullptr, I, 1548},
      {"BinaryCopy(5, 0, " FIRST ", 0, 1)", nullptr, I, 3023},
      {"BinaryCompare(" FIRST ", 10, " SECOND ", 0, 1)", nullptr, I, 1543},
      {"BinaryCompare(" FIRST ", 0, " SECOND ", 4, 5)", nullptr, I, 1544},
      {"BinaryCompare(" FIRST ", 0, " SECOND ", 0, 4)", "0", I, 0},
      {"BinaryAnd(" SECOND ", 4, " FIRST ", 0, 1)", nullptr, I, 1550},
      {"BinaryOr(" SECOND ", 0, " FIRST ", 0, 4)", nullptr, I, 1551},
      {"BinaryXor(" SECOND ", 0, 5, 0, 1)", nullptr, I, 3023},
  };
  CheckAll(cases);
  ExpectUnchanged();
  // The source range is checked after the target's end of data has moved.
  EXPECT_EQ(Evaluate("BinaryCopy(" SECOND ", 0, " FIRST ", 7, 6)").error, 3329u);
  EXPECT_EQ(Evaluate("BinaryEodGet(" SECOND ")").text, "6");
}

TEST_F(BinaryErrorsTest, Searches) {
  constexpr StringCase cases[] = {
      {"BinaryIndex(" FIRST ", -1, \"a\", 0)", nullptr, I, 1548},
      {"BinaryIndex(" FIRST ", 10, \"a\", 0)", nullptr, I, 3333},
      {"BinaryIndexEx(" FIRST ", 9, \"a\", 0, 1)", "-1", I, 0},
      {"BinaryIndexEx(" FIRST ", 9, \"c\", 1, 1)", "2", I, 0},
      {"BinaryIndexBin(" FIRST ", 0, \"4G\", 0, 1)", nullptr, I, 1715},
      {"BinaryIndexBin(" FIRST ", 0, \"616\", 0, 1)", nullptr, I, 1715},
      {"BinaryIndexBin(" FIRST ", 0, 5, 0, 1)", nullptr, I, 1714},
      {"BinaryStrCnt(" FIRST ", 0, 10, \"a\")", nullptr, I, 3333},
      {"BinaryStrCnt(" FIRST ", 0, 3, \"a\")", nullptr, I, 1550},
      {"BinaryStrCnt(" FIRST ", -1, 2, \"a\")", nullptr, I, 1548},
      {"BinaryReplace(" FIRST ", \"b\", \"0123456789\", 1)", nullptr, I, 1614},
  };
  CheckAll(cases);
  ExpectUnchanged();
}

TEST_F(BinaryErrorsTest, RecordsChecksumsAndConversions) {
  constexpr StringCase cases[] = {
      {"BinarySort(" FIRST ", 0, 0, 1, 0)", nullptr, I, 1474},
      {"BinarySort(" FIRST ", 4, -1, 1, 0)", nullptr, I, 1475},
      {"BinarySort(" FIRST ", 4, 0, 0, 0)", nullptr, I, 1476},
      {"BinarySort(" FIRST ", 4, 1, 4, 0)", nullptr, I, 1477},
      {"BinarySort(" FIRST ", 4, 1, 0, 4)", nullptr, I, 1477},
      {"BinarySort(" FIRST ", 11, 0, 1, 0)", nullptr, I, 1478},
      {"BinaryHashRec(" FIRST ", 0, 0, 1, \"k\")", nullptr, I, 1474},
      {"BinaryHashRec(" FIRST ", 4, 0, 4, \"\")", nullptr, I, 1480},
      {"BinaryHashRec(" FIRST ", 4, 0, 2, \"abc\")", nullptr, I, 1481},
      {"BinaryChecksum(" FIRST ", 3)", nullptr, I, 1704},
      {"BinaryChecksum(" FIRST ", -1)", nullptr, I, 1704},
      {"BinaryXlate(" FIRST ", " SECOND ", 4)", nullptr, I, 1656},
      {"BinaryXlate(" FIRST ", " SECOND ", 0)", nullptr, I, 1657},
      {"BinaryXlate(" FIRST ", " SECOND ", 1)", nullptr, I, 1658},
      {"BinaryXlate(" FIRST ", " SECOND ", 2)", nullptr, I, 1659},
      {"BinaryXlate(" FIRST ", " SECOND ", 3)", nullptr, I, 1660},
      {"BinaryConvert(" FIRST ", 0, 4, 0, 0)", nullptr, I, 1553},
      {"BinaryConvert(" FIRST ", -1, 0, 0, 0)", nullptr, I, 1553},
      {"BinaryConvert(" FIRST ", 0, 0, 0, 4)", nullptr, I, 1554},
      {"BinaryConvert(" FIRST ", 0, 0, 0, 3)", nullptr, I, 1555},
      {"BinaryConvert(" FIRST ", 0, 3, 0, 0)", "6", I, 0},
      {"BinaryConvert(" FIRST ", 3, 0, 0, 0)", "3", I, 0},
      {"BinaryOleType(" FIRST ", 50, 0, 0, 0)", nullptr, I, 1516},
      {"BinaryOleType(" FIRST ", 100, 0, 0, 0)", nullptr, I, 1515},
      {"BinaryOleType(" FIRST ", 112, 0, 0, 0)", nullptr, I, 1514},
      {"BinaryOleType(" FIRST ", 401, 0, 0, 0)", nullptr, I, 1514},
  };
  CheckAll(cases);
  ExpectUnchanged();
  // Growing past the size: "abc" as UTF-16 needs 6 bytes, "abcdef" 12 of the 10.
  ASSERT_EQ(Evaluate("BinaryPokeStr(" FIRST ", 0, \"abcdef\")").text, "6");
  EXPECT_EQ(Evaluate("BinaryConvert(" FIRST ", 0, 3, 0, 0)").error, 1556u);
  EXPECT_EQ(Evaluate("BinaryEodGet(" FIRST ")").text, "6");
  ASSERT_EQ(Evaluate("BinaryEodSet(" SECOND ", 1)").text, "4");
  EXPECT_EQ(Evaluate("BinaryXlate(" SECOND ", " SECOND ", 2)").error, 1659u);
}

// A hash table whose size is no multiple of the record size: the bytes after the last whole
// record are never written, and a full table is 1482.
TEST_F(BinaryErrorsTest, HashRecordsStayInsideWholeRecords) {
  ASSERT_EQ(Evaluate("BinaryAlloc(13)").text, "987661");
  EXPECT_EQ(Evaluate("BinaryHashRec(987661, 8, 0, 8, \"abcdefgh\")").text, "0");
  EXPECT_EQ(Evaluate("BinaryHashRec(987661, 8, 0, 8, \"second\")").error, 1482u);
  EXPECT_EQ(Evaluate("BinaryPeekHex(987661, 8, 5)").text, "0000000000");
  EXPECT_EQ(Evaluate("BinaryHashRec(987661, 8, 0, 8, \"ABCDEFGH\")").text, "0");
}

TEST_F(BinaryErrorsTest, ForgedTagStructures) {
  StringOutcome tag = Evaluate("BinaryTagFind(BinaryTagInit(" FIRST ", \"a\", \"c\"))");
  ASSERT_EQ(tag.error, 0u);
  ASSERT_EQ(tag.text, "002800000000000000460001000100000001a c ");
  // Each forgery changes one field of the real structure.
  const std::string forgeries[] = {
      "",
      tag.text.substr(1),
      "0029" + tag.text.substr(4),
      tag.text.substr(0, 8) + "00000009" + tag.text.substr(16),
      tag.text.substr(0, 8) + "FFFFFFFF" + tag.text.substr(16),
      tag.text.substr(0, 16) + "0041" + tag.text.substr(20),
      tag.text.substr(0, 20) + "0000" + tag.text.substr(24),
      tag.text.substr(0, 20) + "0002" + tag.text.substr(24),
      tag.text.substr(0, 28) + "7FFFFFFF" + tag.text.substr(36),
      tag.text.substr(0, 28) + "0000000Z" + tag.text.substr(36),
      tag.text.substr(0, 4) + "0080" + tag.text.substr(8),
      tag.text.substr(0, 16) + "0049" + tag.text.substr(20),
  };
  for (const std::string& forged : forgeries) {
    for (const char* call : {"BinaryTagExtr(\"%s\", 0)", "BinaryTagFind(\"%s\")",
                             "BinaryTagRepl(\"%s\", \"x\")", "BinaryTagLen(\"%s\", 1)"}) {
      std::string expression = call;
      expression.replace(expression.find("%s"), 2, forged);
      EXPECT_EQ(Evaluate(expression).error, 1581u) << expression;
    }
  }
  ExpectUnchanged();
  constexpr StringCase cases[] = {
      {"BinaryTagInit(" FIRST ", \"\", \"x\")", nullptr, I, 1580},
      {"BinaryTagInit(" FIRST ", \"x\", \"\")", nullptr, I, 1580},
      {"BinaryTagLen(\"002800000000000000460001000100000001a c \", 2)", nullptr, I, 1655},
      {"BinaryTagIndex(\"002800000000000000460001000100000001a c \", -1)", nullptr, I, 1655},
      {"BinaryTagExtr(\"002800020000000000490001000100000000a c \", 0)", nullptr, I, 3023},
  };
  CheckAll(cases);
}

// The exported services: zlib data restored in place, and the buffer table for extenders.
TEST_F(BinaryErrorsTest, ExportedServices) {
  const char text[] = "in place, in place, in place, in place";
  std::vector<std::uint8_t> block(128);
  uLongf packed = static_cast<uLongf>(block.size());
  ASSERT_EQ(
      compress2(block.data(), &packed, reinterpret_cast<const Bytef*>(text), sizeof text - 1, 9),
      Z_OK);
  std::vector<std::uint8_t> kept = block;
  EXPECT_EQ(UncompressBuffer(block.data(), static_cast<std::int32_t>(packed), 10), -1);
  EXPECT_EQ(block, kept);
  block[3] ^= 0xFF;
  EXPECT_EQ(UncompressBuffer(block.data(), static_cast<std::int32_t>(packed), 128), -1);
  block[3] ^= 0xFF;
  ASSERT_EQ(UncompressBuffer(block.data(), static_cast<std::int32_t>(packed), 128),
            static_cast<std::int32_t>(sizeof text - 1));
  EXPECT_EQ(std::memcmp(block.data(), text, sizeof text - 1), 0);

  void* record = &context();
  EXPECT_EQ(DllBinaryServices(nullptr, 987659, 0, 4), -3);
  EXPECT_EQ(DllBinaryServices(record, 987659, 0, 4), 3);
  EXPECT_EQ(DllBinaryServices(record, 987659, 0, 5), 10);
  EXPECT_EQ(DllBinaryServices(record, 987659, 11, 6), -7);
  EXPECT_EQ(DllBinaryServices(record, 987659, 9, 6), 3);
  EXPECT_EQ(DllBinaryServices(record, 987661, 0, 4), -2);
  EXPECT_EQ(DllBinaryServices(record, 987659, 0, 9), -8);
  std::intptr_t made = DllBinaryServices(record, 0, 4, 1);
  EXPECT_EQ(made, 987661);
  EXPECT_EQ(Evaluate("BinaryBufInfo(987661, 0)").text, "4");
  EXPECT_EQ(DllBinaryServices(record, 987661, 0, 2), 0);
  EXPECT_EQ(Evaluate("BinaryBufInfo(987661, -1)").text, "0");
}

}  // namespace
}  // namespace kel::testing
