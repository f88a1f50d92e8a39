// The tokenizer: token sequences and errors of whole lines, slots made for names, the pointer
// and dereference flags, persistent names, putback and bare words.
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "core/batch_context.h"
#include "core/exports.h"
#include "errors/error_numbers.h"
#include "lang/keyword_table.h"
#include "lang/tokenizer.h"
#include "lang/variables.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

struct Token {
  int kind;
  int code;
  std::string text;
  bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Token& token) {
  return out << "{" << token.kind << ", " << token.code << ", \"" << token.text << "\"}";
}

Token Keyword(int code, const char* text) {
  return {kTokenKeyword, code, text};
}
Token Variable(const char* name) {
  return {kTokenVariable, kNoCode, name};
}
Token Integer(const char* digits) {
  return {kTokenInteger, kNoCode, digits};
}
Token Float(const char* text) {
  return {kTokenFloat, kNoCode, text};
}
Token String(const char* text) {
  return {kTokenString, kNoCode, text};
}

class TokenizerTest : public EngineFixture {
 protected:
  // The tokens of a line up to its end (not included) or up to an error.
  std::vector<Token> Tokens(const char* line, std::uint32_t* error = nullptr) {
    context().errors.errNum = 0;
    BeginScan(context(), line);
    std::vector<Token> tokens;
    for (int guard = 0; guard < 100; ++guard) {
      get_token(context());
      if (context().errors.errNum != 0) break;
      const TokenizerState& t = context().tokenizer;
      if (t.tokenKind == kTokenEnd) break;
      tokens.push_back({t.tokenKind, t.tokenCode, t.tokenText});
    }
    if (error != nullptr) *error = context().errors.errNum;
    return tokens;
  }

  const Value* Slot(const char* name) {
    std::uint16_t slot = FindSlot(context(), name);
    return slot == kNoSlot ? nullptr : &context().varSlots[slot].value;
  }

  // Reads one token from the current scan position.
  Token Next() {
    get_token(context());
    const TokenizerState& t = context().tokenizer;
    return {t.tokenKind, t.tokenCode, t.tokenText};
  }
};

TEST_F(TokenizerTest, LinesBecomeTokens) {
  struct Case {
    const char* line;
    std::vector<Token> tokens;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"", {}, 0},
      {"   \t ", {}, 0},
      {"; only a comment", {}, 0},
      {"x = StrSub(name, 2, 3)",
       {Variable("x"), Keyword(kKeywordAssign, "="), Keyword(kKeywordStrSub, "StrSub"),
        Keyword(kKeywordOpenParenthesis, "("), Variable("name"), Keyword(kKeywordComma, ","),
        Integer("2"), Keyword(kKeywordComma, ","), Integer("3"),
        Keyword(kKeywordCloseParenthesis, ")")},
       0},
      {"x ; the rest is a comment", {Variable("x")}, 0},
      // Operators: the longest row wins, and a blank separates.
      {"a<=b", {Variable("a"), Keyword(kKeywordLessEqual, "<="), Variable("b")}, 0},
      {"a< =b",
       {Variable("a"), Keyword(kKeywordLess, "<"), Keyword(kKeywordAssign, "="), Variable("b")},
       0},
      {"a<<2", {Variable("a"), Keyword(kKeywordShiftLeft, "<<"), Integer("2")}, 0},
      {"a<>b", {Variable("a"), Keyword(kKeywordLessGreater, "<>"), Variable("b")}, 0},
      {"a&&b||c",
       {Variable("a"), Keyword(kKeywordLogicalAnd, "&&"), Variable("b"),
        Keyword(kKeywordLogicalOr, "||"), Variable("c")},
       0},
      {"2**3", {Integer("2"), Keyword(kKeywordPower, "**"), Integer("3")}, 0},
      {"~a", {Keyword(kKeywordTilde, "~"), Variable("a")}, 0},
      {"a mod b", {Variable("a"), Keyword(kKeywordMod, "mod"), Variable("b")}, 0},
      // Keywords and names keep their case in the text, except variable names.
      {"If Count Then",
       {Keyword(kKeywordIf, "If"), Variable("count"), Keyword(kKeywordThen, "Then")},
       0},
      {"@TRUE + @Pi",
       {Keyword(kKeywordAtTrue, "@TRUE"), Keyword(kKeywordPlus, "+"), Keyword(kKeywordAtPi, "@Pi")},
       0},
      // A built-in's name followed by a letter or digit is another name.
      {"strlen2 = strlenx",
       {Variable("strlen2"), Keyword(kKeywordAssign, "="), Variable("strlenx")},
       0},
      {"_under @at x.y.z",
       {Variable("_under"), Variable("@at"), Keyword(kObjectReferenceCode, "x.y.z")},
       0},
      {"Obj.Items.Count(1)",
       {Keyword(kObjectReferenceCode, "Obj.Items.Count"), Keyword(kKeywordOpenParenthesis, "("),
        Integer("1"), Keyword(kKeywordCloseParenthesis, ")")},
       0},
      {"abcdefghijklmnopqrstuvwxyz1234", {Variable("abcdefghijklmnopqrstuvwxyz1234")}, 0},
      {"abcdefghijklmnopqrstuvwxyz12345", {}, kErrVariableNameTooLong},
      // Numbers.
      {"42", {Integer("42")}, 0},
      {"1.5 .5 5. 1.e5", {Float("1.5"), Float(".5"), Float("5."), Float("1.e5")}, 0},
      {"1.5e+3 2E-2 3e4", {Float("1.5e+3"), Float("2E-2"), Float("3e4")}, 0},
      {"1-2", {Integer("1"), Keyword(kKeywordMinus, "-"), Integer("2")}, 0},
      {"1e-2-3", {Float("1e-2"), Keyword(kKeywordMinus, "-"), Integer("3")}, 0},
      {"12abc", {Integer("12"), Variable("abc")}, 0},
      {"0x10", {Integer("0"), Variable("x10")}, 0},
      {"1.2.3", {}, kErrTooManyDots},
      {"1e5e2", {}, kErrTooManyExponents},
      {"1e", {}, kErrUnrecognizableItem},
      {"1e+", {}, kErrUnrecognizableItem},
      {"1ex", {}, kErrUnrecognizableItem},
      {"x = .", {Variable("x"), Keyword(kKeywordAssign, "=")}, kErrUnrecognizableItem},
      // String literals.
      {"\"a\"\"b\"", {String("a\"b")}, 0},
      {"'it''s' `back`", {String("it's"), String("back")}, 0},
      {"\"one 'two' `three`\"", {String("one 'two' `three`")}, 0},
      {"\"\"", {String("")}, 0},
      {"\"a;b\" ; comment", {String("a;b")}, 0},
      {"\"runs to the end", {String("runs to the end")}, 0},
      {"x = \"ab\":c",
       {Variable("x"), Keyword(kKeywordAssign, "="), String("ab"), Keyword(kKeywordColon, ":"),
        Variable("c")},
       0},
      // Characters that start no token.
      {"#", {}, kErrUnrecognizableItem},
      {"a $ b", {Variable("a")}, kErrUnrecognizableItem},
      {"\xE9t\xE9", {}, kErrUnrecognizableItem},
  };
  for (const Case& c : cases) {
    std::uint32_t error = 0;
    EXPECT_EQ(Tokens(c.line, &error), c.tokens) << c.line;
    EXPECT_EQ(error, c.error) << c.line;
  }
}

TEST_F(TokenizerTest, AfterAnErrorTheScanStandsAtTheOffendingCharacter) {
  struct Case {
    const char* line;
    std::size_t at;
    std::uint32_t error;
  };
  const Case cases[] = {
      {"x = 1.2.3", 7, kErrTooManyDots},
      {"x = 1e5e1", 7, kErrTooManyExponents},
      {"x = 2ex", 5, kErrUnrecognizableItem},
      {"x = a # b", 6, kErrUnrecognizableItem},
      {"abcdefghijklmnopqrstuvwxyz12345", 30, kErrVariableNameTooLong},
  };
  for (const Case& c : cases) {
    std::uint32_t error = 0;
    Tokens(c.line, &error);
    EXPECT_EQ(error, c.error) << c.line;
    EXPECT_EQ(ScanPosition(context()) - c.line, static_cast<std::ptrdiff_t>(c.at)) << c.line;
    EXPECT_EQ(context().tokenizer.tokenKind, kTokenEnd) << c.line;
  }
}

TEST_F(TokenizerTest, ANameGetsItsSlotWithoutAValue) {
  EXPECT_EQ(Slot("fresh"), nullptr);
  Tokens("Fresh = 1");
  const Value* value = Slot("fresh");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->flags, kValueNoValue);
  EXPECT_EQ(value->intValue, -1);
  EXPECT_EQ(value->textRef, 0u);
  EXPECT_STREQ(context().tokenizer.nameBuffer, "fresh");
  // The name exists from now on, without a value.
  context().errors.errNum = 0;
  EXPECT_EQ(find_var(context(), "fresh", false), kNoSlot);
  EXPECT_EQ(context().errors.errNum, kErrUninitializedVariable);
  // Reading it again finds the same slot and leaves an assigned value alone.
  SetVariable(context(), "fresh", nullptr, 5, kVariableInteger);
  std::uint16_t count = context().varCount;
  Tokens("fresh");
  EXPECT_EQ(context().varCount, count);
  EXPECT_EQ(Slot("fresh")->flags, kValueInteger);
  EXPECT_EQ(Slot("fresh")->intValue, 5);
  // Keywords, constants, literals and object references make no slot.
  Tokens("StrLen @true \"text\" 12 obj.member");
  EXPECT_EQ(context().varCount, count);
  EXPECT_EQ(Slot("obj"), nullptr);
}

TEST_F(TokenizerTest, ATableOfTenSlotsHoldsEightNewNames) {
  // Slot 0 is reserved, and a table of N slots holds at most N - 1 names.
  context().varCapacity = 10;
  std::uint32_t error = 0;
  for (char c = 'a'; c < 'a' + 8; ++c) {
    const char name[2] = {c, '\0'};
    Tokens(name, &error);
    ASSERT_EQ(error, 0u) << name;
  }
  EXPECT_EQ(Tokens("ninth", &error), std::vector<Token>{});
  EXPECT_EQ(error, kErrOutOfVariableMemory);
  EXPECT_EQ(Slot("ninth"), nullptr);
  // Known names are still read, and a removed name frees its slot for the next new one.
  EXPECT_EQ(Tokens("a", &error), std::vector<Token>{Variable("a")});
  RemoveSlot(context(), FindSlot(context(), "c"));
  EXPECT_EQ(Tokens("ninth", &error), std::vector<Token>{Variable("ninth")});
  EXPECT_EQ(error, 0u);
}

// "&" stands before an operand after an operator, a keyword or "(" ... but not after an operand;
// the name after it is then created as an integer for the pointer code to fill in.
TEST_F(TokenizerTest, AmpersandBeforeAnOperandMakesTheNextNameAnInteger) {
  struct Case {
    const char* line;
    const char* name;
    std::uint32_t flags;
  };
  const Case cases[] = {
      {"x = &p1", "p1", kValueInteger},     {"f(&p2)", "p2", kValueInteger},
      {"f(a, &p3)", "p3", kValueInteger},   {"Return &p4", "p4", kValueInteger},
      {"a & n1", "n1", kValueNoValue},       // after a variable: the binary operator
      {"(a) & n2", "n2", kValueNoValue},     // after ")"
      {"@true & n3", "n3", kValueNoValue},   // after a constant
      {"a[1] & n4", "n4", kValueNoValue},    // after "]"
      {"o.m & n5", "n5", kValueNoValue},     // after an object reference
      {"1 & n6", "n6", kValueNoValue},       // after a number
      {"x = a && n7", "n7", kValueNoValue},  // "&&" is never a pointer
      {"x = & n8", "n8", kValueInteger},     // blanks between do not matter
      {"& n9", "n9", kValueNoValue},         // nothing went before in this statement
  };
  for (const Case& c : cases) {
    Tokens(c.line);
    const Value* value = Slot(c.name);
    ASSERT_NE(value, nullptr) << c.line;
    EXPECT_EQ(value->flags, c.flags) << c.line;
    EXPECT_EQ(value->intValue, -1) << c.line;
  }
  // The flag lasts for one token only.
  BeginScan(context(), "(&p10 n10");
  for (int i = 0; i < 4; ++i)
    get_token(context());
  EXPECT_EQ(Slot("p10")->flags, kValueInteger);
  EXPECT_EQ(Slot("n10")->flags, kValueNoValue);
  EXPECT_EQ(context().tokenizer.pendingPointer, 0);
  // A caller may ask for it before a name argument.
  BeginScan(context(), "p11");
  context().tokenizer.pendingPointer = 1;
  get_token(context());
  EXPECT_EQ(Slot("p11")->flags, kValueInteger);
  EXPECT_EQ(context().tokenizer.pendingPointer, 0);
}

TEST_F(TokenizerTest, ADereferencedNameIsParkedInSlotZero) {
  std::uint16_t count = context().varCount;
  BeginScan(context(), "Target = 1");
  context().tokenizer.derefPending = 1;
  EXPECT_EQ(Next(), Variable("target"));
  EXPECT_EQ(context().varCount, count);
  EXPECT_EQ(Slot("target"), nullptr);
  const char* parked = context().varSlots[0].slotName;
  EXPECT_EQ(static_cast<unsigned char>(parked[0]), static_cast<unsigned char>('t' | 0x80));
  EXPECT_STREQ(parked + 1, "arget");
  EXPECT_EQ(context().tokenizer.derefPending, 0);
  // An object reference keeps the flag as it stood.
  BeginScan(context(), "obj.member");
  context().tokenizer.derefPending = 1;
  EXPECT_EQ(Next(), Keyword(kObjectReferenceCode, "obj.member"));
  EXPECT_EQ(context().tokenizer.objectDerefPending, 1);
  EXPECT_EQ(context().tokenizer.derefPending, 0);
}

TEST_F(TokenizerTest, PersistentNamesBelongToTheRunningFunction) {
  context().runningFunction = 0x1c;
  BeginScan(context(), "Counter");
  context().tokenizer.persistentName = 1;
  EXPECT_EQ(Next(), Variable("?1c__counter"));
  EXPECT_NE(Slot("?1c__counter"), nullptr);
  EXPECT_EQ(Slot("counter"), nullptr);
  // The prefix leaves room for 25 characters of name.
  BeginScan(context(), "abcdefghijklmnopqrstuvwxy");
  context().tokenizer.persistentName = 1;
  EXPECT_EQ(Next(), Variable("?1c__abcdefghijklmnopqrstuvwxy"));
  BeginScan(context(), "abcdefghijklmnopqrstuvwxyz");
  context().tokenizer.persistentName = 1;
  context().errors.errNum = 0;
  Next();
  EXPECT_EQ(context().errors.errNum, kErrVariableNameTooLong);
  // In the main script a persistent name is the plain name.
  context().runningFunction = kNoFunction;
  BeginScan(context(), "Total");
  context().errors.errNum = 0;
  context().tokenizer.persistentName = 1;
  EXPECT_EQ(Next(), Variable("total"));
}

TEST_F(TokenizerTest, PutbackReturnsToTheStartOfTheLastToken) {
  const char* lines[] = {
      "  \"a\"\"b\" after",  // a string literal, longer in the source than its text
      "obj.member after",    // an object reference
      "StrLen after",        // a keyword
      "variable after",      // a variable
      "1.5e3 after",         // a number
      "<= after",            // an operator
  };
  for (const char* line : lines) {
    BeginScan(context(), line);
    Token first = Next();
    putback(context());
    EXPECT_EQ(Next(), first) << line;
    EXPECT_EQ(Next(), Variable("after")) << line;
  }
  // The end of the statement stays where it is.
  BeginScan(context(), "x ; comment");
  Next();
  Next();
  const char* end = ScanPosition(context());
  putback(context());
  EXPECT_EQ(ScanPosition(context()), end);
  EXPECT_EQ(Next().kind, kTokenEnd);
}

TEST_F(TokenizerTest, PutbackKeepsTheTokenBeforeForTheAmpersandRule) {
  // ")" then "&" (the binary operator); "&" is put back and read again: still after ")".
  BeginScan(context(), ") & q1");
  Next();
  Next();
  putback(context());
  EXPECT_EQ(Next(), Keyword(kKeywordAmpersand, "&"));
  Next();
  EXPECT_EQ(Slot("q1")->flags, kValueNoValue);
}

TEST_F(TokenizerTest, ScanningAgainFromASavedPosition) {
  BeginScan(context(), "a + b");
  Next();
  const char* saved = ScanPosition(context());
  EXPECT_EQ(Next(), Keyword(kKeywordPlus, "+"));
  EXPECT_EQ(Next(), Variable("b"));
  SetScanPosition(context(), saved);
  EXPECT_EQ(Next(), Keyword(kKeywordPlus, "+"));
  EXPECT_EQ(Next(), Variable("b"));
  EXPECT_EQ(Next().kind, kTokenEnd);
}

TEST_F(TokenizerTest, LongStringLiteralsStopAtTheTokensCapacity) {
  std::string line = "\"" + std::string(2060, 'x') + "\"";
  BeginScan(context(), line.c_str());
  Token literal = Next();
  EXPECT_EQ(literal.kind, kTokenString);
  EXPECT_EQ(literal.text.size(), kMaxTokenLength);
  EXPECT_EQ(ScanPosition(context()), line.c_str() + 1 + kMaxTokenLength);
}

TEST_F(TokenizerTest, BareWords) {
  BeginScan(context(), "  Word_1@x   second;rest");
  get_string_token(context());
  EXPECT_EQ(context().tokenizer.tokenKind, kTokenString);
  EXPECT_EQ(context().tokenizer.tokenCode, kNoCode);
  EXPECT_STREQ(context().tokenizer.tokenText, "Word_1@x");
  get_string_token(context());
  EXPECT_STREQ(context().tokenizer.tokenText, "second");
  get_string_token(context());
  EXPECT_EQ(context().tokenizer.tokenKind, kTokenEnd);
  EXPECT_EQ(Slot("word_1@x"), nullptr) << "a bare word is no variable";

  context().errors.errNum = 0;
  BeginScan(context(), "$dollar");
  get_string_token(context());
  EXPECT_EQ(context().errors.errNum, kErrUnrecognizableItem);

  std::string longest(kMaxTokenLength, 'w');
  context().errors.errNum = 0;
  BeginScan(context(), longest.c_str());
  get_string_token(context());
  EXPECT_EQ(context().errors.errNum, 0u);
  EXPECT_EQ(std::strlen(context().tokenizer.tokenText), kMaxTokenLength);
  std::string tooLong = longest + "w";
  BeginScan(context(), tooLong.c_str());
  get_string_token(context());
  EXPECT_EQ(context().errors.errNum, kErrStringTooLong);
}

TEST_F(TokenizerTest, HostFunctionsAreTokens) {
  KelKeywordRow rows[2] = {};
  rows[0].nameLength = 7;
  std::strcpy(rows[0].name, "hostcmd");
  context().hostKeywords = rows;
  EXPECT_EQ(
      Tokens("HostCmd(1)"),
      (std::vector<Token>{Keyword(kHostCodeBase, "HostCmd"), Keyword(kKeywordOpenParenthesis, "("),
                          Integer("1"), Keyword(kKeywordCloseParenthesis, ")")}));
  context().hostKeywords = nullptr;
}

TEST_F(TokenizerTest, ExportedEntryPointsDriveTheSameTokenizer) {
  BeginScan(context(), "alpha beta");
  ::get_token(&context());
  EXPECT_EQ(context().tokenizer.tokenKind, kTokenVariable);
  ::putback(&context());
  ::get_string_token(&context());
  EXPECT_EQ(context().tokenizer.tokenKind, kTokenString);
  EXPECT_STREQ(context().tokenizer.tokenText, "alpha");
  ::get_token(nullptr);  // refused quietly
}

}  // namespace
}  // namespace kel::testing
