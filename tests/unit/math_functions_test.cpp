// The arithmetic functions through the evaluator: each expression's result, its kind (integer
// or float) and its error, the same on every build.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "core/batch_context.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/tokenizer.h"
#include "lang/value.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

constexpr std::uint32_t kInteger = kValueInteger;
constexpr std::uint32_t kFloat = kValueFloat;

struct Outcome {
  std::uint32_t error = 0;
  std::uint32_t kind = 0;  // kInteger or kFloat, as the result came back
  std::string text;        // the result's text form, when there was no error
  bool atEnd = false;      // the whole expression was read
};

// One expression and what it gives: a text and a kind, or an error number.
struct Case {
  const char* expression;
  const char* text;
  std::uint32_t kind;
  std::uint32_t error;
};

class MathFunctionsTest : public EngineFixture {
 protected:
  Outcome Evaluate(const std::string& expression) {
    Outcome outcome;
    EvalValue value;
    outcome.error = EvaluateExpression(expression, value, outcome.atEnd);
    if (outcome.error == 0) {
      outcome.kind = value.value.flags & (kValueInteger | kValueFloat | kValueText);
      if (ToText(context(), value.value)) outcome.text = ValueText(context(), value.value);
    }
    ReleaseEval(context(), value);
    context().errors.errNum = 0;
    return outcome;
  }

  void Check(const Case& c) {
    Outcome outcome = Evaluate(c.expression);
    EXPECT_EQ(outcome.error, c.error) << c.expression;
    if (c.error != 0) return;
    EXPECT_EQ(outcome.text, c.text) << c.expression;
    EXPECT_EQ(outcome.kind, c.kind) << c.expression;
    EXPECT_TRUE(outcome.atEnd) << c.expression;
  }
};

// The floating-point functions of one argument; printed with the default 8 digits.
constexpr Case kFloatFunctions[] = {
    {"Sqrt(2)", "1.41421356", kFloat, 0},
    {"Sqrt(0)", "0.0", kFloat, 0},
    {"Sqrt(\"16\")", "4.0", kFloat, 0},
    {"Sqrt(-1)", nullptr, 0, 1599},
    {"Sqrt(-1e-300)", nullptr, 0, 1599},
    {"Sin(0)", "0.0", kFloat, 0},
    {"Sin(@pi / 6)", "0.5", kFloat, 0},
    {"Sin(@pi)", "1.22464680e-016", kFloat, 0},
    {"Sin(1e22)", "-0.85220085", kFloat, 0},
    {"Sin(-1e300)", "0.81788191", kFloat, 0},
    {"Cos(0)", "1.0", kFloat, 0},
    {"Cos(@pi)", "-1.0", kFloat, 0},
    {"Cos(1e22)", "0.52321479", kFloat, 0},
    {"Tan(@pi / 4)", "1.0", kFloat, 0},
    {"Tan(1.5707963267948966)", "1.63312394e+016", kFloat, 0},
    {"Tan(-1)", "-1.55740772", kFloat, 0},
    {"ATan(1) * 4", "3.14159265", kFloat, 0},
    {"ATan(-1e300)", "-1.57079633", kFloat, 0},
    {"ASin(1)", "1.57079633", kFloat, 0},
    {"ASin(-0.5)", "-0.52359878", kFloat, 0},
    {"ASin(2)", nullptr, 0, 1341},
    {"ASin(-1.0000001)", nullptr, 0, 1341},
    {"ACos(-1)", "3.14159265", kFloat, 0},
    {"ACos(1)", "0.0", kFloat, 0},
    {"ACos(0.5)", "1.04719755", kFloat, 0},
    {"ACos(1.5)", nullptr, 0, 1341},
    {"Exp(1)", "2.71828183", kFloat, 0},
    {"Exp(0)", "1.0", kFloat, 0},
    {"Exp(10)", "22026.46579481", kFloat, 0},
    {"Exp(-1)", "0.36787944", kFloat, 0},
    {"Exp(709)", "8.21840746e+307", kFloat, 0},
    {"Exp(710)", nullptr, 0, 1342},
    {"Exp(-1000)", "0.0", kFloat, 0},
    {"LogE(@e)", "1.0", kFloat, 0},
    {"LogE(10)", "2.30258509", kFloat, 0},
    {"LogE(1)", "0.0", kFloat, 0},
    {"LogE(0)", nullptr, 0, 1344},
    {"LogE(-1)", nullptr, 0, 1599},
    {"Log10(1000)", "3.0", kFloat, 0},
    {"Log10(0.001)", "-3.0", kFloat, 0},
    {"Log10(2)", "0.30103", kFloat, 0},
    {"Log10(0)", nullptr, 0, 1344},
    {"Log10(-10)", nullptr, 0, 1599},
    {"SinH(1)", "1.17520119", kFloat, 0},
    {"SinH(-0.5)", "-0.52109531", kFloat, 0},
    {"SinH(1000)", nullptr, 0, 1342},
    {"SinH(-1000)", nullptr, 0, 1342},
    {"CosH(1)", "1.54308063", kFloat, 0},
    {"CosH(0)", "1.0", kFloat, 0},
    {"CosH(-1000)", nullptr, 0, 1342},
    {"TanH(1)", "0.76159416", kFloat, 0},
    {"TanH(1000)", "1.0", kFloat, 0},
    {"TanH(-1000)", "-1.0", kFloat, 0},
    {"Fabs(-2.5)", "2.5", kFloat, 0},
    {"Fabs(3)", "3.0", kFloat, 0},
    {"Fabs(0)", "0.0", kFloat, 0},
    {"Ceiling(2.1)", "3.0", kFloat, 0},
    {"Ceiling(-2.1)", "-2.0", kFloat, 0},
    {"Ceiling(-0.5)", "0.0", kFloat, 0},
    {"Ceiling(5)", "5.0", kFloat, 0},
    {"Floor(2.9)", "2.0", kFloat, 0},
    {"Floor(-2.1)", "-3.0", kFloat, 0},
    {"Floor(1e300)", "1.00000000e+300", kFloat, 0},
    // The argument must convert to a float.
    {"Sin(\"abc\")", nullptr, 0, 3340},
    {"Sqrt(\"1.5d3\")", nullptr, 0, 3340},
};

TEST_F(MathFunctionsTest, FloatFunctionsOfOneArgument) {
  for (const Case& c : kFloatFunctions)
    Check(c);
  ExpectHeapSound();
}

constexpr Case kIntegerFunctions[] = {
    {"Abs(-5)", "5", kInteger, 0},
    {"Abs(7)", "7", kInteger, 0},
    {"Abs(0)", "0", kInteger, 0},
    {"Abs(-2147483647)", "2147483647", kInteger, 0},
    // The most negative integer has no positive partner.
    {"Abs(-2147483648)", "-2147483648", kInteger, 0},
    {"Abs(\"-3\")", "3", kInteger, 0},
    {"Abs(-2.5)", "3", kInteger, 0},
    {"Abs(\"x\")", nullptr, 0, 3057},
    {"Int(3.7)", "4", kInteger, 0},
    {"Int(-2.5)", "-3", kInteger, 0},
    {"Int(2.4)", "2", kInteger, 0},
    {"Int(\"42\")", "42", kInteger, 0},
    {"Int(\"3.7\")", "4", kInteger, 0},
    {"Int(\"abc\")", nullptr, 0, 3057},
    {"Int(3e9)", nullptr, 0, 3057},
    {"Random(0)", "0", kInteger, 0},
    {"Random(-5)", "0", kInteger, 0},
};

TEST_F(MathFunctionsTest, AbsIntAndRandomEdges) {
  for (const Case& c : kIntegerFunctions)
    Check(c);
}

constexpr Case kNumberTests[] = {
    {"IsInt(\"12 \")", "0", kInteger, 0},
    {"IsInt(\"12\")", "1", kInteger, 0},
    {"IsInt(\" 42\")", "1", kInteger, 0},
    {"IsInt(\"-7\")", "1", kInteger, 0},
    {"IsInt(\"4 2\")", "0", kInteger, 0},
    {"IsInt(\"\")", "0", kInteger, 0},
    {"IsInt(\"+\")", "0", kInteger, 0},
    {"IsInt(\"1.5\")", "0", kInteger, 0},
    {"IsInt(5)", "1", kInteger, 0},
    {"IsInt(2.0)", "0", kInteger, 0},
    {"IsFloat(\"1.5\")", "1", kInteger, 0},
    {"IsFloat(5)", "1", kInteger, 0},
    {"IsFloat(2.5)", "1", kInteger, 0},
    {"IsFloat(\"1e5\")", "1", kInteger, 0},
    {"IsFloat(\"abc\")", "0", kInteger, 0},
    {"IsFloat(\"1.5 \")", "0", kInteger, 0},
    {"IsNumber(\"abc\")", "0", kInteger, 0},
    {"IsNumber(\"12\")", "1", kInteger, 0},
    {"IsNumber(\" 12\")", "1", kInteger, 0},
    {"IsNumber(\"1.5d3\")", "0", kInteger, 0},
    // Out of range: the text is no number, and the overflow it met is not left behind.
    {"IsNumber(\"1e400\")", "0", kInteger, 0},
    {"IsNumber(\"\")", "0", kInteger, 0},
    {"IsNumber(-3)", "1", kInteger, 0},
};

TEST_F(MathFunctionsTest, NumberTestsLeaveNoErrorBehind) {
  for (const Case& c : kNumberTests)
    Check(c);
  ExpectHeapSound();
}

constexpr Case kLists[] = {
    {"Max(1, 2, 3)", "3", kInteger, 0},
    {"Max(1, 2.5)", "2.5", kFloat, 0},
    {"Max(3, 2.5)", "3.0", kFloat, 0},
    {"Max(\"5\", 3)", "5", kInteger, 0},
    {"Max(\"2.5\", 1)", "2.5", kFloat, 0},
    {"Max(-7)", "-7", kInteger, 0},
    {"Min(1, 2, 3)", "1", kInteger, 0},
    {"Min(3, 2.5)", "2.5", kFloat, 0},
    {"Min(7)", "7", kInteger, 0},
    {"Min(2.5)", "2.5", kFloat, 0},
    {"Average(1, 2)", "2", kInteger, 0},
    {"Average(1.0, 2)", "1.5", kFloat, 0},
    {"Average(1, 2, 4)", "2", kInteger, 0},
    {"Average(1, 2, 3, 4)", "3", kInteger, 0},
    {"Average(-1, -2)", "-2", kInteger, 0},
    {"Average(-1, 2)", "1", kInteger, 0},
    {"Average(5)", "5", kInteger, 0},
    {"Average(1, 2, 3.0)", "2.0", kFloat, 0},
    // Arguments are whole expressions, and the call is an operand like any other.
    {"Max(1 + 1, 2 * 3)", "6", kInteger, 0},
    {"Max(Min(1, 2), Average(3, 5))", "4", kInteger, 0},
    {"Max(1, 2) + 1", "3", kInteger, 0},
    {"Max((1), (5))", "5", kInteger, 0},
    // Every float can win, however far below the others it lies.
    {"Max(-1e306, -1e307)", "-1.00000000e+306", kFloat, 0},
    {"Min(1e306, 1e307)", "1.00000000e+306", kFloat, 0},
    // The ends of the integer range come back as they went in.
    {"Max(2147483647)", "2147483647", kInteger, 0},
    {"Min(-2147483648, 0)", "-2147483648", kInteger, 0},
    {"Average(2147483647, 2147483647)", "2147483647", kInteger, 0},
    {"Average(-2147483648, -2147483647)", "-2147483648", kInteger, 0},
    // A sum beyond the float range still has its average.
    {"Average(1e308, 1e308)", "1.00000000e+308", kFloat, 0},
    // Separators and numbers.
    {"Max(1 2)", nullptr, 0, 2060},
    {"Min(1, 2 3)", nullptr, 0, 2060},
    {"Average(1; 2)", nullptr, 0, 2060},
    {"Max(1", nullptr, 0, 2060},
    {"Max(\"abc\", 1)", nullptr, 0, 3057},
    {"Average(1, \"abc\")", nullptr, 0, 3057},
    {"Min(1, \"2 \")", nullptr, 0, 3057},
};

TEST_F(MathFunctionsTest, MaxMinAndAverageReadTheirOwnLists) {
  for (const Case& c : kLists)
    Check(c);
  ExpectHeapSound();
}

TEST_F(MathFunctionsTest, AnEmptyListIsAnError) {
  for (const char* expression : {"Max()", "Min()", "Average()"})
    EXPECT_NE(Evaluate(expression).error, 0u) << expression;
}

TEST_F(MathFunctionsTest, RandomStaysWithinItsRangeAndReachesBothEnds) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    Outcome outcome = Evaluate("Random(1)");
    ASSERT_EQ(outcome.error, 0u);
    EXPECT_EQ(outcome.kind, kInteger);
    seen.insert(outcome.text);
  }
  EXPECT_EQ(seen, (std::set<std::string>{"0", "1"}));
  for (int i = 0; i < 500; ++i) {
    Outcome outcome = Evaluate("Random(10)");
    int drawn = std::stoi(outcome.text);
    EXPECT_GE(drawn, 0);
    EXPECT_LE(drawn, 10);
  }
  for (int i = 0; i < 200; ++i) {
    Outcome outcome = Evaluate("Random(2147483647)");
    EXPECT_GE(std::stoll(outcome.text), 0);
  }
}

}  // namespace
}  // namespace kel::testing
