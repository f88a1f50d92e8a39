// The script-parameter splitter.
#include <string>
#include <vector>

#include "lang/script_parameters.h"
#include "lang/variables.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

class ParametersTest : public EngineFixture {
 protected:
  std::vector<std::string> Pieces() {
    std::vector<std::string> pieces;
    char buffer[256];
    if (!VariableText(context(), "param0", buffer, sizeof buffer)) return {"<no Param0>"};
    int count = std::stoi(buffer);
    for (int k = 1; k <= count; ++k) {
      std::string name = "param" + std::to_string(k);
      pieces.push_back(VariableText(context(), name.c_str(), buffer, sizeof buffer) ? buffer
                                                                                    : "<missing>");
    }
    return pieces;
  }
};

TEST_F(ParametersTest, SplitsOnBlanksAndHonoursQuotes) {
  struct Case {
    const char* text;
    std::vector<std::string> pieces;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b\tc", {"a", "b", "c"}},
      {"  lead trail  ", {"lead", "trail"}},
      {"\"two words\" next", {"two words", "next"}},
      {"'single' `back tick`", {"single", "back tick"}},
      {"pre\"fix mid\"post", {"prefix midpost"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"'it''s'", {"it's"}},
      {"\"it's\"", {"it's"}},
      {"\"\"", {""}},
      {"\"unclosed quote", {"unclosed quote"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitParameters(context(), c.text), static_cast<int>(c.pieces.size())) << c.text;
    EXPECT_EQ(Pieces(), c.pieces) << c.text;
  }
}

TEST_F(ParametersTest, ASecondSplitRemovesTheFirstPieces) {
  SplitParameters(context(), "a b c d");
  std::uint16_t count = context().varCount;
  SplitParameters(context(), "x");
  EXPECT_EQ(Pieces(), std::vector<std::string>{"x"});
  EXPECT_EQ(FindSlot(context(), "param4"), kNoSlot);
  EXPECT_LT(context().varCount, count) << "the freed top slots are given back";
  ExpectHeapSound();
}

TEST_F(ParametersTest, WideTextsBecomeWideVariables) {
  EXPECT_EQ(SplitParameters(context(), u"\u00e9t\u00e9 \"deux mots\""), 2);
  std::uint16_t slot = FindSlot(context(), "param2");
  ASSERT_NE(slot, kNoSlot);
  EXPECT_EQ(context().varSlots[slot].value.flags, kValueWideText);
  EXPECT_EQ(Pieces(), (std::vector<std::string>{"\xe9t\xe9", "deux mots"}));
}

}  // namespace
}  // namespace kel::testing
