// The run loop: fetches the lines of a script text and hands each statement to the statement
// runner.
#ifndef KEL_LANG_RUN_LOOP_H
#define KEL_LANG_RUN_LOOP_H

#include "core/loader_state.h"
#include "lang/value.h"

namespace kel {

struct BatchContext;

// Runs a prepared (hidden) text from its first line: the main script, a called script file or
// a function body. Records definition blocks as it passes them, preprocesses each line, skips
// comments and labels, pumps messages between statements and stops on a user break.
// Returns 1 when the text ran to its end, 0 when the script must end (an error was reported, or
// a stop), and any other value the statement runner ended it with (-1: a Return left the body).
int RunLoop(BatchContext& context, const ScriptText& text, EvalValue& result);

// Loads a script file, prepares it and runs it with the run loop. Returns the run loop's result,
// or 0 after a reported load error (errNum then holds the load error's number).
int LoadScriptFile(BatchContext& context, EvalValue& result, const char* fileName);

}  // namespace kel

#endif  // KEL_LANG_RUN_LOOP_H
