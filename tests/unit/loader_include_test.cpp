// #include expansion, its marker lines and the line numbers they give back.
#include <string>
#include <vector>

#include "loader/includes.h"
#include "loader/source_lines.h"
#include "unit/engine_fixture.h"
#include "unit/loader_support.h"

namespace kel::testing {
namespace {

// A line of an expanded text with the file and line the walk finds for it.
struct SourcedLine {
  std::string text;
  std::string file;
  std::uint32_t line;
  bool operator==(const SourcedLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SourcedLine& line) {
  return out << '"' << line.text << "\" " << line.file << ':' << line.line;
}

class LoaderIncludeTest : public EngineFixture {
 protected:
  // Expands `text` as a script file named `fileName` in the fixture directory.
  int Expand(const std::string& text, const std::string& fileName = "script.kel",
             const std::string& directory = LoaderFixture("")) {
    platform::MemoryHandle handle = platform::GlobalAllocate(text.size() + 1, platform::Fill::Zero);
    std::memcpy(platform::GlobalLock(handle), text.c_str(), text.size() + 1);
    platform::GlobalUnlock(handle);
    int result =
        ExpandIncludes(context(), handle, fileName.c_str(), directory.c_str(), failedName_, 0);
    expanded_ = static_cast<const char*>(platform::GlobalLock(handle));
    platform::GlobalUnlock(handle);
    platform::GlobalFree(handle);
    return result;
  }
  // The lines of the expanded text that would run, each with its source.
  std::vector<SourcedLine> SourcedLines() {
    HiddenText hidden(context(), expanded_);
    ScriptText text = hidden.text();
    std::vector<SourcedLine> lines;
    for (const ReadLineResult& line : ReadAllLines(context(), text)) {
      if (line.text.empty() || line.text[0] == ';') continue;
      SourceLine source{};
      FindSourceLine(context(), text, line.lineStart, source);
      std::string file = source.file;
      // Fixture files are named from the fixture directory on, whatever its absolute path.
      std::string directory = LoaderFixture("");
      if (file.compare(0, directory.size(), directory) == 0) file = file.substr(directory.size());
      lines.push_back({line.text, file, source.line});
    }
    return lines;
  }

  char failedName_[kPathBytes] = {};
  std::string expanded_;
};

TEST_F(LoaderIncludeTest, IncludedLinesKeepTheirFilesAndNumbers) {
  ASSERT_GT(Expand("one = 1\n#include \"lib/helpers.kel\"\n\nthree = 3\n"
                   "#include lib/inner.kel  \nlast = 1"),
            0);
  std::vector<SourcedLine> expected = {
      {"one = 1", "script.kel", 1},      {"h1 = 10", "lib/helpers.kel", 1},
      {"inner = 1", "lib/inner.kel", 1}, {"h2 = 20", "lib/helpers.kel", 3},
      {"three = 3", "script.kel", 4},    {"inner = 1", "lib/inner.kel", 1},
      {"last = 1", "script.kel", 6},
  };
  EXPECT_EQ(SourcedLines(), expected);
}

TEST_F(LoaderIncludeTest, NamesMayBeQuotedThreeWays) {
  for (const char* line :
       {"#include \"lib/inner.kel\" ; comment", "#include 'lib/inner.kel'",
        "#include `lib/inner.kel`", "  #INCLUDE\tlib/inner.kel", "#include lib/inner.kel \t"}) {
    ASSERT_GT(Expand(std::string(line) + "\nafter = 1\n"), 0) << line << ": " << failedName_;
    std::vector<SourcedLine> expected = {{"inner = 1", "lib/inner.kel", 1},
                                         {"after = 1", "script.kel", 2}};
    EXPECT_EQ(SourcedLines(), expected) << line;
  }
}

TEST_F(LoaderIncludeTest, AnAbsoluteNameNeedsNoDirectory) {
  ASSERT_GT(Expand("#include \"" + LoaderFixture("lib/inner.kel") + "\"\n", "script.kel", ""), 0);
  ASSERT_EQ(SourcedLines().size(), 1u);
  EXPECT_EQ(SourcedLines()[0], (SourcedLine{"inner = 1", "lib/inner.kel", 1}));
}

TEST_F(LoaderIncludeTest, LinesThatAreNotIncludeLinesStayAsTheyAre) {
  ASSERT_GT(Expand("#includes = 1\n#include\nx = \"#include a\"\n"), 0);
  std::vector<SourcedLine> expected = {{"#includes = 1", "script.kel", 1},
                                       {"#include", "script.kel", 2},
                                       {"x = \"#include a\"", "script.kel", 3}};
  EXPECT_EQ(SourcedLines(), expected);
}

TEST_F(LoaderIncludeTest, DefinitionHeadersRestateTheLineAfterThem) {
  ASSERT_GT(Expand("a = 1\n#DefineFunction f()\nreturn 1\n#EndFunction\nb = 2\n"), 0);
  std::vector<SourcedLine> expected = {{"a = 1", "script.kel", 1},
                                       {"#DefineFunction f()", "script.kel", 2},
                                       {"return 1", "script.kel", 3},
                                       {"#EndFunction", "script.kel", 4},
                                       {"b = 2", "script.kel", 5}};
  EXPECT_EQ(SourcedLines(), expected);
  // A marker follows the header directly, so a body copied from there starts with its position.
  std::string header = "#DefineFunction f()\n";
  std::size_t body = expanded_.find(header) + header.size();
  ASSERT_LT(body, expanded_.size());
  EXPECT_EQ(expanded_[body], kMarkerLead);
  EXPECT_EQ(expanded_[body + 1], kMarkerKind);
}

TEST_F(LoaderIncludeTest, FifteenLevelsBelowTheScriptAreAccepted) {
  ASSERT_GT(Expand("#include \"deep02.kel\"\n"), 0) << failedName_;
  std::vector<SourcedLine> lines = SourcedLines();
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines.back(), (SourcedLine{"level16 = 1", "deep16.kel", 1}));
  EXPECT_EQ(Expand("#include \"deep01.kel\"\n"), kIncludeTooDeep);
  EXPECT_EQ(Expand("#include \"self.kel\"\n"), kIncludeTooDeep);
}

TEST_F(LoaderIncludeTest, AFileThatCannotBeIncludedIsNamed) {
  struct Case {
    const char* text;
    const char* name;
  } cases[] = {
      {"#include \"no-such-file.kel\"\n", "no-such-file.kel"},
      {"#include \"missing.kel\"\n", "no-such-file.kel"},
      {"#include \"lib/inner.kel\n", "lib/inner.kel"},  // the quote is never closed
      {"#include 'lib/inner.kel\"\n", "lib/inner.kel\""},
      {"#include \"\"\n", ""},
      {"#include \"lib\"\n", "lib"},  // a directory
  };
  for (const Case& c : cases) {
    EXPECT_LT(Expand(c.text), 1) << c.text;
    EXPECT_STREQ(failedName_, c.name) << c.text;
  }
  std::string longName(261, 'n');
  EXPECT_LT(Expand("#include " + longName + "\n"), 1);
  EXPECT_EQ(std::string(failedName_), longName.substr(0, 260));
}

TEST_F(LoaderIncludeTest, AnExpandedTextIsNotExpandedAgain) {
  ASSERT_GT(Expand("#include \"lib/inner.kel\"\n"), 0);
  std::string once = expanded_;
  EXPECT_EQ(Expand(once), static_cast<int>(once.size()));
  EXPECT_EQ(expanded_, once);
}

TEST_F(LoaderIncludeTest, MarkerLinesCarry24BitLineNumbers) {
  for (std::uint32_t line : {1u, 63u, 64u, 4095u, 4096u, 262143u, 262144u, 0xFFFFFFu}) {
    char marker[64];
    std::size_t length = WriteMarker(marker, line, kIncludeMarkerTag, "f.kel");
    std::string text = std::string(marker, length) + "x = 1\n";
    HiddenText hidden(context(), text);
    SourceLine source{};
    FindSourceLine(context(), hidden.text(), static_cast<std::uint32_t>(length), source);
    EXPECT_EQ(source.line, line);
    EXPECT_EQ(source.tag, kIncludeMarkerTag);
    EXPECT_STREQ(source.file, "f.kel");
  }
  char marker[64];
  WriteMarker(marker, 1, kIncludeMarkerTag, "f.kel");
  EXPECT_EQ(std::string(marker, 8), std::string(";\x0b"
                                                "A@@@@A"));
}

TEST_F(LoaderIncludeTest, WithoutMarkersTheScriptItselfIsNamed) {
  std::snprintf(context().scriptPath, sizeof context().scriptPath, "%s", "c:\\main.kel");
  HiddenText hidden(context(), "a\nb\n\nc\x1a\nd\n");
  SourceLine source{};
  FindSourceLine(context(), hidden.text(), 5, source);
  EXPECT_EQ(source.line, 4u);
  EXPECT_EQ(source.tag, -1);
  EXPECT_STREQ(source.file, "c:\\main.kel");
  // The walk ends at Ctrl+Z.
  FindSourceLine(context(), hidden.text(), 9, source);
  EXPECT_EQ(source.line, 4u);
}

}  // namespace
}  // namespace kel::testing
