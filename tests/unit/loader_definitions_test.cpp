// Recording #DefineFunction and #DefineSubroutine blocks.
#include <string>
#include <vector>

#include "errors/error_numbers.h"
#include "loader/definitions.h"
#include "unit/engine_fixture.h"
#include "unit/loader_support.h"

namespace kel::testing {
namespace {

class LoaderDefinitionsTest : public EngineFixture {
 protected:
  // Hands the "#" lines of a text to the recorder as the run loop does; the first error, or 0.
  std::uint32_t Record(const std::string& plain) {
    HiddenText hidden(context(), plain);
    ScriptText text = hidden.text();
    char line[kLineBufferBytes];
    std::uint32_t next = 0, start = 0;
    context().errors.errNum = 0;
    while (ReadLine(context(), line, sizeof line, text, start, next) != 0) {
      if (line[0] != '#') continue;
      if (RecordDefinitionLine(context(), line, text, start, next) == DefinitionLine::Failed)
        return context().errors.errNum;
    }
    return 0;
  }
  // Starts again with no definitions and no open block.
  void Forget() { ReleaseDefinitions(context()); }
  std::vector<std::string> BodyLines(std::uint16_t index) {
    ScriptText body{};
    if (!LockDefinitionBody(context(), index, body)) return {"<no body>"};
    std::vector<std::string> lines;
    for (const ReadLineResult& line : ReadAllLines(context(), body))
      lines.push_back(line.text);
    ReleaseDefinitionBody(context(), index);
    return lines;
  }
};

TEST_F(LoaderDefinitionsTest, HeadersGiveNameKindAndParameters) {
  // Parameter names are kept the way the variable table names them: in lower case.
  struct Case {
    const char* text;
    const char* name;
    bool subroutine;
    std::vector<std::string> params;
  } cases[] = {
      {"#DefineFunction f(a, b ,c)\n#EndFunction", "f", false, {"a", "b", "c"}},
      {"#DefineFunction Name()  ; a comment\n#EndFunction", "name", false, {}},
      {"#DefineFunctionG(x)\n#EndFunction", "g", false, {"x"}},
      {"#definesubroutine S ( p )\t\n#endsubroutine", "s", true, {"p"}},
      {"#DefineSubroutine both(Left,Right);x\n#EndFunction", "both", true, {"left", "right"}},
  };
  for (const Case& c : cases) {
    Forget();
    std::snprintf(context().scriptPath, sizeof context().scriptPath, "%s", "c:\\defs.kel");
    ASSERT_EQ(Record(c.text), 0u) << c.text;
    ASSERT_EQ(context().loader.udfCount, 1u) << c.text;
    EXPECT_EQ(context().loader.udfDefining, 0u);
    const UdfRecord* record = DefinitionRecord(context(), 0);
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->name, c.name);
    EXPECT_EQ(record->udfNameLength, std::strlen(c.name));
    EXPECT_EQ(record->isSubroutine, c.subroutine ? 1u : 0u);
    EXPECT_EQ(record->lastAssigned, -1);
    EXPECT_STREQ(record->file, "c:\\defs.kel");
    std::vector<std::string> params(record->params, record->params + record->paramCount);
    EXPECT_EQ(params, c.params) << c.text;
  }
}

TEST_F(LoaderDefinitionsTest, BadHeadersAreSyntaxErrors) {
  std::string sixteen, seventeen;
  for (int i = 0; i < 17; ++i) {
    std::string param = (i ? "," : "") + std::string("p") + std::to_string(i);
    if (i < 16) sixteen += param;
    seventeen += param;
  }
  std::string name30(30, 'n'), name31(31, 'n');
  struct Case {
    std::string header;
    std::uint32_t error;
  } cases[] = {
      {"#DefineFunction f(a,,b)", kErrDefineFunctionSyntax},
      {"#DefineFunction f(a,)", kErrDefineFunctionSyntax},
      {"#DefineFunction f(,a)", kErrDefineFunctionSyntax},
      {"#DefineFunction f", kErrDefineFunctionSyntax},
      {"#DefineFunction (a)", kErrDefineFunctionSyntax},
      {"#DefineFunction", kErrDefineFunctionSyntax},
      {"#DefineFunction f(a) x", kErrDefineFunctionSyntax},
      {"#DefineFunction f(a", kErrDefineFunctionSyntax},
      {"#DefineFunction f(a b)", kErrDefineFunctionSyntax},
      {"#DefineFunction f x(a)", kErrDefineFunctionSyntax},
      {"#DefineFunction " + name31 + "()", kErrDefineFunctionSyntax},
      {"#DefineFunction f(" + name31 + ")", kErrDefineFunctionSyntax},
      {"#DefineFunction f(" + seventeen + ")", kErrDefineFunctionSyntax},
      {"#DefineSubroutine s(,)", kErrDefineSubroutineSyntax},
      {"#DefineSubroutine s", kErrDefineSubroutineSyntax},
      {"#DefineFunction " + name30 + "(" + name30 + ")", 0},
      {"#DefineFunction f(" + sixteen + ")", 0},
  };
  for (const Case& c : cases) {
    Forget();
    EXPECT_EQ(Record(c.header + "\n#EndFunction\n"), c.error) << c.header;
    EXPECT_EQ(context().loader.udfCount, c.error ? 0u : 1u) << c.header;
  }
}

TEST_F(LoaderDefinitionsTest, BlocksMustNestProperly) {
  struct Case {
    const char* text;
    std::uint32_t error;
  } cases[] = {
      {"#DefineFunction f()\n#DefineFunction g()\n", kErrNestedDefineFunction},
      {"#DefineFunction f()\n#DefineSubroutine g()\n", kErrNestedDefineSubroutine},
      {"#EndFunction\n", kErrEndFunctionUnmatched},
      {"#EndSubroutine\n", kErrEndSubroutineUnmatched},
      {"#DefineFunction f()\n#EndFunction\n#EndFunction\n", kErrEndFunctionUnmatched},
      {"#DefineFunction f()\n#EndSubroutine\n#DefineSubroutine g()\n#EndFunction\n", 0},
      {"#include x.kel\n#Define f()\n#EndFunctions\n", kErrEndFunctionUnmatched},
  };
  for (const Case& c : cases) {
    Forget();
    EXPECT_EQ(Record(c.text), c.error) << c.text;
  }
}

TEST_F(LoaderDefinitionsTest, TheFirstDefinitionOfANameStays) {
  ASSERT_EQ(Record("#DefineFunction Twice(x)\nreturn x * 2\n#EndFunction\n"
                   "#DefineFunction TWICE(a, b)\nreturn 0\n#EndFunction\n"
                   "#DefineSubroutine twice(,,\n#EndSubroutine\n"
                   "#DefineSubroutine other()\n  other body\n#EndSubroutine\n"),
            0u);
  ASSERT_EQ(context().loader.udfCount, 2u);
  EXPECT_EQ(FindDefinition(context(), "TwIcE", 5), 0u);
  EXPECT_EQ(FindDefinition(context(), "other", 5), 1u);
  EXPECT_EQ(FindDefinition(context(), "oth", 3), kNoDefinition);
  EXPECT_EQ(DefinitionRecord(context(), 0)->paramCount, 1u);
  EXPECT_EQ(BodyLines(0), (std::vector<std::string>{"return x * 2"}));
  EXPECT_EQ(BodyLines(1), (std::vector<std::string>{"other body"}));
  EXPECT_EQ(DefinitionRecord(context(), 2), nullptr);
}

TEST_F(LoaderDefinitionsTest, ADefinitionIsFoundOnlyOnceItsEndIsPassed) {
  HiddenText hidden(context(), "#DefineFunction later()\nbody\n#EndFunction\n");
  ScriptText text = hidden.text();
  char line[kLineBufferBytes];
  std::uint32_t next = 0, start = 0;
  std::vector<std::uint16_t> found;
  while (ReadLine(context(), line, sizeof line, text, start, next) != 0) {
    if (line[0] == '#') {
      ASSERT_EQ(RecordDefinitionLine(context(), line, text, start, next), DefinitionLine::Recorded);
    }
    found.push_back(FindDefinition(context(), "later", 5));
  }
  EXPECT_EQ(found, (std::vector<std::uint16_t>{kNoDefinition, kNoDefinition, 0}));
}

TEST_F(LoaderDefinitionsTest, TheBodyCopyReadsLikeTheText) {
  std::string text = "a = 1\n#DefineFunction f(x)\n  first\n\n  second line\n  #EndFunction\nb\n";
  ASSERT_EQ(Record(text), 0u);
  const UdfRecord* record = DefinitionRecord(context(), 0);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->bodyStart, text.find("  first"));
  EXPECT_EQ(record->bodyLength, text.find("#EndFunction") - text.find("  first"));
  EXPECT_EQ(BodyLines(0), (std::vector<std::string>{"first", "", "second line"}));
}

TEST_F(LoaderDefinitionsTest, AtMost512DefinitionsAreRecorded) {
  std::string text;
  for (int i = 0; i < 513; ++i)
    text += "#DefineFunction f" + std::to_string(i) + "()\n#EndFunction\n";
  EXPECT_EQ(Record(text), kErrTooManyDefinitions);
  EXPECT_EQ(context().loader.udfCount, kMaxDefinitions);
  EXPECT_EQ(FindDefinition(context(), "f511", 4), 511u);
  EXPECT_EQ(BodyLines(511), std::vector<std::string>{});
}

}  // namespace
}  // namespace kel::testing
