// Splitting a command line into the variables param1..paramN and Param0.
#ifndef KEL_LANG_SCRIPT_PARAMETERS_H
#define KEL_LANG_SCRIPT_PARAMETERS_H

namespace kel {

struct BatchContext;

// Removes the pieces of the previous split, then stores each piece of `text` (separated by
// blanks; ", ' and ` quote runs, a doubled quote stands for one) as the text variable
// "param<k>" and their count in "Param0". Returns the count.
int SplitParameters(BatchContext& context, const char* text);
int SplitParameters(BatchContext& context, const char16_t* text);

}  // namespace kel

#endif  // KEL_LANG_SCRIPT_PARAMETERS_H
