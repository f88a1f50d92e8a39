// CreateMyArray's shapes and errors, and the replacement of a shared record.
#include "lang/array_record.h"
#include "lang/variables.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

class ArrayRecordTest : public EngineFixture {};

TEST_F(ArrayRecordTest, CreatesShapes) {
  Value result{};
  EXPECT_EQ(CreateMyArray(context(), result, 3, 4, 0, 0, 0, 7, 2), 1);
  auto* array = reinterpret_cast<ArrayRecord*>(result.textRef);
  EXPECT_EQ(result.flags, kValueArray);
  EXPECT_EQ(array->dimensionCount, 2);
  EXPECT_EQ(array->elementCount, 12u);
  EXPECT_EQ(array->dataSize, 12u * sizeof(Value));
  EXPECT_EQ(array->creatorFlag, 7);
  EXPECT_EQ(array->elements, reinterpret_cast<Value*>(array + 1));
  EXPECT_EQ(ArrayHolderCount(array), 1u);
  ReleaseArrayHolder(context(), array);

  Value empty{};
  EXPECT_EQ(CreateMyArray(context(), empty, 0, 5, 0, 0, 0, 0, 2), 0);
  EXPECT_EQ(reinterpret_cast<ArrayRecord*>(empty.textRef)->dimensionCount, 0);
  ReleaseArrayHolder(context(), reinterpret_cast<ArrayRecord*>(empty.textRef));
}

TEST_F(ArrayRecordTest, ReportsErrors) {
  Value result{};
  EXPECT_EQ(CreateMyArray(context(), result, -1, 0, 0, 0, 0, 0, 1), -1);
  EXPECT_EQ(context().errors.errNum, 1628u);
  context().errors.errNum = 0;
  EXPECT_EQ(CreateMyArray(context(), result, 3, 0, 2, 0, 0, 0, 3), -1);
  EXPECT_EQ(context().errors.errNum, 1630u);
  context().errors.errNum = 0;
  EXPECT_EQ(CreateMyArray(context(), result, 100000, 100000, 0, 0, 0, 0, 2), -1);
  EXPECT_EQ(context().errors.errNum, 1644u);
  context().errors.errNum = 0;
}

TEST_F(ArrayRecordTest, ReplacementRepointsVariablesAndCarriesHolders) {
  Value made{};
  ASSERT_EQ(CreateMyArray(context(), made, 2, 0, 0, 0, 0, 0, 1), 1);
  SetVariable(context(), "first", reinterpret_cast<void*>(made.textRef), 0, kVariableArray);
  auto* old = reinterpret_cast<ArrayRecord*>(made.textRef);
  AddArrayHolder(old);
  SetVariable(context(), "second", old, 0, kVariableArray);
  Value bigger{};
  ASSERT_EQ(CreateMyArray(context(), bigger, 5, 0, 0, 0, 0, 0, 1), 1);
  auto* replacement = reinterpret_cast<ArrayRecord*>(bigger.textRef);
  ReplaceArrayRecord(context(), old, replacement, nullptr, 0);
  for (const char* name : {"first", "second"}) {
    std::uint16_t slot = FindSlot(context(), name);
    ASSERT_NE(slot, kNoSlot);
    EXPECT_EQ(context().varSlots[slot].value.textRef,
              reinterpret_cast<std::uintptr_t>(replacement));
  }
  EXPECT_EQ(ArrayHolderCount(replacement), 2u);
}

}  // namespace
}  // namespace kel::testing
