// Conversions between integer, float and text, and the text forms of numbers.
#include <cmath>
#include <cstring>
#include <limits>

#include "errors/error_numbers.h"
#include "lang/string_heap.h"
#include "lang/value.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

class ValueTest : public EngineFixture {
 protected:
  Value TextValue(const char* text) {
    Value value{};
    value.flags = kValueText;
    value.textRef = Text(text);
    return value;
  }
  Value FloatValue(double x) {
    Value value{};
    value.flags = kValueFloat;
    value.floatValue = x;
    return value;
  }
  std::string Format(double x, int decimals) {
    context().decimals = decimals;
    char buffer[kNumberTextBytes];
    if (!FormatFloat(context(), x, buffer)) return "<failed>";
    return buffer;
  }
};

TEST_F(ValueTest, FormatFloatFollowsTheDecimalsSetting) {
  struct Case {
    double x;
    int decimals;
    const char* text;
  } cases[] = {
      {2.0, -1, "2.0"},
      {1.5, -1, "1.5"},
      {1.0 / 3.0, -1, "0.33333333"},
      {1e10, -1, "1.00000000e+010"},
      {0.00001, -1, "1.00000000e-005"},
      {0.0001, -1, "0.0001"},
      {999999999.0, -1, "999999999.0"},
      {-0.0, -1, "0.0"},
      {0.0, -1, "0.0"},
      {-2.25, -1, "-2.25"},
      {1.0 / 3.0, 2, "0.33"},
      {2.0, 2, "2.00"},
      {2.5, 0, "3"},
      {-2.5, 0, "-3"},
      {3e9, 0, "3.e+009"},
      {0.00001, 4, "0.0000"},
      {0.00001, -4, "0.00001"},  // exponential for small values only under the default
      {1e10, -2, "1e+010"},
      {0.5, -2, "0.5"},
      {1.5, -3, "1.500000e+000"},
      {123456.789, 8, "123456.78900000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Format(c.x, c.decimals), c.text) << c.x << " with " << c.decimals;
}

TEST_F(ValueTest, FormatFloatRefusesNan) {
  EXPECT_EQ(Format(std::numeric_limits<double>::quiet_NaN(), -1), "<failed>");
  EXPECT_EQ(context().errors.errNum, kErrFloatNan);
}

TEST_F(ValueTest, DecimalsIsClampedWhenStored) {
  EXPECT_EQ(SetDecimals(context(), 12), -1);
  EXPECT_EQ(context().decimals, 8);
  SetDecimals(context(), -7);
  EXPECT_EQ(context().decimals, -1);
  SetDecimals(context(), -3);
  EXPECT_EQ(context().decimals, -3);
}

TEST_F(ValueTest, ToIntegerOfFloatsRoundsHalfAwayWithinTheNarrowRange) {
  struct Case {
    double x;
    bool ok;
    std::int32_t n;
  } cases[] = {{2147483645.4, true, 2147483645},
               {2147483646.0, false, 0},
               {-2147483645.0, true, -2147483645},
               {-2147483646.0, false, 0},
               {-2.5, true, -3},
               {2.5, true, 3},
               {2.4999, true, 2},
               {-0.4, true, 0}};
  for (const Case& c : cases) {
    Value value = FloatValue(c.x);
    EXPECT_EQ(ToInteger(context(), value, true), c.ok) << c.x;
    if (c.ok) {
      EXPECT_EQ(value.intValue, c.n) << c.x;
      EXPECT_EQ(value.flags & (kValueInteger | kValueFloat), kValueInteger);
    } else {
      EXPECT_EQ(value.flags & kValueInteger, 0u);
    }
  }
  Value value = FloatValue(1.0);
  EXPECT_FALSE(ToInteger(context(), value, false)) << "floats convert only where allowed";
}

TEST_F(ValueTest, ToIntegerOfTexts) {
  struct Case {
    const char* text;
    bool ok;
    std::int32_t n;
  } cases[] = {{"  42", true, 42}, {"-7", true, -7},   {"+3", true, 3},        {"42 ", false, 0},
               {"4 2", false, 0},  {"\t42", false, 0}, {"", false, 0},         {"+", false, 0},
               {"--5", true, 0},   {"0x10", false, 0}, {"4294967297", true, 1}};
  for (const Case& c : cases) {
    Value value = TextValue(c.text);
    EXPECT_EQ(ToInteger(context(), value, true), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(value.intValue, c.n) << c.text;
      EXPECT_EQ(value.flags & kValueText, kValueText) << "the text stays beside the number";
    }
    ReleaseValue(context(), value, 0, kHolderOther);
  }
}

TEST_F(ValueTest, ParseIntegerWrapsAndStopsAtTheFirstOtherCharacter) {
  EXPECT_EQ(ParseInteger("4294967297"), 1);
  EXPECT_EQ(ParseInteger("  -12abc"), -12);
  EXPECT_EQ(ParseInteger(u"  +34"), 34);
  EXPECT_EQ(ParseInteger("x"), 0);
}

TEST_F(ValueTest, ToFloatOfTexts) {
  struct Case {
    const char* text;
    bool ok;
    double x;
  } cases[] = {{"1.5", true, 1.5},  {" -2e3", true, -2000.0}, {".5", true, 0.5},
               {"7.", true, 7.0},   {"1.5d3", false, 0},      {"1.5 ", false, 0},
               {"1e400", false, 0}, {"1e-400", true, 0.0},    {"inf", false, 0},
               {"nan", false, 0},   {"0x1p3", false, 0},      {"", false, 0},
               {"e5", false, 0}};
  for (const Case& c : cases) {
    Value value = TextValue(c.text);
    context().errors.errNum = 0;
    EXPECT_EQ(ToFloat(context(), value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(context().errors.errNum, 0u) << "ToFloat leaves the error to its caller: " << c.text;
    if (c.ok) {
      EXPECT_EQ(value.floatValue, c.x) << c.text;
    }
    ReleaseValue(context(), value, 0, kHolderOther);
  }
  double x;
  EXPECT_FALSE(ParseFloat(context(), "1e400", &x));
  EXPECT_EQ(context().errors.errNum, kErrFloatTooLarge);
}

TEST_F(ValueTest, FormatIntegerInEveryRadix) {
  char buffer[kNumberTextBytes];
  char16_t wide[kNumberTextBytes];
  FormatInteger(-2147483648, buffer, 16);
  EXPECT_STREQ(buffer, "-2147483648");
  FormatInteger(255, buffer, 16);
  EXPECT_STREQ(buffer, "FF");
  FormatInteger(-5, buffer, 2);
  EXPECT_STREQ(buffer, "-101");
  FormatInteger(35, buffer, 36);
  EXPECT_STREQ(buffer, "Z");
  EXPECT_EQ(FormatInteger(1234, wide, 10), 4u);
  EXPECT_EQ(std::u16string(wide), u"1234");
}

TEST_F(ValueTest, ParseRadixAndNumberTexts) {
  EXPECT_EQ(ParseRadix("ff", 16), 255);
  EXPECT_EQ(ParseRadix("Zz", 36), 35 * 36 + 35);
  EXPECT_EQ(ParseRadix("", 10), 0);
  EXPECT_EQ(ParseRadix("12", 1), -1);
  EXPECT_EQ(ParseRadix("19", 8), -2);
  EXPECT_EQ(ParseRadix("-1", 10), -2);
  EXPECT_EQ(ParseRadix(u"101", 2), 5);
  for (const char* yes : {"", "  ", "-", " +12 \t", "\t7"})
    EXPECT_TRUE(IsIntegerText(yes)) << yes;
  for (const char* no : {"1 2", "1.0", "a", "--1"})
    EXPECT_FALSE(IsIntegerText(no)) << no;
  EXPECT_TRUE(IsHexText(" -aF09 "));
  EXPECT_FALSE(IsHexText("g"));
}

TEST_F(ValueTest, ConversionsAddRepresentations) {
  Value value{};
  value.flags = kValueInteger;
  value.intValue = -17;
  ASSERT_TRUE(ToText(context(), value));
  EXPECT_STREQ(ValueText(context(), value), "-17");
  ASSERT_TRUE(ToInteger(context(), value, false));
  EXPECT_EQ(value.flags, kValueInteger | kValueText);
  ASSERT_TRUE(ToWideText(context(), value));
  EXPECT_EQ(std::u16string(ValueWideText(context(), value)), u"-17");
  ReleaseValue(context(), value, 0, kHolderOther);
  EXPECT_EQ(value.flags, kValueInteger) << "only what was freed loses its bit";

  Value wide{};
  wide.flags = kValueWideText;
  wide.wideRef = HeapCopyWide(context(), u"caf\u00e9 12", 7);
  ASSERT_TRUE(ToText(context(), wide));
  EXPECT_STREQ(ValueText(context(), wide), "caf\xe9 12")
      << "UTF-16 narrows through the ANSI code page";
  ReleaseValue(context(), wide, 0, kHolderOther);

  Value real = FloatValue(0.1);
  ASSERT_TRUE(ToText(context(), real));
  EXPECT_STREQ(ValueText(context(), real), "0.1");
  ReleaseValue(context(), real, 0, kHolderOther);
  ExpectHeapSound();
}

TEST_F(ValueTest, CopyValueSharesOrDuplicatesTexts) {
  Value source = TextValue("shared");
  EvalValue copy{};
  ASSERT_TRUE(CopyValue(context(), source, copy.value, (0u << 16) | 5, kHolderSlot | kCopyToEval));
  EXPECT_EQ(copy.value.textRef, source.textRef);
  EXPECT_EQ(copy.originSlot, 5);
  EXPECT_EQ(copy.originFrame, 0);
  EvalValue duplicate{};
  ASSERT_TRUE(CopyValue(context(), source, duplicate.value, 0,
                        kHolderOther | kCopyToEval | kCopyDuplicateTexts));
  EXPECT_NE(duplicate.value.textRef, source.textRef);
  EXPECT_STREQ(ValueText(context(), duplicate.value), "shared");
  EXPECT_EQ(duplicate.originSlot, kOriginElement);
  EXPECT_EQ(duplicate.originElement, reinterpret_cast<std::uintptr_t>(&source));
  ReleaseValue(context(), duplicate.value, 0, kHolderEval);
  ReleaseValue(context(), source, 0, kHolderOther);
  ExpectHeapSound();
}

}  // namespace
}  // namespace kel::testing
