// The ground the text functions stand on: argument texts, stepping through ANSI text by
// characters, character positions, upper-cased working copies and result strings.
//
// Every text function exists in an ANSI form (bytes in the script's code page, where a lead
// byte and the byte after it are one character) and a UTF-16 form (one unit, one character).
// The routines here are written once for both unit types, so a function body is a template
// over `Unit` (char or char16_t) and the two forms cannot drift apart.
#ifndef KEL_FUNCTIONS_STRINGS_TEXT_UNITS_H
#define KEL_FUNCTIONS_STRINGS_TEXT_UNITS_H

#include <cstddef>
#include <cstdint>

#include "lang/value.h"
#include "platform/platform.h"

namespace kel {

struct BatchContext;

// A text and its length in units (bytes or UTF-16 units), without its terminator.
template <typename Unit>
struct TextSpan {
  const Unit* data;
  std::size_t length;
};

// The text of a converted argument in the form the function runs in.
TextSpan<char> AnsiArgument(const BatchContext& context, const EvalValue& argument);
TextSpan<char16_t> WideArgument(const BatchContext& context, const EvalValue& argument);
template <typename Unit>
TextSpan<Unit> TextArgument(const BatchContext& context, const EvalValue& argument);

std::size_t WideLength(const char16_t* text);
// Whether two ANSI texts are equal when compared without regard to case (the platform's
// per-character upper-casing), as names and keywords given as arguments are compared.
bool SameAnsiText(const char* a, const char* b);

// How ANSI text is stepped through: the platform's next-character rule for the script's code
// page (a lead byte followed by a byte that is not the terminator makes one character). The
// lead bytes are only looked up once a byte above 127 turns up, so plain ASCII text costs
// nothing; UTF-16 text steps one unit at a time.
class CharacterSteps {
 public:
  explicit CharacterSteps(std::uint32_t codePage);
  explicit CharacterSteps(const BatchContext& context);

  bool IsLead(unsigned char byte) const {
    if (byte < 0x80 || !mayHaveLeads_) return false;
    if (!filled_) Fill();
    return leads_[byte - 0x80];
  }
  // The offset of the character after the one at `offset`.
  std::size_t Next(const char* text, std::size_t length, std::size_t offset) const {
    return IsLead(static_cast<unsigned char>(text[offset])) && offset + 1 < length &&
                   text[offset + 1] != '\0'
               ? offset + 2
               : offset + 1;
  }
  std::size_t Next(const char16_t*, std::size_t, std::size_t offset) const { return offset + 1; }
  // Whether a text holds a double-byte character; without one its bytes are its characters.
  bool HasDoubleByte(const char* text, std::size_t length) const;
  bool HasDoubleByte(const char16_t*, std::size_t) const { return false; }

 private:
  void Fill() const;

  std::uint32_t codePage_;
  bool mayHaveLeads_;
  mutable bool filled_ = false;
  // Filled by Fill() before the first look; left unset until then, as most steppers never look.
  mutable bool leads_[128];
};

// A working buffer: small ones live inside the object, larger ones in global memory. The
// engine reports a buffer it cannot have as 1588.
template <typename T>
class WorkBuffer {
 public:
  WorkBuffer() = default;
  WorkBuffer(const WorkBuffer&) = delete;
  WorkBuffer& operator=(const WorkBuffer&) = delete;
  ~WorkBuffer() { Release(); }

  // Room for `count` elements; false when memory cannot be had.
  bool Allocate(std::size_t count) {
    Release();
    if (count <= kInline) {
      data_ = inline_;
      return true;
    }
    if (count > SIZE_MAX / sizeof(T)) return false;
    handle_ = platform::GlobalAllocate(count * sizeof(T), platform::Fill::Uninitialised);
    if (handle_ == nullptr) return false;
    data_ = static_cast<T*>(platform::GlobalLock(handle_));
    if (data_ == nullptr) Release();
    return data_ != nullptr;
  }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t index) { return data_[index]; }
  const T& operator[](std::size_t index) const { return data_[index]; }

 private:
  static constexpr std::size_t kInline = 512 / sizeof(T);

  void Release() {
    if (handle_ != nullptr) {
      platform::GlobalUnlock(handle_);
      platform::GlobalFree(handle_);
      handle_ = nullptr;
    }
    data_ = nullptr;
  }

  T inline_[kInline];
  T* data_ = nullptr;
  platform::MemoryHandle handle_ = nullptr;
};

// Character positions of a text: where each character starts. A text whose characters are all
// one unit long needs no table; one with double-byte characters gets one, so that positions
// are found at once however often a function asks.
template <typename Unit>
class CharacterIndex {
 public:
  // False when the table cannot be had (1588 is for the caller to set).
  bool Build(const CharacterSteps& steps, TextSpan<Unit> text);
  std::size_t Count() const { return count_; }
  // The unit offset where character `index` (0-based) starts; Offset(Count()) is the length.
  std::size_t Offset(std::size_t index) const { return stepped_ ? offsets_[index] : index; }
  // The number of characters that start before unit offset `offset`.
  std::size_t IndexOf(std::size_t offset) const;
  // Whether a character starts at `offset` (the end counts).
  bool IsBoundary(std::size_t offset) const;

 private:
  bool stepped_ = false;
  std::size_t count_ = 0;
  std::size_t length_ = 0;
  WorkBuffer<std::uint32_t> offsets_;
};

// CharacterIndex::Build for a function: false with 1588 when the table cannot be had.
template <typename Unit>
bool BuildIndex(BatchContext& context, CharacterIndex<Unit>& index, const CharacterSteps& steps,
                TextSpan<Unit> text);

// Runs `body` with a tag of the form's unit type: char16_t for the UTF-16 form, else char, so
// that one generic body serves both forms: InForm(wide, [&](auto unit) { F<decltype(unit)>(); }).
template <typename Body>
void InForm(bool wide, Body&& body) {
  if (wide)
    body(char16_t{});
  else
    body(char{});
}

// An upper-cased copy of a text, as the case-insensitive comparisons see it (the platform's
// per-character upper-casing; the length never changes). False when memory is short.
template <typename Unit>
bool UpperCopy(TextSpan<Unit> text, WorkBuffer<Unit>& copy);

// A new result string of `length` units (the terminator is written): the result Value holds it
// as an ANSI or UTF-16 text and the caller fills it. Null with 3096 when the heap is full. The
// length is taken wide so that a size computed in 64 bits is never cut short on 32-bit builds.
template <typename Unit>
Unit* NewTextResult(BatchContext& context, EvalValue& result, std::uint64_t length);
// A new result string copied from `text`; false with 3096 when the heap is full.
template <typename Unit>
bool SetTextResult(BatchContext& context, EvalValue& result, const Unit* text, std::size_t length);
// An empty result string of the form's kind.
template <typename Unit>
bool SetEmptyResult(BatchContext& context, EvalValue& result) {
  return SetTextResult<Unit>(context, result, nullptr, 0);
}

}  // namespace kel

#endif  // KEL_FUNCTIONS_STRINGS_TEXT_UNITS_H
