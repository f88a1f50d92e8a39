// Line input for the interactive session: the line-editing library where the build found one,
// plain standard input otherwise.
#include "cli/line_input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

#if defined(KEL_HAVE_LIBEDIT)
#include <editline/readline.h>
#endif

namespace kel::cli {
namespace {

bool ReadPlainLine(const char* prompt, std::string& line) {
  if (prompt != nullptr) platform::WriteStandardOutput(prompt, std::strlen(prompt));
  line.clear();
  char chunk[1024];
  while (std::fgets(chunk, sizeof chunk, stdin) != nullptr) {
    line += chunk;
    if (line.back() == '\n') break;
  }
  if (line.empty()) return false;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  return true;
}

}  // namespace

bool ReadInputLine(const char* prompt, std::string& line) {
#if defined(KEL_HAVE_LIBEDIT)
  // The library edits only what a person types; input from elsewhere is read as it comes.
  if (prompt != nullptr) {
    char* typed = readline(prompt);
    if (typed == nullptr) return false;
    line = typed;
    if (*typed != '\0') add_history(typed);
    std::free(typed);
    return true;
  }
#endif
  return ReadPlainLine(prompt, line);
}

}  // namespace kel::cli
