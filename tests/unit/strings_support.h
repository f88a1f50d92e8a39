// Evaluating string-function calls through the evaluator for the string tests: the result's
// text, its form (integer, ANSI or UTF-16 text) and the error, the same on every build.
#ifndef KEL_TESTS_UNIT_STRINGS_SUPPORT_H
#define KEL_TESTS_UNIT_STRINGS_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/batch_context.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/evaluator.h"
#include "lang/string_heap.h"
#include "lang/tokenizer.h"
#include "lang/value.h"
#include "unit/engine_fixture.h"

namespace kel::testing {

// The form a result came back in.
enum class Form : char { None = '-', Integer = 'I', Ansi = 'A', Wide = 'W' };

struct StringOutcome {
  std::uint32_t error = 0;
  Form form = Form::None;
  std::string text;  // the result as ANSI text (UTF-16 results converted)
  std::u16string wide;
  bool atEnd = false;
};

// One call and what it gives: a text in a form, or an error number.
struct StringCase {
  const char* expression;
  const char* text;
  Form form;
  std::uint32_t error;
};

constexpr Form I = Form::Integer;
constexpr Form A = Form::Ansi;
constexpr Form W = Form::Wide;

// UTF-16 arguments are made with ChrStringToUnicode; U("x") writes that call.
#define U(text) "ChrStringToUnicode(\"" text "\")"

inline std::ostream& operator<<(std::ostream& out, Form form) {
  return out << static_cast<char>(form);
}

class StringFunctionsTest : public EngineFixture {
 protected:
  StringOutcome Evaluate(const std::string& expression) {
    StringOutcome outcome;
    EvalValue value;
    outcome.error = EvaluateExpression(expression, value, outcome.atEnd);
    if (outcome.error == 0) {
      std::uint32_t flags = value.value.flags;
      if ((flags & kValueWideText) != 0) {
        outcome.form = Form::Wide;
        outcome.wide = ValueWideText(context(), value.value);
      } else if ((flags & kValueText) != 0) {
        outcome.form = Form::Ansi;
      } else if ((flags & kValueInteger) != 0) {
        outcome.form = Form::Integer;
      }
      if (ToText(context(), value.value)) outcome.text = ValueText(context(), value.value);
    }
    ReleaseEval(context(), value);
    context().errors.errNum = 0;
    return outcome;
  }

  // Heap bytes in use: the same before and after a call when nothing leaked.
  std::uint32_t HeapInUse() {
    std::uint32_t freeBytes = 0;
    HeapWalk(context(), nullptr, &freeBytes);
    return context().heapEnd - freeBytes;
  }

  void Check(const StringCase& c) {
    std::uint32_t inUse = HeapInUse();
    StringOutcome outcome = Evaluate(c.expression);
    EXPECT_EQ(HeapInUse(), inUse) << "heap blocks left behind by " << c.expression;
    EXPECT_EQ(outcome.error, c.error) << c.expression;
    if (c.error != 0) return;
    EXPECT_EQ(outcome.text, c.text) << c.expression;
    EXPECT_EQ(outcome.form, c.form) << c.expression;
    EXPECT_TRUE(outcome.atEnd) << c.expression;
  }

  template <std::size_t N>
  void CheckAll(const StringCase (&cases)[N]) {
    for (const StringCase& c : cases)
      Check(c);
    ExpectHeapSound();
  }
};

}  // namespace kel::testing

#endif  // KEL_TESTS_UNIT_STRINGS_SUPPORT_H
