// Loading scripts and running them through the run loop, up to the statement runner's door.
#include <string>
#include <vector>

#include "errors/error_numbers.h"
#include "host/exports.h"
#include "host/run_loop.h"
#include "lang/statements.h"
#include "lang/variables.h"
#include "loader/definitions.h"
#include "loader/script_file.h"
#include "unit/engine_fixture.h"
#include "unit/loader_support.h"

namespace kel::testing {
namespace {

// A statement as the run loop handed it over, with its source relative to the fixtures.
struct Handed {
  std::string statement;
  std::string file;
  std::uint32_t line;
  bool operator==(const Handed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Handed& handed) {
  return out << '"' << handed.statement << "\" " << handed.file << ':' << handed.line;
}

class LoaderRunTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    ClearRecordedStatements();
    // Reports go to a log file, never to a box that would wait for a user.
    context().errors.quietErrors = 1;
    std::snprintf(context().errors.errorLogFile, sizeof context().errors.errorLogFile, "%s",
                  scratch_.Path("errors.log").c_str());
  }
  void TearDown() override {
    ClearRecordedStatements();
    EngineFixture::TearDown();
  }

  std::vector<Handed> HandedStatements() {
    std::vector<Handed> handed;
    std::string directory = LoaderFixture("");
    std::string scratch = scratch_.Path("");
    for (const RecordedStatement& recorded : RecordedStatements()) {
      std::string file = recorded.file;
      for (const std::string& prefix : {directory, scratch})
        if (file.compare(0, prefix.size(), prefix) == 0) file = file.substr(prefix.size());
      handed.push_back({recorded.line.substr(recorded.start), file, recorded.lineNumber});
    }
    return handed;
  }
  int Load(const std::string& path) {
    EvalValue result{};
    result.originSlot = kOriginNone;
    result.originFrame = kOriginNone;
    context().errors.errNum = 0;
    return LoadScriptFile(context(), result, path.c_str());
  }
  // Runs a text through the host's entry point.
  std::int32_t RunBuffer(const std::string& bytes) {
    platform::MemoryHandle script =
        platform::GlobalAllocate(bytes.size() + 2, platform::Fill::Zero);
    std::memcpy(platform::GlobalLock(script), bytes.data(), bytes.size());
    platform::GlobalUnlock(script);
    std::int32_t result = ProcessDaBatBuffer(nullptr, contextHandle_, script, nullptr, nullptr);
    platform::GlobalFree(script);
    return result;
  }
  std::string Headline() { return context().errors.errorHeadline; }
  std::string ErrorLine() { return context().errors.errorLine; }

  ScratchDirectory scratch_;
};

TEST_F(LoaderRunTest, AScriptWithIncludesAndDefinitionsRunsInOrder) {
  EXPECT_EQ(Load(LoaderFixture("main.kel")), 1);
  std::vector<Handed> expected = {
      {"a = 1", "main.kel", 2},          {"h1 = 10", "lib/helpers.kel", 1},
      {"inner = 1", "lib/inner.kel", 1}, {"h2 = 20", "lib/helpers.kel", 3},
      {"b = 2", "main.kel", 4},          {"c = Twice(b)", "main.kel", 8},
  };
  EXPECT_EQ(HandedStatements(), expected);
  // The definition was recorded as it was passed; its body never ran in line.
  std::uint16_t twice = FindDefinition(context(), "twice", 5);
  ASSERT_NE(twice, kNoDefinition);
  ScriptText body{};
  ASSERT_TRUE(LockDefinitionBody(context(), twice, body));
  std::vector<ReadLineResult> lines = ReadAllLines(context(), body);
  ReleaseDefinitionBody(context(), twice);
  ASSERT_EQ(lines.size(), 2u);  // the marker that restates the position, and the statement
  EXPECT_EQ(lines[1].text, "return x * 2");
  // A line of the body knows where it came from.
  SourceLine source{};
  ASSERT_TRUE(LockDefinitionBody(context(), twice, body));
  FindSourceLine(context(), body, lines[1].lineStart, source);
  ReleaseDefinitionBody(context(), twice);
  EXPECT_EQ(source.line, 6u);
  EXPECT_EQ(std::string(source.file), LoaderFixture("main.kel"));
}

TEST_F(LoaderRunTest, CommentsLabelsAndSubstitutionsAreSortedOut) {
  SetVariable(context(), "who", "world", 0, kVariableText);
  std::string path = scratch_.Write("labels.kel",
                                    "; comment\r\n\r\n:top\r\n:next ; comment\r\n"
                                    ":again\tx = 1\r\n  say %who%\r\n:%who% y\r\n");
  EXPECT_EQ(Load(path), 1);
  std::vector<Handed> expected = {
      {"x = 1 ", "labels.kel", 5}, {"say world ", "labels.kel", 6}, {"y ", "labels.kel", 7}};
  EXPECT_EQ(HandedStatements(), expected);
  ASSERT_EQ(RecordedStatements().size(), 3u);
  EXPECT_FALSE(RecordedStatements()[0].substituted);
  EXPECT_TRUE(RecordedStatements()[1].substituted);
}

TEST_F(LoaderRunTest, TextsInEveryFormLoadAlike) {
  auto wide = [](bool little, const std::string& text) {
    std::string bytes = little ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
    for (char c : text)
      bytes += little ? std::string{c, '\0'} : std::string{'\0', c};
    return bytes;
  };
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"lf.kel", "one\ntwo\n"},
      {"crlf.kel", "one\r\ntwo\r\n"},
      {"cr.kel", "one\rtwo\r"},
      {"little.kel", wide(true, "one\r\ntwo")},
      {"big.kel", wide(false, "one\ntwo\n")},
      {"zero.kel", std::string("one\ntwo\n\0three\n", 15)},
  };
  for (const Case& c : cases) {
    ClearRecordedStatements();
    EXPECT_EQ(Load(scratch_.Write(c.name, c.bytes)), 1) << c.name;
    ASSERT_EQ(RecordedStatements().size(), 2u) << c.name;
    EXPECT_EQ(HandedStatements()[1].line, 2u) << c.name;
    std::string first = RecordedStatements()[0].line;
    EXPECT_TRUE(first == "one" || first == "one ") << c.name << ": " << first;
  }
  // A file that is only a byte-order mark is an empty script.
  for (bool little : {true, false}) {
    ClearRecordedStatements();
    EXPECT_EQ(Load(scratch_.Write("mark.kel", wide(little, ""))), 1);
    EXPECT_TRUE(RecordedStatements().empty());
  }
}

TEST_F(LoaderRunTest, LoadFailuresAreReported) {
  struct Case {
    std::string path;
    std::uint32_t error;
    std::string headline;
    std::string line;
  } cases[] = {
      {LoaderFixture("missing.kel"), kMsgIncludeFailed,
       "217:  Unable to access or process specified #include file", "no-such-file.kel"},
      {LoaderFixture("self.kel"), kMsgIncludeTooDeep, "111:  Execution Error",
       "#include files too deeply nested (> 16 levels)"},
      {LoaderFixture("no-such-script.kel"), kMsgScriptNotFound,
       "102:  Specified menu/batch file not found", LoaderFixture("no-such-script.kel")},
      {scratch_.Write("encoded.kel", std::string("\x02\x7f\x80 binary", 10)), kMsgEncodedScript,
       "111:  Execution Error", ""},
      {scratch_.Write("encoded2.kel",
                      ";\x0c@"
                      "data\n"),
       kMsgEncodedScript, "111:  Execution Error", ""},
  };
  for (const Case& c : cases) {
    std::memset(context().errors.errorLine, 0, sizeof context().errors.errorLine);
    EXPECT_EQ(Load(c.path), 0) << c.path;
    EXPECT_EQ(context().errors.errNum, c.error) << c.path;
    EXPECT_EQ(Headline(), c.headline) << c.path;
    if (!c.line.empty()) {
      EXPECT_EQ(ErrorLine(), c.line) << c.path;
    }
  }
  EXPECT_TRUE(RecordedStatements().empty());
}

TEST_F(LoaderRunTest, DefinitionErrorsEndTheRun) {
  struct Case {
    const char* text;
    std::uint32_t error;
    const char* line;
    std::size_t statements;
  } cases[] = {
      {"a\n#DefineFunction f(,)\nb\n", kErrDefineFunctionSyntax, "#DefineFunction f(,)", 1},
      {"a\n#EndSubroutine\nb\n", kErrEndSubroutineUnmatched, "#EndSubroutine", 1},
      {"#DefineFunction f()\n#DefineSubroutine g()\nb\n", kErrNestedDefineSubroutine,
       "#DefineSubroutine g()", 0},
      {"a\n#DefineFunction f()\nbody\nlast body line\n", kErrDefinitionOpenAtEnd, "last body line",
       1},
  };
  for (const Case& c : cases) {
    ClearRecordedStatements();
    ReleaseDefinitions(context());
    EXPECT_EQ(Load(scratch_.Write("definitions.kel", c.text)), 0) << c.text;
    EXPECT_EQ(context().errors.errNum, c.error) << c.text;
    EXPECT_EQ(ErrorLine(), c.line) << c.text;
    EXPECT_EQ(RecordedStatements().size(), c.statements) << c.text;
    // The next run does not start inside the block that was left open.
    EXPECT_EQ(context().loader.udfDefining, 0u);
  }
}

TEST_F(LoaderRunTest, AnOverlongLineIsHandedOnWithItsError) {
  std::string longLine(2100, 'x');
  EXPECT_EQ(Load(scratch_.Write("long.kel", "a\n" + longLine + "\nb\n")), 1);
  ASSERT_EQ(RecordedStatements().size(), 3u);
  EXPECT_EQ(RecordedStatements()[1].pendingError, kErrLineTooLong);
  EXPECT_EQ(RecordedStatements()[1].line.size(), 2048u);
  EXPECT_EQ(RecordedStatements()[2].pendingError, 0u);
  EXPECT_EQ(RecordedStatements()[2].lineNumber, 3u);
  // Inside a definition it ends the run at once.
  ClearRecordedStatements();
  EXPECT_EQ(Load(scratch_.Write("long2.kel", "#DefineFunction f()\n" + longLine + "\n")), 0);
  EXPECT_EQ(context().errors.errNum, kErrLineTooLong);
}

TEST_F(LoaderRunTest, SubstitutionErrorsEndTheRun) {
  EXPECT_EQ(Load(scratch_.Write("percent.kel", "a\nx = 50%\nb\n")), 0);
  EXPECT_EQ(context().errors.errNum, kErrSubstitutionUnclosed);
  EXPECT_EQ(ErrorLine(), "x = 50%");
  ASSERT_EQ(RecordedStatements().size(), 1u);
}

TEST_F(LoaderRunTest, AStopEndsTheRunAfterTheStatement) {
  struct Case {
    std::int32_t announce;
    std::uint32_t breakFlags;
    bool reported;
  } cases[] = {{1, 0, true}, {0, 0, false}, {1, 0x4, false}};
  std::string path = scratch_.Write("stop.kel", "first\nsecond\n");
  for (const Case& c : cases) {
    ClearRecordedStatements();
    context().errors.errorHeadline[0] = '\0';
    context().stopRequested = 1;
    context().stopByUser = 1;
    context().announceStop = c.announce;
    context().breakFlags = c.breakFlags;
    EXPECT_EQ(Load(path), 0);
    EXPECT_EQ(RecordedStatements().size(), 1u);
    EXPECT_EQ(Headline() == "194:  Execution terminated by user request", c.reported) << Headline();
    if (c.reported) {
      EXPECT_EQ(ErrorLine(), "first");
      EXPECT_EQ(context().stopByUser, 0);
    }
  }
  context().stopRequested = 0;
  context().breakFlags = 0;
}

TEST_F(LoaderRunTest, TheHostsBufferRunsWithIncludesAndKeepsDefinitions) {
  std::snprintf(context().scriptPath, sizeof context().scriptPath, "%s", "host script");
  std::string include = "#include \"" + LoaderFixture("lib/inner.kel") + "\"\n";
  EXPECT_EQ(RunBuffer("first\r\n" + include + "#DefineFunction kept()\r\n#EndFunction\r\n"), 1);
  std::vector<Handed> expected = {{"first ", "host script", 1}, {"inner = 1", "lib/inner.kel", 1}};
  EXPECT_EQ(HandedStatements(), expected);
  // A second run sees the definitions of the first.
  ClearRecordedStatements();
  EXPECT_EQ(RunBuffer("second\n"), 1);
  EXPECT_EQ(FindDefinition(context(), "kept", 4), 0u);
  // An empty text runs nothing and succeeds; so does a text that is only a byte-order mark.
  ClearRecordedStatements();
  EXPECT_EQ(RunBuffer(""), 1);
  EXPECT_EQ(RunBuffer(std::string("\xFF\xFE", 2)), 1);
  EXPECT_TRUE(RecordedStatements().empty());
  // A load failure is reported and the script does not start.
  EXPECT_EQ(RunBuffer("#include \"no-such-file.kel\"\nnever\n"), 0);
  EXPECT_EQ(ErrorLine(), "no-such-file.kel");
  EXPECT_TRUE(RecordedStatements().empty());
}

}  // namespace
}  // namespace kel::testing
