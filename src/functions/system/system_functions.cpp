// Facts about the computer, the system and the engine: the tick count, the engine's version, the
// computer's name, the system's version, measures, processor layout and network. A question
// the system cannot answer at all is 3472; an unknown request number 1809.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "builtins/arguments.h"
#include "builtins/function_groups.h"
#include "core/batch_context.h"
#include "errors/error_box.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "functions/system/tab_list.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "platform/platform.h"
#include "platform/system_info.h"

namespace kel {
namespace {

// Sets the error of a question that was not answered; true when it was.
bool Answered(BatchContext& context, platform::SystemFact fact) {
  switch (fact) {
    case platform::SystemFact::Answered:
      return true;
    case platform::SystemFact::BadRequest:
      SetError(context, kErrInvalidRequest);
      return false;
    case platform::SystemFact::Unavailable:
      break;
  }
  SetError(context, kErrNotAvailable);
  return false;
}

void SetStringResult(BatchContext& context, EvalValue& result, const std::string& text) {
  SetAnsiResult(context, result, text.data(), text.size());
}

void SetListResult(BatchContext& context, EvalValue& result,
                   const std::vector<std::string>& items) {
  SetStringResult(context, result, TabList(items));
}

void Computer(BatchContext& context, int request, EvalValue& result) {
  std::string name;
  if (Answered(context, platform::ComputerName(request, name)))
    SetStringResult(context, result, name);
}

// A fact that is one number, asked of the platform with `ask(request, number)`.
template <typename Question>
void NumberFact(BatchContext& context, Question ask, int request, EvalValue& result) {
  std::int32_t number = 0;
  platform::SystemFact fact = ask(request, number);
  if (Answered(context, fact)) SetEvalInteger(context, result, number);
}

void Processor(BatchContext& context, EvalValue& result) {
  std::vector<std::uint64_t> numbers;
  if (!Answered(context, platform::ProcessorFacts(numbers))) return;
  std::vector<std::string> items;
  for (std::uint64_t number : numbers) {
    char text[24];
    std::snprintf(text, sizeof text, "%" PRIu64, number);
    items.emplace_back(text);
  }
  SetListResult(context, result, items);
}

void WindowsVersion(BatchContext& context, int request, EvalValue& result) {
  std::int32_t number = 0;
  std::string text;
  if (!Answered(context, platform::WindowsVersionPart(request, number, text))) return;
  if (request == 3 || request == 5) return SetStringResult(context, result, text);
  SetEvalInteger(context, result, number);
}

void Network(BatchContext& context, int request, EvalValue& result) {
  std::vector<std::string> items;
  if (Answered(context, platform::NetworkFacts(request, items)))
    SetListResult(context, result, items);
}

}  // namespace

KEL_FAMILY_ROUTINE(SystemFunction) {
  (void)unicode;
  const int request = count > 0 ? arguments[0].value.intValue : 0;
  switch (code) {
    case kKeywordGetTickCount:
      return SetEvalInteger(context, result, static_cast<std::int32_t>(platform::TickCount()));
    case kKeywordVersion:
    case kKeywordVersionDll:
      return SetStringResult(context, result, EngineVersionText());
    case kKeywordComputerNameGet:
      return Computer(context, request, result);
    case kKeywordDosVersion:
      return NumberFact(context, platform::DosVersionPart, request, result);
    case kKeywordWinMetrics:
      return NumberFact(context, platform::SystemMetric, request, result);
    case kKeywordWinSysInfo:
      return Processor(context, result);
    case kKeywordWinVersion:
      return WindowsVersion(context, request, result);
    case kKeywordNetInfo:
      return Network(context, request, result);
    default:
      SetError(context, kErrFunctionNotDefined);
  }
}

}  // namespace kel
