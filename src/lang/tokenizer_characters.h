// The character classes of the tokenizer: blanks, line ends, letters, digits and name characters.
#ifndef KEL_LANG_TOKENIZER_CHARACTERS_H
#define KEL_LANG_TOKENIZER_CHARACTERS_H

namespace kel {

// Only the 7-bit letters count: a byte above 127 may be half of a double-byte character.
constexpr bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// A statement ends at the end of its line or at a ";" that starts a comment. The line reader
// consumes the line's own LF, so only the terminator ends a line: a CR or LF that a %name%
// substitution put into the line is an ordinary character (inside a string literal, part of its
// text).
constexpr bool IsLineEnd(char c) {
  return c == '\0';
}

constexpr bool IsStatementEnd(char c) {
  return IsLineEnd(c) || c == ';';
}

// A character that may stand inside a name: a match in whole-word mode must not be followed by
// one of these.
constexpr bool IsWordCharacter(char c) {
  return IsLetter(c) || IsDigit(c) || c == '@' || c == '_';
}

constexpr bool StartsName(char c) {
  return IsLetter(c) || c == '@' || c == '_';
}

constexpr char LowerCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace kel

#endif  // KEL_LANG_TOKENIZER_CHARACTERS_H
