// Loading scripts and running them through the run loop: every statement reaches the runner
// in order, from the file and line it was written on.
#include <string>
#include <vector>

#include "core/exports.h"
#include "errors/error_numbers.h"
#include "kel/kel_extender.h"
#include "lang/run_loop.h"
#include "lang/statements.h"
#include "lang/variables.h"
#include "loader/definitions.h"
#include "unit/engine_fixture.h"
#include "unit/loader_support.h"

namespace kel::testing {
namespace {

// What a `note` statement saw: its text, and the file and line it ran from, relative to the
// fixtures.
struct Handed {
  std::string statement;
  std::string file;
  std::uint32_t line;
  bool operator==(const Handed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Handed& handed) {
  return out << '"' << handed.statement << "\" " << handed.file << ':' << handed.line;
}

// The scripts observe the run through a command of the host's own table: `note text` hands the
// host its text, and the host records where the statement stands.
struct NoteRecorder {
  BatchContext* context = nullptr;
  std::vector<Handed> notes;
};
NoteRecorder* recorder = nullptr;

std::int32_t KEL_STDCALL NoteEntry(void*, void*, std::uint32_t, std::int32_t, KelAnswerFn,
                                   KelServicesBlock*, std::uint32_t*, KelBoundaryValue* arguments,
                                   std::int32_t count, KelBoundaryValue*) {
  SourceLine source{};
  CurrentSourceLine(*recorder->context, recorder->context->lineStartOffset, source);
  const char* text =
      count > 0 && arguments[0].text != nullptr ? static_cast<const char*>(arguments[0].text) : "";
  recorder->notes.push_back({text, source.file, source.line});
  return 0;
}

KelKeywordRow NoteRow() {
  KelKeywordRow row{};
  row.kind = 4;  // a command: the rest of the statement is its text
  row.nameLength = 4;
  std::snprintf(row.name, sizeof row.name, "%s", "note");
  return row;
}
const KelKeywordRow kHostRows[] = {NoteRow(), KelKeywordRow{}};

class LoaderRunTest : public EngineFixture {
 protected:
  void SetUp() override {
    EngineFixture::SetUp();
    recorder_.context = &context();
    recorder = &recorder_;
    context().hostCallback = reinterpret_cast<void*>(&NoteEntry);
    context().hostKeywords = kHostRows;
    // Reports go to a log file, never to a box that would wait for a user.
    context().errors.quietErrors = 1;
    std::snprintf(context().errors.errorLogFile, sizeof context().errors.errorLogFile, "%s",
                  scratch_.Path("errors.log").c_str());
  }
  void TearDown() override {
    recorder = nullptr;
    EngineFixture::TearDown();
  }

  std::vector<Handed> HandedStatements() {
    std::vector<Handed> handed;
    std::string directory = LoaderFixture("");
    std::string scratch = scratch_.Path("");
    for (Handed note : recorder_.notes) {
      for (const std::string& prefix : {directory, scratch})
        if (note.file.compare(0, prefix.size(), prefix) == 0)
          note.file = note.file.substr(prefix.size());
      handed.push_back(note);
    }
    return handed;
  }
  std::vector<std::string> Notes() {
    std::vector<std::string> texts;
    for (const Handed& note : recorder_.notes)
      texts.push_back(note.statement);
    return texts;
  }
  void ClearNotes() { recorder_.notes.clear(); }
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
    std::int32_t result = ProcessDaBatBuffer(nullptr, contextHandle_, script,
                                             reinterpret_cast<void*>(&NoteEntry), kHostRows);
    platform::GlobalFree(script);
    return result;
  }
  // The integer a variable of the main table holds, or -99999 when it has none.
  std::int32_t Integer(const char* name) {
    std::uint16_t slot = FindSlot(context(), name);
    if (slot == kNoSlot) return -99999;
    Value& value = context().varSlots[slot].value;
    return (value.flags & kValueInteger) != 0 ? value.intValue : -99999;
  }
  std::string Headline() { return context().errors.errorHeadline; }
  std::string ErrorLine() { return context().errors.errorLine; }

  NoteRecorder recorder_;
  ScratchDirectory scratch_;
};

TEST_F(LoaderRunTest, AScriptWithIncludesAndDefinitionsRunsInOrder) {
  EXPECT_EQ(Load(LoaderFixture("main.kel")), 1);
  // Every statement ran, the included ones between the lines around their #include, and the
  // function once it had been recorded.
  EXPECT_EQ(Integer("a"), 1);
  EXPECT_EQ(Integer("h1"), 10);
  EXPECT_EQ(Integer("inner"), 1);
  EXPECT_EQ(Integer("h2"), 20);
  EXPECT_EQ(Integer("b"), 2);
  EXPECT_EQ(Integer("c"), 4);
  // In order, from the file and line they were written on.
  std::string lib = scratch_.Write("lib.kel", "note two\n#include 'inner.kel'\nnote four\n");
  scratch_.Write("inner.kel", "note three\n");
  std::string main = scratch_.Write(
      "main.kel", "; comment\nnote one\n#include \"" + lib +
                      "\"\n#DefineFunction f()\nnote never\n#EndFunction\nnote five\n");
  EXPECT_EQ(Load(main), 1);
  std::vector<Handed> expected = {
      {"one", "main.kel", 2}, {"two", "lib.kel", 1},   {"three", "inner.kel", 1},
      {"four", "lib.kel", 3}, {"five", "main.kel", 7},
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
                                    ":again\tnote x\r\n  note %who%\r\n:%who% note y\r\n");
  EXPECT_EQ(Load(path), 1);
  std::vector<Handed> expected = {
      {"x", "labels.kel", 5}, {"world", "labels.kel", 6}, {"y", "labels.kel", 7}};
  EXPECT_EQ(HandedStatements(), expected);
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
      {"lf.kel", "note one\nnote two\n"},
      {"crlf.kel", "note one\r\nnote two\r\n"},
      {"cr.kel", "note one\rnote two\r"},
      {"little.kel", wide(true, "note one\r\nnote two")},
      {"big.kel", wide(false, "note one\nnote two\n")},
      {"zero.kel", std::string("note one\nnote two\n\0note three\n", 30)},
  };
  for (const Case& c : cases) {
    ClearNotes();
    EXPECT_EQ(Load(scratch_.Write(c.name, c.bytes)), 1) << c.name;
    std::vector<Handed> expected = {{"one", c.name, 1}, {"two", c.name, 2}};
    EXPECT_EQ(HandedStatements(), expected) << c.name;
  }
  // A file that is only a byte-order mark is an empty script.
  for (bool little : {true, false}) {
    ClearNotes();
    EXPECT_EQ(Load(scratch_.Write("mark.kel", wide(little, ""))), 1);
    EXPECT_TRUE(Notes().empty());
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
  // Nothing ran: not even the statement before the failing #include.
  EXPECT_EQ(FindSlot(context(), "before"), kNoSlot);
}

TEST_F(LoaderRunTest, DefinitionErrorsEndTheRun) {
  struct Case {
    const char* text;
    std::uint32_t error;
    const char* line;
    std::size_t statements;
  } cases[] = {
      {"note a\n#DefineFunction f(,)\nnote b\n", kErrDefineFunctionSyntax, "#DefineFunction f(,)",
       1},
      {"note a\n#EndSubroutine\nnote b\n", kErrEndSubroutineUnmatched, "#EndSubroutine", 1},
      {"#DefineFunction f()\n#DefineSubroutine g()\nnote b\n", kErrNestedDefineSubroutine,
       "#DefineSubroutine g()", 0},
      {"note a\n#DefineFunction f()\nbody\nlast body line\n", kErrDefinitionOpenAtEnd,
       "last body line", 1},
  };
  for (const Case& c : cases) {
    ClearNotes();
    ReleaseDefinitions(context());
    EXPECT_EQ(Load(scratch_.Write("definitions.kel", c.text)), 0) << c.text;
    EXPECT_EQ(context().errors.errNum, c.error) << c.text;
    EXPECT_EQ(ErrorLine(), c.line) << c.text;
    EXPECT_EQ(Notes().size(), c.statements) << c.text;
    // The next run does not start inside the block that was left open.
    EXPECT_EQ(context().loader.udfDefining, 0u);
  }
}

TEST_F(LoaderRunTest, AnOverlongLineIsRaisedWhenItIsReached) {
  std::string longLine = "note " + std::string(2100, 'x');
  EXPECT_EQ(Load(scratch_.Write("long.kel", "note a\n" + longLine + "\nnote b\n")), 0);
  EXPECT_EQ(Notes(), std::vector<std::string>{"a"});
  EXPECT_EQ(context().errors.errNum, kErrLineTooLong);
  EXPECT_EQ(ErrorLine().size(), 2048u);
  // Inside a definition it ends the run at once.
  ClearNotes();
  EXPECT_EQ(Load(scratch_.Write("long2.kel", "#DefineFunction f()\n" + longLine + "\n")), 0);
  EXPECT_EQ(context().errors.errNum, kErrLineTooLong);
}

TEST_F(LoaderRunTest, SubstitutionErrorsEndTheRun) {
  EXPECT_EQ(Load(scratch_.Write("percent.kel", "note a\nx = 50%\nnote b\n")), 0);
  EXPECT_EQ(context().errors.errNum, kErrSubstitutionUnclosed);
  EXPECT_EQ(ErrorLine(), "x = 50%");
  EXPECT_EQ(Notes(), std::vector<std::string>{"a"});
}

TEST_F(LoaderRunTest, AStopEndsTheRunAfterTheStatement) {
  struct Case {
    std::int32_t announce;
    std::uint32_t breakFlags;
    bool reported;
  } cases[] = {{1, 0, true}, {0, 0, false}, {1, 0x4, false}};
  std::string path = scratch_.Write("stop.kel", "note first\nnote second\n");
  for (const Case& c : cases) {
    ClearNotes();
    context().errors.errorHeadline[0] = '\0';
    context().stopRequested = 1;
    context().stopByUser = 1;
    context().announceStop = c.announce;
    context().breakFlags = c.breakFlags;
    EXPECT_EQ(Load(path), 0);
    EXPECT_EQ(Notes(), std::vector<std::string>{"first"});
    EXPECT_EQ(Headline() == "194:  Execution terminated by user request", c.reported) << Headline();
    if (c.reported) {
      EXPECT_EQ(ErrorLine(), "note first");
      EXPECT_EQ(context().stopByUser, 0);
    }
  }
  context().stopRequested = 0;
  context().breakFlags = 0;
}

TEST_F(LoaderRunTest, TheHostsBufferRunsWithIncludesAndKeepsDefinitions) {
  std::snprintf(context().scriptPath, sizeof context().scriptPath, "%s", "host script");
  std::string include = "#include \"" + scratch_.Write("inner.kel", "note inner\n") + "\"\n";
  EXPECT_EQ(RunBuffer("note first\r\n" + include + "#DefineFunction kept()\r\n#EndFunction\r\n"),
            1);
  std::vector<Handed> expected = {{"first", "host script", 1}, {"inner", "inner.kel", 1}};
  EXPECT_EQ(HandedStatements(), expected);
  // A second run sees the definitions of the first.
  ClearNotes();
  EXPECT_EQ(RunBuffer("note second\n"), 1);
  EXPECT_EQ(Notes(), std::vector<std::string>{"second"});
  EXPECT_EQ(FindDefinition(context(), "kept", 4), 0u);
  // An empty text runs nothing and succeeds; so does a text that is only a byte-order mark.
  ClearNotes();
  EXPECT_EQ(RunBuffer(""), 1);
  EXPECT_EQ(RunBuffer(std::string("\xFF\xFE", 2)), 1);
  EXPECT_TRUE(Notes().empty());
  // A load failure is reported and the script does not start.
  EXPECT_EQ(RunBuffer("#include \"no-such-file.kel\"\nnote never\n"), 0);
  EXPECT_EQ(ErrorLine(), "no-such-file.kel");
  EXPECT_TRUE(Notes().empty());
}

}  // namespace
}  // namespace kel::testing
