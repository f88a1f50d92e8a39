// The single-step box "DEBUG": before each statement of a script run in single-step mode it shows
// the script's name, what the statement before did, and the statement that runs next, and lets
// the user step on, run on, cancel the script, or look at a variable.
#ifndef KEL_PLATFORM_STEP_BOX_H
#define KEL_PLATFORM_STEP_BOX_H

#include <string>

namespace kel::platform {

// Whether this system can show the box (it needs a window system).
bool StepBoxAvailable();

enum class StepChoice { Next, Run, Cancel };

// What the box shows; `buttons` are the captions of Next, Run, Cancel and Show Var.
struct StepBoxTexts {
  const char* script;
  const char* previous;
  const char* nextLabel;
  const char* next;
  const char* buttons[4];
};

// The line the variable field shows for what the user typed into it (Show Var).
using VariableLookup = std::string (*)(void* data, const std::string& typed);

// Shows the box owned by `owner` (where the user last left it) until a button ends it. A box that
// cannot be shown answers Run, so that the script goes on without it.
StepChoice ShowStepBox(void* owner, const StepBoxTexts& texts, VariableLookup lookup, void* data);

}  // namespace kel::platform

#endif  // KEL_PLATFORM_STEP_BOX_H
