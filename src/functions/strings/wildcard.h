// The wildcard matcher shared by the string, item-list and file functions.
//
// "*" stands for any run of characters and "?" for exactly one; every other pattern character
// compares without regard to case. The matcher compares a pattern with the beginning of a text
// and answers how much of the text it matched (0 for no match). It never backtracks: after a
// "*" the next literal run is tried at each following character and the first place where it
// fits is kept, so "*?b" does not match "xxb". A pattern that ends in "*" takes the whole text;
// otherwise the text may go on behind the match.
#ifndef KEL_FUNCTIONS_STRINGS_WILDCARD_H
#define KEL_FUNCTIONS_STRINGS_WILDCARD_H

#include <cstddef>
#include <cstdint>

#include "functions/strings/text_units.h"

namespace kel {

// Matches a text and a pattern that are both already upper-cased (UpperCopy), so that a caller
// trying one pattern at many places folds each text once. Returns the units matched (bytes in
// ANSI text, whole characters only).
std::size_t MatchUpperWildcard(TextSpan<char> text, TextSpan<char> pattern,
                               const CharacterSteps& steps);
std::size_t MatchUpperWildcard(TextSpan<char16_t> text, TextSpan<char16_t> pattern,
                               const CharacterSteps& steps);

// Matches plain texts (file names and the like), upper-casing copies first; ANSI texts are
// stepped by `codePage`. A text too long for a working copy does not match.
std::size_t MatchWildcard(const char* text, const char* pattern, std::uint32_t codePage);
std::size_t MatchWildcard(const char16_t* text, const char16_t* pattern);

}  // namespace kel

#endif  // KEL_FUNCTIONS_STRINGS_WILDCARD_H
