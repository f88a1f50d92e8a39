// Built-in functions called with fuzzed arguments, through the dispatcher as the evaluator calls
// them, so that every argument is converted to the type its parameter declares. The functions
// are the ones the build names in KEL_FUZZ_FUNCTIONS (X(Identifier) each, Identifier as in
// lang/keywords.inc); inputs name them by their place in that list, so the list only grows at
// its end.
//
// An input is: one byte choosing the function, one byte of flags (bit 0: the texts are UTF-16,
// bits 1..4: how many arguments are given, held between the function's least and most), then the
// arguments as texts separated by zero bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "builtins/dispatch.h"
#include "core/batch_context.h"
#include "fuzz_support.h"
#include "lang/consistency.h"
#include "lang/eval_value.h"
#include "lang/keyword_table.h"
#include "lang/string_heap.h"

namespace kel::fuzz {
namespace {

#define X(identifier) kKeyword##identifier,
constexpr std::uint32_t kFunctions[] = {KEL_FUZZ_FUNCTIONS};
#undef X
constexpr std::size_t kFunctionCount = sizeof kFunctions / sizeof kFunctions[0];
constexpr int kMostArguments = 16;

FuzzContext* host = nullptr;

// One argument as a text Value: ANSI as it stands, or UTF-16 from its bytes one unit each.
void MakeArgument(BatchContext& context, EvalValue& argument, const std::uint8_t* text,
                  std::size_t length, bool wide) {
  ResetEval(argument);
  if (wide) {
    std::vector<char16_t> units(text, text + length);
    argument.value.wideRef = HeapCopyWide(context, units.data(), units.size());
    argument.value.flags = kValueWideText;
  } else {
    argument.value.textRef = HeapCopyText(context, reinterpret_cast<const char*>(text), length);
    argument.value.flags = kValueText;
  }
}

void Call(BatchContext& context, const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  std::uint32_t code = kFunctions[data[0] % kFunctionCount];
  const KelKeywordRow* row = KeywordRow(code);
  int required = static_cast<int>(row->argCounts & 0xFF);
  int optional = static_cast<int>((row->argCounts >> 8) & 0xFF);
  int count = std::clamp(data[1] >> 1 & 0x0F, required, required + optional);
  if (count > kMostArguments) count = kMostArguments;
  bool wide = (data[1] & 1) != 0;
  std::uint64_t types = std::uint64_t{row->argTypesLow} | std::uint64_t{row->argTypesHigh} << 32;

  EvalValue arguments[kMostArguments];
  std::size_t at = 2;
  for (int i = 0; i < count; ++i) {
    std::size_t length = 0;
    while (at + length < size && data[at + length] != 0)
      ++length;
    MakeArgument(context, arguments[i], data + at, length, wide);
    at = at + length < size ? at + length + 1 : size;
  }
  EvalValue result;
  ResetEval(result);
  context.errors.errNum = 0;
  CallBuiltin(context, row->name, false, code, result, arguments, false, count, types);
  ReleaseEval(context, result);
  for (int i = 0; i < count; ++i)
    ReleaseEval(context, arguments[i]);
  context.errors.errNum = 0;
}

}  // namespace
}  // namespace kel::fuzz

using namespace kel;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::host = fuzz::StartSandboxedContext(64);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BatchContext& context = fuzz::host->context();
  fuzz::Call(context, data, size);
  CheckConsistency(context);
  return 0;
}
