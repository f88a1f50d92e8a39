// The lines a person types in the interactive session of the `kel` command.
#ifndef KEL_CLI_LINE_INPUT_H
#define KEL_CLI_LINE_INPUT_H

#include <string>

namespace kel::cli {

// Reads one line without its line end into `line`, showing `prompt` first when it is not null;
// false at the end of input. Where the build has a line-editing library, a terminal gets line
// editing and a history of the lines typed.
bool ReadInputLine(const char* prompt, std::string& line);

}  // namespace kel::cli

#endif  // KEL_CLI_LINE_INPUT_H
