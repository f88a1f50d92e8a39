// The tokenizer: every line of the input scanned token by token to its end or its first error,
// the way the statement runner drives it. The first byte of the input chooses how: with bit 0 a
// bare word is asked for every third token (get_string_token), with bit 1 every token is put back
// and read again.
#include <cstdint>
#include <cstring>

#include "core/batch_context.h"
#include "fuzz_support.h"
#include "lang/consistency.h"
#include "lang/tokenizer.h"
#include "lang/variables.h"

namespace kel::fuzz {
namespace {

constexpr int kMostTokens = 4096;
constexpr std::int32_t kSlots = 256;

FuzzContext* host = nullptr;

void ScanLine(BatchContext& context, const char* line, std::uint8_t mode) {
  context.errors.errNum = 0;
  BeginScan(context, line);
  for (int n = 0; n < kMostTokens; ++n) {
    if ((mode & 1) != 0 && n % 3 == 2)
      get_string_token(context);
    else
      get_token(context);
    if (context.errors.errNum != 0 || context.tokenizer.tokenKind == kTokenEnd) break;
    if ((mode & 2) != 0) {
      putback(context);
      get_token(context);
      if (context.errors.errNum != 0) break;
    }
  }
  context.errors.errNum = 0;
}

}  // namespace
}  // namespace kel::fuzz

using namespace kel;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::host = fuzz::StartSandboxedContext(fuzz::kSlots);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  BatchContext& context = fuzz::host->context();
  std::uint8_t mode = data[0];
  char line[kLineBufferBytes];
  std::size_t at = 1;
  while (at < size) {
    std::size_t length = 0;
    while (at + length < size && data[at + length] != '\n' && length < kLineBufferBytes - 2)
      ++length;
    std::memcpy(line, data + at, length);
    line[length] = '\0';
    fuzz::ScanLine(context, line, mode);
    at += length + 1;
  }
  // Names read become variables; a table that fills would refuse every new one.
  if (context.varCount > fuzz::kSlots / 2) RemoveByPrefix(context, "*");
  CheckConsistency(context);
  return 0;
}
