// A stop request ends a launch's wait for its program at once, and the program goes on.
#include <gtest/gtest.h>

#include <string>

#include "core/batch_context.h"
#include "lang/eval_value.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

class LaunchStopTest : public EngineFixture {};

TEST_F(LaunchStopTest, AStopEndsTheWaitAndLeavesTheProgramRunning) {
#ifndef KEL_ARGS_PROGRAM
  GTEST_SKIP() << "the launch tests' program is not at hand for this build";
#else
  // The program waits a while and ends on its own; the launch must not wait for it.
  context().stopRequested = 1;
  EvalValue value{};
  bool atEnd = false;
  std::string call = std::string("RunShell(\"") + KEL_ARGS_PROGRAM +
                     "\", \"- 3/2000\", \"\", @HIDDEN, @GETEXITCODE)";
  EXPECT_EQ(EvaluateExpression(call, value, atEnd), 0u);
  context().stopRequested = 0;
  EXPECT_EQ(value.value.intValue, static_cast<std::int32_t>(kNoExitCode));
  EXPECT_EQ(context().launch.lastExitCode, kNoExitCode);
  ReleaseEval(context(), value);
#endif
}

}  // namespace
}  // namespace kel::testing
