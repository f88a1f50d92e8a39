// Whole script texts through the exported entry points. One context serves the whole fuzzing
// run, so what one text leaves behind (variables, definitions, compiled lines, the heap's shape)
// is there for the next. It is started afresh when its variable table fills up and after every
// few thousand texts, so that what the runs leave behind stays bounded.
//
// The host keeps scripts harmless: they run in the sandbox directory, the file functions may name
// plain files there only, and a run is stopped after a budget of statements and time, so that a
// loop without end is no finding.
#include <cstdint>
#include <cstring>

#include "core/batch_context.h"
#include "core/exports.h"
#include "core/hooks.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "fuzz_support.h"
#include "kel/kel_extender.h"
#include "lang/consistency.h"
#include "lang/keyword_table.h"

namespace kel::fuzz {
namespace {

constexpr std::int32_t kSlots = KEL_DEFAULT_VARIABLE_SLOTS;
constexpr std::uint32_t kStatementBudget = 20000;
constexpr std::uint32_t kTimeBudgetMilliseconds = 2000;
constexpr std::uint32_t kTextsPerContext = 4096;

FuzzContext* host = nullptr;
EngineHooks engine{};
std::uint32_t statements = 0;
std::uint32_t started = 0;
std::uint32_t texts = 0;

// Ends the run quietly, as a host that stops a script does, once the budget is spent.
void StopWhenSpent(BatchContext& context) {
  if (++statements > kStatementBudget || platform::TickCount() - started > kTimeBudgetMilliseconds)
    context.stopRequested = 1;
}

// The argument that names a file, for the functions that read or write one.
int FileArgument(std::uint32_t code) {
  switch (code) {
    case kKeywordArrayFileGet:
    case kKeywordArrayFileGetCsv:
    case kKeywordArrayFilePut:
    case kKeywordArrayFilePutCsv:
    case kKeywordCall:
      return 0;
    default:
      return -1;
  }
}

void CallInSandbox(BatchContext& context, const char* name, bool objectAccess, std::uint32_t code,
                   EvalValue& result, EvalValue* arguments, bool readsOwnArguments, int count,
                   std::uint64_t types) {
  int file = FileArgument(code);
  if (file >= 0 &&
      (arguments == nullptr || file >= count || !IsSandboxedName(context, arguments[file].value))) {
    SetError(context, kErrNotAvailable);
    return;
  }
  engine.callBuiltin(context, name, objectAccess, code, result, arguments, readsOwnArguments, count,
                     types);
}

// The host's own function StdOut, as the `kel` command offers it, so that the test scripts the
// corpus starts from run past their first line; what it is given goes nowhere.
std::int32_t KEL_STDCALL HostEntry(void*, void*, std::uint32_t, std::int32_t request,
                                   KelAnswerFn answer, KelServicesBlock* services, std::uint32_t*,
                                   KelBoundaryValue*, std::int32_t, KelBoundaryValue*) {
  if (request != 0) return request < 0 ? 0 : -3;
  KelBoundaryValue result{};
  result.flags = KEL_VALUE_INTEGER;
  result.intValue = 1;
  return answer(0, 0, services, &result);
}

KelKeywordRow HostRow(const char* name, std::uint32_t argTypes, std::uint32_t argCounts) {
  KelKeywordRow row{};
  row.kind = 2;
  row.argTypesLow = argTypes;
  row.argCounts = argCounts;
  row.nameLength = static_cast<std::uint16_t>(std::strlen(name));
  std::memcpy(row.name, name, row.nameLength);
  return row;
}

// StdOut(value): one argument, declared as a string.
const KelKeywordRow kHostKeywords[] = {HostRow("stdout", 1, 1), KelKeywordRow{}};

void StartHost() {
  host = new FuzzContext(kSlots);
  host->Start();
  // The engine fills its hook table when the first context is made; the fuzz host wraps the
  // calls of built-in functions, and watches every statement end (the checked build's walk
  // calls it).
  EngineHooks& hooks = Hooks();
  engine = hooks;
  hooks.callBuiltin = CallInSandbox;
  WatchStatements(StopWhenSpent);
}

}  // namespace
}  // namespace kel::fuzz

using namespace kel;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterSandbox();
  fuzz::StartHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A table nearly full would refuse every new name: start a fresh context instead.
  if (fuzz::host->context().varCount > fuzz::kSlots * 3 / 4 ||
      ++fuzz::texts % fuzz::kTextsPerContext == 0) {
    fuzz::host->Stop();
    fuzz::host->Start();
  }
  platform::MemoryHandle script = platform::GlobalAllocate(size + 2, platform::Fill::Zero);
  if (script == nullptr) return 0;
  if (size > 0) std::memcpy(platform::GlobalLock(script), data, size);
  platform::GlobalUnlock(script);
  fuzz::statements = 0;
  fuzz::started = platform::TickCount();
  ProcessDaBatBuffer(nullptr, fuzz::host->handle(), script,
                     reinterpret_cast<void*>(&fuzz::HostEntry), fuzz::kHostKeywords);
  platform::GlobalFree(script);
  return 0;
}
