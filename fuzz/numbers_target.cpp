// Number parsing: the integer, float and radix readers and the tests of integer and hexadecimal
// texts, on the input as ANSI text and as UTF-16 text (its bytes taken in pairs), and the
// conversions of a text Value. An integer read from a text must read back from its own text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/batch_context.h"
#include "fuzz_support.h"
#include "lang/consistency.h"
#include "lang/string_heap.h"
#include "lang/value.h"

namespace kel::fuzz {
namespace {

constexpr std::size_t kLongestText = 4096;

FuzzContext* host = nullptr;

void ConvertTextValue(BatchContext& context, const char* text, std::size_t length) {
  Value value{};
  value.flags = kValueText;
  value.textRef = HeapCopyText(context, text, length);
  if (value.textRef == 0) return;
  Value asFloat = value;
  if (ToInteger(context, value, true)) {
    char digits[kNumberTextBytes];
    FormatInteger(value.intValue, digits, 10);
    if (ParseInteger(digits) != value.intValue) std::abort();
  }
  asFloat.flags = kValueText;
  asFloat.textRef = HeapCopyText(context, text, length);
  if (asFloat.textRef != 0 && ToFloat(context, asFloat)) {
    char formatted[kNumberTextBytes];
    if (FormatFloat(context, asFloat.floatValue, formatted)) {
      double again = 0;
      (void)ParseFloat(context, formatted, &again);
    }
  }
  ReleaseValue(context, asFloat, 0, kHolderOther);
  ReleaseValue(context, value, 0, kHolderOther);
  context.errors.errNum = 0;
}

}  // namespace
}  // namespace kel::fuzz

using namespace kel;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::host = fuzz::StartSandboxedContext(16);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  BatchContext& context = fuzz::host->context();
  std::size_t length = size < fuzz::kLongestText ? size : fuzz::kLongestText;
  std::vector<char> text(data, data + length);
  text.push_back('\0');
  const char* ansi = text.data();
  length = std::strlen(ansi);
  std::vector<char16_t> wide(size / 2 + 1, 0);
  for (std::size_t i = 0; i + 1 < size && i / 2 < fuzz::kLongestText; i += 2)
    wide[i / 2] = static_cast<char16_t>(data[i] | data[i + 1] << 8);

  context.errors.errNum = 0;
  std::int32_t integer = ParseInteger(ansi);
  char digits[kNumberTextBytes];
  FormatInteger(integer, digits, 10);
  if (ParseInteger(digits) != integer) std::abort();
  (void)ParseInteger(wide.data());
  double number = 0;
  (void)ParseFloat(context, ansi, &number);
  int radix = 2 + static_cast<int>(size % 35);
  (void)ParseRadix(ansi, radix);
  (void)ParseRadix(wide.data(), radix);
  (void)IsStrictIntegerText(ansi);
  (void)IsIntegerText(ansi);
  (void)IsIntegerText(wide.data());
  (void)IsHexText(ansi);
  (void)IsHexText(wide.data());
  context.errors.errNum = 0;
  fuzz::ConvertTextValue(context, ansi, length);
  CheckConsistency(context);
  return 0;
}
