// The YmdHms form: what each check of the reader accepts, and the year setting that writes the
// results of the time functions with two digits.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "core/batch_context.h"
#include "functions/time/ymdhms.h"
#include "lang/eval_value.h"
#include "lang/value.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

struct ParseCase {
  const char* text;
  YmdHmsCheck check;
  bool expand;
  bool accepted;
  YmdHms fields;
};

TEST(YmdHmsTest, EachCheckAcceptsWhatItShould) {
  const ParseCase cases[] = {
      {"2013:05:07", kYmdHmsMoment, true, true, {2013, 5, 7, 0, 0, 0}},
      {"13:05:07:14:30:59", kYmdHmsMoment, true, true, {2013, 5, 7, 14, 30, 59}},
      {"13:05:07", kYmdHmsMoment, false, true, {13, 5, 7, 0, 0, 0}},
      {"50:1:1", kYmdHmsMoment, true, true, {1950, 1, 1, 0, 0, 0}},
      {"049:1:1", kYmdHmsMoment, true, true, {49, 1, 1, 0, 0, 0}},
      {"00:02:29", kYmdHmsMoment, true, true, {2000, 2, 29, 0, 0, 0}},
      {"1900:02:29", kYmdHmsMoment, true, false, {}},
      {"2013:02:29", kYmdHmsMoment, true, false, {}},
      {"2013:04:31", kYmdHmsMoment, true, false, {}},
      {"2013:00:01", kYmdHmsMoment, true, false, {}},
      {"2013:01:00", kYmdHmsMoment, true, false, {}},
      {"12013:01:01", kYmdHmsMoment, true, false, {}},
      {"2013:01:01:23:60:00", kYmdHmsMoment, true, false, {}},
      {"2013:01:01:24:00:00", kYmdHmsMoment, true, false, {}},
      {"2013:01:01:24:00:00", kYmdHmsDayOnly, true, true, {2013, 1, 1, 0, 0, 0}},
      {"2013:01:01:99:99:99", kYmdHmsDayOnly, true, true, {2013, 1, 1, 99, 99, 99}},
      {"2013:02:30:00:00:00", kYmdHmsDayOnly, true, false, {}},
      {"0:0:0:23:59:59", kYmdHmsTimeOfDay, false, true, {0, 0, 0, 23, 59, 59}},
      {"0:0:0:23:59:60", kYmdHmsTimeOfDay, false, false, {}},
      {"0:99:0:99:99:90000", kYmdHmsInterval, false, true, {0, 99, 0, 99, 99, 90000}},
      {"0:0:2147483647", kYmdHmsInterval, false, true, {0, 0, 2147483647, 0, 0, 0}},
      {"0:0:2147483648", kYmdHmsInterval, false, false, {}},
      {"2013::01", kYmdHmsInterval, false, false, {}},
      {":1:1", kYmdHmsInterval, false, false, {}},
      {"1:1:", kYmdHmsInterval, false, false, {}},
      {"1:1", kYmdHmsInterval, false, false, {}},
      {"1:1:1:1", kYmdHmsInterval, false, false, {}},
      {"1:1:1:1:1:1:1", kYmdHmsInterval, false, false, {}},
      {"1:1:1 ", kYmdHmsInterval, false, false, {}},
      {"1:-1:1", kYmdHmsInterval, false, false, {}},
      {"", kYmdHmsInterval, false, false, {}},
  };
  for (const ParseCase& c : cases) {
    YmdHms fields{};
    bool accepted = ParseYmdHms(c.text, std::strlen(c.text), fields, c.check, c.expand);
    EXPECT_EQ(accepted, c.accepted) << c.text;
    if (!accepted || !c.accepted) continue;
    EXPECT_EQ(fields.year, c.fields.year) << c.text;
    EXPECT_EQ(fields.month, c.fields.month) << c.text;
    EXPECT_EQ(fields.day, c.fields.day) << c.text;
    EXPECT_EQ(fields.hour, c.fields.hour) << c.text;
    EXPECT_EQ(fields.minute, c.fields.minute) << c.text;
    EXPECT_EQ(fields.second, c.fields.second) << c.text;
  }
}

TEST(YmdHmsTest, WritesFourOrTwoDigitYears) {
  char text[kYmdHmsBytes];
  YmdHms moment{2013, 5, 7, 4, 3, 2};
  ASSERT_EQ(FormatYmdHms(moment, true, text), 19u);
  EXPECT_STREQ(text, "2013:05:07:04:03:02");
  ASSERT_EQ(FormatYmdHms(moment, false, text), 17u);
  EXPECT_STREQ(text, "13:05:07:04:03:02");
  moment.year = 7;
  FormatYmdHms(moment, true, text);
  EXPECT_STREQ(text, "0007:05:07:04:03:02");
}

class TimeYearSettingTest : public EngineFixture {
 protected:
  std::string Evaluate(const std::string& expression) {
    EvalValue value;
    bool atEnd = false;
    std::uint32_t error = EvaluateExpression(expression, value, atEnd);
    std::string text;
    if (error == 0 && ToText(context(), value.value)) text = ValueText(context(), value.value);
    ReleaseEval(context(), value);
    return text;
  }
};

// With the setting off, every written date has a two-digit year; dates are still read with
// either.
TEST_F(TimeYearSettingTest, TwoDigitYearsWhenTheSettingIsOff) {
  EXPECT_EQ(context().fourDigitYear, 1) << "four digits from the start";
  context().fourDigitYear = 0;
  EXPECT_EQ(Evaluate("TimeAdd(\"2013:01:31\", \"0:1:0\")"), "13:02:28:00:00:00");
  EXPECT_EQ(Evaluate("TimeSubtract(\"13:01:01\", \"0:0:1\")"), "12:12:31:00:00:00");
  EXPECT_EQ(Evaluate("TimeJulToYmd(719529)"), "70:01:01:00:00:00");
  EXPECT_EQ(Evaluate("TimeDiff(\"2013:01:02\", \"2013:01:01\")"), "00:00:01:00:00:00");
  EXPECT_EQ(Evaluate("StrLen(TimeYmdHms())"), "17");
  context().fourDigitYear = 1;
  EXPECT_EQ(Evaluate("StrLen(TimeYmdHms())"), "19");
}

}  // namespace
}  // namespace kel::testing
