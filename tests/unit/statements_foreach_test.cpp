// ForEach over arrays: the elements in row-major order, the array held by the enumeration and
// given back however the loop ends, and values that cannot be enumerated.
#include <string>
#include <vector>

#include "errors/error_numbers.h"
#include "lang/array_record.h"
#include "lang/foreach.h"
#include "lang/string_heap.h"
#include "unit/statements_support.h"

namespace kel::testing {
namespace {

class ForEachTest : public StatementsTest {
 protected:
  // Makes `name` an array of the given sizes whose elements are the integers 1, 2, ... in
  // storage order, except those listed in `texts` (index, text) and `empty`.
  ArrayRecord* MakeArray(const char* name, std::vector<std::uint32_t> sizes,
                         std::vector<std::pair<std::uint32_t, std::string>> texts = {},
                         std::vector<std::uint32_t> empty = {}) {
    std::uint32_t count = 1;
    for (std::uint32_t size : sizes)
      count *= size;
    platform::MemoryHandle block =
        platform::GlobalAllocate(sizeof(ArrayRecord) + count * sizeof(Value), platform::Fill::Zero);
    // The variable's lock is its holder.
    auto* record = static_cast<ArrayRecord*>(platform::GlobalLock(block));
    for (std::size_t i = 0; i < sizes.size(); ++i)
      record->sizes[i] = sizes[i];
    record->dimensionCount = static_cast<std::uint8_t>(sizes.size());
    record->elements = reinterpret_cast<Value*>(record + 1);
    record->elementCount = count;
    record->dataSize = count * static_cast<std::uint32_t>(sizeof(Value));
    for (std::uint32_t i = 0; i < count; ++i) {
      record->elements[i].flags = kValueInteger;
      record->elements[i].intValue = static_cast<std::int32_t>(i + 1);
    }
    for (const auto& [index, text] : texts) {
      record->elements[index].flags = kValueText;
      record->elements[index].textRef = Text(text);
    }
    for (std::uint32_t index : empty)
      record->elements[index].flags = 0;
    std::uint16_t slot = FindOrCreateSlot(context(), name);
    Value& value = context().varSlots[slot].value;
    value.flags = kValueArray;
    value.textRef = reinterpret_cast<std::uintptr_t>(record);
    return record;
  }
  void DropArray(const char* name) {
    std::uint16_t slot = FindSlot(context(), name);
    if (slot != kNoSlot) RemoveSlot(context(), slot);
  }
};

TEST_F(ForEachTest, ElementsComeInRowMajorOrder) {
  ArrayRecord* array = MakeArray("grid", {2, 3}, {{4, "five"}});
  ASSERT_EQ(Run("ForEach e In grid\n  note %e%\nNext\nnote done\n"), 1) << Headline();
  EXPECT_EQ(NoteTexts(), (std::vector<std::string>{"1", "2", "3", "4", "five", "6", "done"}));
  // The loop's own hold on the array is given back; only the variable's is left.
  EXPECT_EQ(ArrayHolderCount(array), 1u);
  // The loop variable holds a copy of the last element, not the element's own text.
  EXPECT_EQ(Integer("e"), 6);
  DropArray("grid");
  ExpectHeapSound();
}

TEST_F(ForEachTest, TheArrayIsGivenBackHoweverTheLoopEnds) {
  ArrayRecord* array = MakeArray("items", {4});
  struct Case {
    const char* text;
    std::vector<std::string> notes;
  } cases[] = {
      {"ForEach e In items\n  If e == 2 Then Break\n  note %e%\nNext\nnote after\n",
       {"1", "after"}},
      {"ForEach e In items\n  If e == 2 Then Continue\n  note %e%\nNext\n", {"1", "3", "4"}},
      {"ForEach e In items\n  If e == 2\n    Break\n  EndIf\n  note %e%\nNext\n", {"1"}},
      {"ForEach e In items\n  note %e%\n  Exit\nNext\n", {"1"}},
      {"Gosub r\nnote back\nExit\n:r\nForEach e In items\n  Return\nNext\n", {"back"}},
      {"ForEach a In items\n  ForEach b In items\n    If b == 2 Then Break\n  Next\n  note "
       "%a%-%b%\nNext\n",
       {"1-2", "2-2", "3-2", "4-2"}},
  };
  for (const Case& c : cases) {
    Run(c.text);
    EXPECT_EQ(NoteTexts(), c.notes) << c.text << Headline();
    EXPECT_EQ(ArrayHolderCount(array), 1u) << c.text;
  }
  DropArray("items");
  ExpectHeapSound();
}

TEST_F(ForEachTest, TheLoopKeepsItsArrayWhenTheVariableGoes) {
  MakeArray("items", {3});
  ASSERT_EQ(Run("ForEach e In items\n  items = 0\n  note %e%\nNext\n"), 1) << Headline();
  EXPECT_EQ(NoteTexts(), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(Integer("items"), 0);
  ExpectHeapSound();
}

TEST_F(ForEachTest, AnElementNeverAssignedLeavesTheVariableWithoutValue) {
  MakeArray("gaps", {3}, {}, {1});
  ASSERT_EQ(Run("n = 0\nForEach e In gaps\n  n = n + 1\nNext\n"), 1) << Headline();
  EXPECT_EQ(Integer("n"), 3);
  // Reading the variable at the second element is reading a variable without value.
  EXPECT_EQ(Run("ForEach e In gaps\n  n = e\nNext\n"), 0);
  EXPECT_EQ(Error(), kErrUninitializedVariable);
  EXPECT_EQ(Integer("n"), 1);
  std::uint16_t slot = FindSlot(context(), "e");
  ASSERT_NE(slot, kNoSlot);
  EXPECT_EQ(context().varSlots[slot].value.flags, kValueNoValue);
  DropArray("gaps");
}

TEST_F(ForEachTest, GotoCannotLeaveAForEach) {
  ArrayRecord* array = MakeArray("items", {2});
  EXPECT_EQ(Run("ForEach e In items\n  Goto out\nNext\n:out\n"), 0);
  EXPECT_EQ(Error(), kErrGotoInForEach);
  EXPECT_EQ(ArrayHolderCount(array), 1u);
  // A function called from the loop has a body of its own, where Goto is free.
  EXPECT_EQ(Run("#DefineFunction f()\n  Goto done\n  :done\n  Return 7\n#EndFunction\nForEach e In "
                "items\n  x = f()\nNext\n"),
            1)
      << Headline();
  EXPECT_EQ(Integer("x"), 7);
  DropArray("items");
}

TEST_F(ForEachTest, TheEnumerationOperations) {
  ArrayRecord* array = MakeArray("items", {2}, {{1, "two"}});
  EvalValue collection;
  ResetEval(collection);
  collection.value.flags = kValueArray;
  collection.value.textRef = reinterpret_cast<std::uintptr_t>(array);
  Enumeration enumeration{};
  ASSERT_TRUE(StartEnumeration(context(), collection, enumeration));
  EXPECT_EQ(ArrayHolderCount(array), 2u);
  std::uint16_t slot = FindOrCreateSlot(context(), "target");
  ASSERT_TRUE(NextElement(context(), enumeration, slot));
  EXPECT_EQ(context().varSlots[slot].value.intValue, 1);
  ASSERT_TRUE(NextElement(context(), enumeration, slot));
  const Value& second = context().varSlots[slot].value;
  ASSERT_EQ(second.flags, kValueText);
  EXPECT_STREQ(ValueText(context(), second), "two");
  // The variable has a text of its own.
  const std::uintptr_t variableText = second.textRef, elementText = array->elements[1].textRef;
  EXPECT_NE(variableText, elementText);
  EXPECT_FALSE(NextElement(context(), enumeration, slot));
  ReleaseEnumeration(context(), enumeration);
  EXPECT_EQ(ArrayHolderCount(array), 1u);
  // Values that are not collections are refused, never enumerated as empty.
  for (std::uint32_t flags : {std::uint32_t{kValueInteger}, std::uint32_t{kValueText},
                              std::uint32_t{kValueFloat}, std::uint32_t{0}}) {
    EvalValue value;
    ResetEval(value);
    value.value.flags = flags;
    Enumeration none{};
    context().errors.errNum = 0;
    EXPECT_FALSE(StartEnumeration(context(), value, none));
    EXPECT_EQ(Error(), kErrVariableNotArray);
    EXPECT_EQ(none.active, 0);
  }
  context().errors.errNum = 0;
  DropArray("items");
  DropArray("target");
  ExpectHeapSound();
}

}  // namespace
}  // namespace kel::testing
