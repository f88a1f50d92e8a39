// The environment variables of the script's process: reading one, setting or removing one (for
// the programs the script starts afterwards, which inherit the process's environment), and
// listing them all.
#include <string>
#include <vector>

#include "builtins/arguments.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/system/tab_list.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"
#include "platform/system_info.h"

namespace kel {
namespace {

void Read(BatchContext& context, const char* name, EvalValue& result) {
  std::string value;
  if (!platform::EnvironmentValue(name, value)) value.clear();
  SetAnsiResult(context, result, value.data(), value.size());
}

// An empty value removes the variable; a name the system refuses (empty, or holding "=")
// answers 0.
void Set(BatchContext& context, const char* name, const char* value, EvalValue& result) {
  bool valid = name[0] != '\0' && std::string(name).find('=') == std::string::npos;
  bool set = valid && platform::SetEnvironmentValue(name, value[0] != '\0' ? value : nullptr);
  SetEvalInteger(context, result, set ? 1 : 0);
}

// "NAME=value" for every variable, tab-delimited.
void Itemize(BatchContext& context, EvalValue& result) {
  std::string list = TabList(platform::EnvironmentEntries());
  SetAnsiResult(context, result, list.data(), list.size());
}

}  // namespace

KEL_FAMILY_ROUTINE(EnvironmentFunction) {
  (void)count;
  (void)unicode;
  switch (code) {
    case kKeywordEnvironment:
      return Read(context, ValueText(context, arguments[0].value), result);
    case kKeywordEnvironSet:
      return Set(context, ValueText(context, arguments[0].value),
                 ValueText(context, arguments[1].value), result);
    case kKeywordEnvItemize:
      return Itemize(context, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
