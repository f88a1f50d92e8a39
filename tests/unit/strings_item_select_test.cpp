// ItemSelect where no window manager can show its selection box: the function is not available.
#include "unit/strings_support.h"

namespace kel::testing {
namespace {

#ifndef _WIN32
TEST_F(StringFunctionsTest, ItemSelectIsNotAvailableWithoutAWindowManager) {
  StringOutcome outcome = Evaluate("ItemSelect(\"Pick one\", \"a,b,c\", \",\")");
  EXPECT_EQ(outcome.error, 3472u) << "no choice is made up";
  EXPECT_EQ(outcome.form, Form::None);
}
#endif

// The delimiter is checked before any box is shown, on every system.
TEST_F(StringFunctionsTest, ItemSelectRejectsALongDelimiter) {
  EXPECT_EQ(Evaluate("ItemSelect(\"Pick one\", \"a,b\", \",,\")").error, 1705u);
}

}  // namespace
}  // namespace kel::testing
