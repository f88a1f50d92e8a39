// The Value record that carries every datum, and the EvalValue the evaluator hands around.
// Variable slots, array elements and the statement runner's results all hold one; the
// operations on them are in lang/value.h.
#ifndef KEL_CORE_VALUE_RECORD_H
#define KEL_CORE_VALUE_RECORD_H

#include <cstddef>
#include <cstdint>

namespace kel {

// The bytes of a COM VARIANT on this build.
constexpr std::size_t kVariantBytes = sizeof(void*) == 4 ? 16 : 24;

// Representation bits of `Value::flags`.
enum ValueFlag : std::uint32_t {
  kValueInteger = 0x001,
  kValueText = 0x002,
  kValueFileHandle = 0x004,
  kValueNoValue = 0x008,
  kValueFloat = 0x020,
  kValueBufferHandle = 0x040,
  kValueWideText = 0x080,
  kValueArray = 0x100,
  kValueObject = 0x200,
  kValueObjectCompanion = 0x400,
  kValueComTemporary = 0x800,
};

// The bits that mean "this holder has a value" (as opposed to a known name without one).
constexpr std::uint32_t kValueHolding =
    kValueInteger | kValueText | kValueFloat | kValueWideText | kValueArray | kValueObject;

#pragma pack(push, 4)
struct Value {
  std::uint8_t objectData[kVariantBytes];  // a VARIANT when the object bit is set
  double floatValue;
  std::int32_t intValue;  // also the number of a file or buffer handle
  std::uint32_t flags;
  std::uintptr_t textRef;  // heap offset of the ANSI text, or the array block's address
  std::uint32_t wideRef;   // heap offset of the UTF-16 text
  std::uint32_t unused;    // never read nor copied by the value operations
};

// The Values the evaluator hands around remember where they were copied from, so that
// assignment through them and the release rules of shared texts and objects work.
struct EvalValue {
  Value value;
  std::uintptr_t originElement;  // address of the kind-3 holder copied from, else 0
  std::uint16_t originSlot;      // slot copied from; kOriginElement for an element
  std::uint16_t originFrame;     // that slot's frame
  // The representation bits (text, wide text, array) whose storage belongs to the holder the
  // value was read from: they are never freed through this Value.
  std::uint32_t borrowed;
};
#pragma pack(pop)

constexpr std::uint16_t kOriginNone = 65535;
constexpr std::uint16_t kOriginElement = 65534;

// Every build with 4-byte addresses has the 32-bit layout, whatever system it is built for.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(Value) == 44, "a Value is 44 bytes in the 32-bit layout");
static_assert(offsetof(Value, floatValue) == 16 && offsetof(Value, intValue) == 24 &&
                  offsetof(Value, flags) == 28 && offsetof(Value, textRef) == 32 &&
                  offsetof(Value, wideRef) == 36,
              "Value fields stand where extenders and hosts read them");
#endif

}  // namespace kel

#endif  // KEL_CORE_VALUE_RECORD_H
