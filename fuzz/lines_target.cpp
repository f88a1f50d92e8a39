// The line reader and the preprocessor: a text as a host hands it over (ANSI, or UTF-16 with a
// byte-order mark), prepared and hidden as for a run, then read back line by line, each line
// preprocessed as the run loop would: "%name%" substitution of the variables set up below, "%%",
// and #include lines.
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/batch_context.h"
#include "fuzz_support.h"
#include "lang/consistency.h"
#include "lang/preprocess.h"
#include "lang/variables.h"
#include "loader/line_reader.h"
#include "loader/script_file.h"
#include "loader/script_text.h"

namespace kel::fuzz {
namespace {

constexpr std::uint32_t kMostLines = 20000;

FuzzContext* host = nullptr;

// Variables for the substitutions: texts, a number, a text that is itself a reference and one
// near the longest a line may hold.
void SetUpVariables(BatchContext& context) {
  SetVariable(context, "a", "x = 1", 0, kVariableText);
  SetVariable(context, "b", "%a%", 0, kVariableText);
  SetVariable(context, "n", nullptr, 42, kVariableInteger);
  std::vector<char> longText(2040, 'l');
  longText.push_back('\0');
  SetVariable(context, "long", longText.data(), 0, kVariableText);
  const char16_t wide[] = u"w\u00e9\u4e2d";
  SetVariable(context, "w", wide, 0, kVariableWideText);
}

}  // namespace
}  // namespace kel::fuzz

using namespace kel;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::host = fuzz::StartSandboxedContext(64);
  fuzz::SetUpVariables(fuzz::host->context());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BatchContext& context = fuzz::host->context();
  // The host's block: the bytes and two zero bytes, so that a UTF-16 text ends too.
  std::vector<char> block(size + 2, '\0');
  if (size > 0) std::memcpy(block.data(), data, size);
  context.errors.errNum = 0;
  if (!ConvertWideScript(context, block.data(), block.size())) return 0;
  NormaliseLineEnds(block.data());
  ScriptText script{};
  platform::MemoryHandle prepared = PrepareScriptText(context, block.data(), "", "", script);
  context.errors.errNum = 0;
  if (prepared == nullptr) return 0;
  char line[kLineBufferBytes];
  std::uint32_t lineStart = 0, nextOffset = 0;
  for (std::uint32_t lines = 0; lines < fuzz::kMostLines; ++lines) {
    if (ReadLine(context, line, sizeof line, script, lineStart, nextOffset) == 0) break;
    if (line[0] != '\0' && line[0] != ';') PreprocessLine(context, line);
    context.errors.errNum = 0;
  }
  ReleaseScriptText(prepared);
  CheckConsistency(context);
  return 0;
}
