// Script texts before they run: line ends, UTF-16, encoded files, the hidden form and the line
// reader.
#include <string>
#include <vector>

#include "errors/error_numbers.h"
#include "loader/hidden_text.h"
#include "loader/line_reader.h"
#include "loader/script_text.h"
#include "unit/engine_fixture.h"
#include "unit/loader_support.h"

namespace kel::testing {
namespace {

class LoaderTextTest : public EngineFixture {
 protected:
  std::vector<std::string> Lines(const std::string& plain) {
    HiddenText hidden(context(), plain);
    std::vector<std::string> texts;
    for (const ReadLineResult& line : ReadAllLines(context(), hidden.text()))
      texts.push_back(line.text);
    return texts;
  }
  std::string Normalised(std::string text) {
    NormaliseLineEnds(text.data());
    return text;
  }
};

TEST_F(LoaderTextTest, LineEndsBecomeLineFeeds) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"a\r\nb", "a \nb"}, {"a\rb", "a\nb"},      {"a\r\r\nb", "a\n \nb"}, {"\r", "\n"},
      {"a\nb", "a\nb"},    {"end\r\n", "end \n"}, {"\r\n\r\n", " \n \n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Normalised(c.text), c.expected) << c.text;
}

TEST_F(LoaderTextTest, CrLfLfAndCrTextsGiveTheSameLines) {
  EXPECT_EQ(Lines(Normalised("first\n  second\n\nthird")),
            (std::vector<std::string>{"first", "second", "", "third"}));
  EXPECT_EQ(Lines(Normalised("first\r  second\r\rthird")),
            (std::vector<std::string>{"first", "second", "", "third"}));
  // A CR LF line keeps the blank its CR became.
  EXPECT_EQ(Lines(Normalised("first\r\n  second\r\n\r\nthird")),
            (std::vector<std::string>{"first ", "second ", "", "third"}));
}

TEST_F(LoaderTextTest, Utf16TextsInBothByteOrdersConvert) {
  auto wide = [](bool little, const std::u16string& text) {
    std::string bytes = little ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
    for (char16_t unit : text) {
      char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
      bytes += little ? std::string{low, high} : std::string{high, low};
    }
    bytes.append(2, '\0');
    return bytes;
  };
  for (bool little : {true, false}) {
    std::string bytes = wide(little, u"x = \u00e9t\u00e9\r\ny = 2");
    ASSERT_TRUE(ConvertWideScript(context(), bytes.data(), bytes.size()));
    EXPECT_STREQ(bytes.c_str(), "x = \xe9t\xe9\r\ny = 2") << (little ? "little" : "big");
    // A text that is only a byte-order mark is an empty script.
    std::string mark = wide(little, u"");
    ASSERT_TRUE(ConvertWideScript(context(), mark.data(), mark.size()));
    EXPECT_STREQ(mark.c_str(), "");
  }
  std::string plain = "a = 1";
  ASSERT_TRUE(ConvertWideScript(context(), plain.data(), plain.size() + 1));
  EXPECT_EQ(plain, "a = 1");
}

TEST_F(LoaderTextTest, EncodedScriptsAreRecognised) {
  struct Case {
    std::string text;
    bool encoded;
  } cases[] = {
      {std::string("\x01rest"), true},
      {std::string("\x02"), true},
      {std::string("\x03x"), true},
      {std::string(";\x0c@data"), true},
      {std::string(" ;\x0c@data"), true},
      {std::string("\x04x"), false},
      {std::string("; comment"), false},
      {std::string(";\x0b"
                   "A@"),
       false},
      {std::string(""), false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsEncodedScript(c.text.c_str()), c.encoded) << c.text;
}

TEST_F(LoaderTextTest, TheHiddenFormRoundTripsEveryByteAtEveryOffset) {
  for (std::uint32_t position = 0; position < 512; ++position) {
    for (int value = 0; value < 256; ++value) {
      auto plain = static_cast<std::uint8_t>(value);
      ASSERT_EQ(RevealByte(ConcealByte(plain, position), position), plain)
          << "byte " << value << " at " << position;
    }
  }
  // A whole text, and a slice of it read as a function body with its start as the base.
  std::string plain;
  for (int i = 0; i < 3 * 256; ++i)
    plain += static_cast<char>((i * 7 + 3) & 0xFF);
  std::string hidden = plain;
  HideText(context(), hidden.data(), hidden.size());
  EXPECT_NE(hidden, plain);
  ScriptText whole{reinterpret_cast<std::uint8_t*>(hidden.data()),
                   static_cast<std::uint32_t>(hidden.size()), 0};
  for (std::uint32_t i = 0; i < hidden.size(); ++i)
    ASSERT_EQ(PlainByteAt(whole, i), static_cast<std::uint8_t>(plain[i])) << i;
  const std::uint32_t start = 301;
  std::string body = hidden.substr(start);
  ScriptText copy{reinterpret_cast<std::uint8_t*>(body.data()),
                  static_cast<std::uint32_t>(body.size()), start};
  for (std::uint32_t i = 0; i < body.size(); ++i)
    ASSERT_EQ(PlainByteAt(copy, i), static_cast<std::uint8_t>(plain[start + i])) << i;
}

TEST_F(LoaderTextTest, TheReaderSkipsLeadingBlanksAndEndsLinesAtCtrlZ) {
  HiddenText hidden(context(), " \t x = 1\n\ny\x1az\n   \n");
  std::vector<ReadLineResult> lines = ReadAllLines(context(), hidden.text());
  // The last line holds only blanks, so the text ends before it.
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].text, "x = 1");
  EXPECT_EQ(lines[0].lineStart, 3u);
  EXPECT_EQ(lines[1].text, "");
  EXPECT_EQ(lines[2].text, "y");
  EXPECT_EQ(lines[3].text, "z");
  EXPECT_EQ(lines[3].lineStart, 12u);
}

TEST_F(LoaderTextTest, AZeroByteEndsTheText) {
  std::string plain("a\nb\0c\nd\n", 8);
  HiddenText hidden(context(), plain);
  std::vector<ReadLineResult> lines = ReadAllLines(context(), hidden.text());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1].text, "b");
}

TEST_F(LoaderTextTest, LinesOfUpTo2048CharactersAreWhole) {
  std::string exact(kMaxLineLength, 'x');
  struct Case {
    std::string text;
    std::string firstLine;
    std::uint32_t pending;
  } cases[] = {
      {exact + "\nnext\n", exact, 0},
      // Leading blanks do not count.
      {"    " + exact + "\nnext\n", exact, 0},
      // The blank a CR LF line end leaves is dropped.
      {exact + " \nnext\n", exact, 0},
      {exact + "y\nnext\n", exact, kErrLineTooLong},
      {exact + "  \nnext\n", exact, kErrLineTooLong},
      {exact + std::string(5000, 'z') + "\nnext\n", exact, kErrLineTooLong},
  };
  for (const Case& c : cases) {
    HiddenText hidden(context(), c.text);
    std::vector<ReadLineResult> lines = ReadAllLines(context(), hidden.text());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, c.firstLine);
    EXPECT_EQ(lines[0].pendingError, c.pending) << c.text.size();
    // The rest of an over-long line is consumed, and the next line has no error.
    EXPECT_EQ(lines[1].text, "next");
    EXPECT_EQ(lines[1].pendingError, 0u);
  }
}

TEST_F(LoaderTextTest, AnEmptyTextHasNoLines) {
  for (const char* text : {"", "\n", "   ", "  \t\n"}) {
    HiddenText hidden(context(), text);
    EXPECT_TRUE(ReadAllLines(context(), hidden.text()).empty()) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace kel::testing
