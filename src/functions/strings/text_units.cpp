// Argument texts, character stepping and positions, upper-cased copies and result strings.
#include "functions/strings/text_units.h"

#include <cstring>

#include "core/batch_context.h"
#include "core/process_state.h"
#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/eval_value.h"
#include "lang/string_heap.h"

namespace kel {

std::size_t WideLength(const char16_t* text) {
  const char16_t* end = text;
  while (*end != 0)
    ++end;
  return static_cast<std::size_t>(end - text);
}

bool SameAnsiText(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (platform::UpperAnsi(*a) != platform::UpperAnsi(*b)) return false;
  return *a == *b;
}

TextSpan<char> AnsiArgument(const BatchContext& context, const EvalValue& argument) {
  const char* text = ValueText(context, argument.value);
  return {text, std::strlen(text)};
}

TextSpan<char16_t> WideArgument(const BatchContext& context, const EvalValue& argument) {
  const char16_t* text = ValueWideText(context, argument.value);
  return {text, WideLength(text)};
}

template <>
TextSpan<char> TextArgument<char>(const BatchContext& context, const EvalValue& argument) {
  return AnsiArgument(context, argument);
}

template <>
TextSpan<char16_t> TextArgument<char16_t>(const BatchContext& context, const EvalValue& argument) {
  return WideArgument(context, argument);
}

// ----------------------------------------------------------------------------------------------
// Stepping.

CharacterSteps::CharacterSteps(std::uint32_t codePage)
    : codePage_(codePage),
      // The system code page of a system without double-byte support has no lead bytes.
      mayHaveLeads_(codePage != 0 || Process().system.doubleByteEnabled) {}

CharacterSteps::CharacterSteps(const BatchContext& context) : CharacterSteps(context.codePage) {}

void CharacterSteps::Fill() const {
  for (int byte = 0x80; byte < 0x100; ++byte)
    leads_[byte - 0x80] = platform::IsDoubleByteLead(codePage_, static_cast<unsigned char>(byte));
  filled_ = true;
}

bool CharacterSteps::HasDoubleByte(const char* text, std::size_t length) const {
  if (!mayHaveLeads_) return false;
  for (std::size_t i = 0; i + 1 < length; ++i)
    if (IsLead(static_cast<unsigned char>(text[i]))) return true;
  return false;
}

// ----------------------------------------------------------------------------------------------
// Character positions.

template <typename Unit>
bool CharacterIndex<Unit>::Build(const CharacterSteps& steps, TextSpan<Unit> text) {
  length_ = text.length;
  stepped_ = steps.HasDoubleByte(text.data, text.length);
  if (!stepped_) {
    count_ = text.length;
    return true;
  }
  std::size_t count = 0;
  for (std::size_t offset = 0; offset < text.length;
       offset = steps.Next(text.data, text.length, offset))
    ++count;
  if (!offsets_.Allocate(count + 1)) return false;
  std::size_t index = 0;
  for (std::size_t offset = 0; offset < text.length;
       offset = steps.Next(text.data, text.length, offset))
    offsets_[index++] = static_cast<std::uint32_t>(offset);
  offsets_[count] = static_cast<std::uint32_t>(text.length);
  count_ = count;
  return true;
}

template <typename Unit>
std::size_t CharacterIndex<Unit>::IndexOf(std::size_t offset) const {
  if (!stepped_) return offset;
  std::size_t low = 0, high = count_;  // the first index whose offset is not below `offset`
  while (low < high) {
    std::size_t middle = low + (high - low) / 2;
    if (offsets_[middle] < offset)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

template <typename Unit>
bool CharacterIndex<Unit>::IsBoundary(std::size_t offset) const {
  if (!stepped_ || offset >= length_) return offset <= length_;
  std::size_t index = IndexOf(offset);
  return index < count_ && offsets_[index] == offset;
}

template class CharacterIndex<char>;
template class CharacterIndex<char16_t>;

template <typename Unit>
bool BuildIndex(BatchContext& context, CharacterIndex<Unit>& index, const CharacterSteps& steps,
                TextSpan<Unit> text) {
  if (index.Build(steps, text)) return true;
  SetError(context, kErrUnableToAllocate);
  return false;
}

template bool BuildIndex<char>(BatchContext&, CharacterIndex<char>&, const CharacterSteps&,
                               TextSpan<char>);
template bool BuildIndex<char16_t>(BatchContext&, CharacterIndex<char16_t>&, const CharacterSteps&,
                                   TextSpan<char16_t>);

// ----------------------------------------------------------------------------------------------
// Upper-cased copies.

template <>
bool UpperCopy<char>(TextSpan<char> text, WorkBuffer<char>& copy) {
  if (!copy.Allocate(text.length + 1)) return false;
  if (text.length > 0) std::memcpy(copy.data(), text.data, text.length);
  copy[text.length] = '\0';
  platform::UpperAnsiText(copy.data(), text.length);
  return true;
}

template <>
bool UpperCopy<char16_t>(TextSpan<char16_t> text, WorkBuffer<char16_t>& copy) {
  if (!copy.Allocate(text.length + 1)) return false;
  if (text.length > 0) std::memcpy(copy.data(), text.data, text.length * sizeof(char16_t));
  copy[text.length] = 0;
  platform::UpperWideText(copy.data(), text.length);
  return true;
}

// ----------------------------------------------------------------------------------------------
// Results.

template <typename Unit>
Unit* NewTextResult(BatchContext& context, EvalValue& result, std::uint64_t length) {
  // The heap measures blocks in 32-bit sizes; a text that cannot be one is out of memory too.
  constexpr std::uint64_t kLargest = 0x7FFF0000u / sizeof(Unit) - 1;
  std::uint32_t offset =
      length >= kLargest
          ? 0
          : VMalloc(context, static_cast<std::uint32_t>((length + 1) * sizeof(Unit)));
  if (offset == 0) {
    SetError(context, kErrOutOfStringMemory);
    return nullptr;
  }
  auto* text = reinterpret_cast<Unit*>(context.heapBase + offset);
  text[static_cast<std::size_t>(length)] = 0;
  ReleaseEval(context, result);
  if constexpr (sizeof(Unit) == 1) {
    result.value.flags = kValueText;
    result.value.textRef = offset;
  } else {
    result.value.flags = kValueWideText;
    result.value.wideRef = offset;
  }
  return text;
}

template <typename Unit>
bool SetTextResult(BatchContext& context, EvalValue& result, const Unit* text, std::size_t length) {
  Unit* out = NewTextResult<Unit>(context, result, length);
  if (out == nullptr) return false;
  if (length > 0) std::memmove(out, text, length * sizeof(Unit));
  return true;
}

template char* NewTextResult<char>(BatchContext&, EvalValue&, std::uint64_t);
template char16_t* NewTextResult<char16_t>(BatchContext&, EvalValue&, std::uint64_t);
template bool SetTextResult<char>(BatchContext&, EvalValue&, const char*, std::size_t);
template bool SetTextResult<char16_t>(BatchContext&, EvalValue&, const char16_t*, std::size_t);

}  // namespace kel
