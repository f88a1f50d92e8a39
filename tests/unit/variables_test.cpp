// Variable slots, name folding, frames and pointer texts.
#include <cstring>
#include <string>

#include "errors/error_numbers.h"
#include "errors/error_state.h"
#include "lang/string_heap.h"
#include "lang/variables.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

class VariablesTest : public EngineFixture {
 protected:
  std::string TextOf(const char* name) {
    char buffer[256];
    return VariableText(context(), name, buffer, sizeof buffer) ? buffer : "<none>";
  }
  void SetText(const char* name, const char* text) {
    SetVariable(context(), name, text, 0, kVariableText);
  }
};

TEST_F(VariablesTest, SetFindAndReadBack) {
  SetText("Greeting", "hello");
  SetVariable(context(), "count", nullptr, 42, kVariableInteger);
  EXPECT_EQ(TextOf("GREETING"), "hello");
  EXPECT_EQ(TextOf("count"), "42");
  std::uint16_t slot = find_var(context(), "greeting", true);
  ASSERT_NE(slot, kNoSlot);
  EXPECT_STREQ(context().varSlots[slot].slotName, "greeting");
  EXPECT_EQ(find_var(context(), "absent", true), kNoSlot);
  EXPECT_EQ(context().errors.errNum, kErrUndefinedVariable);
  EXPECT_EQ(TextOf("absent"), "<none>");
}

TEST_F(VariablesTest, AKnownNameWithoutValueIsUninitialised) {
  std::uint16_t slot = FindOrCreateSlot(context(), "pending");
  ASSERT_NE(slot, kNoSlot);
  EXPECT_EQ(FindSlot(context(), "PENDING"), slot);
  context().errors.errNum = 0;
  EXPECT_EQ(find_var(context(), "pending", true), kNoSlot);
  EXPECT_EQ(context().errors.errNum, kErrUninitializedVariable);
  char info[1100];
  MoreErrorInfoText(context(), info, sizeof info);
  EXPECT_STREQ(info, "Uninitialized variable or undefined function:\n\n    pending");
}

TEST_F(VariablesTest, SettingAVariableFromItsOwnText) {
  SetText("a", "abc");
  std::uint16_t slot = FindSlot(context(), "a");
  const char* own =
      reinterpret_cast<const char*>(context().heapBase + context().varSlots[slot].value.textRef);
  SetVariable(context(), "a", own + 1, 0, kVariableText);
  EXPECT_EQ(TextOf("a"), "bc");
  ExpectHeapSound();
}

TEST_F(VariablesTest, LongNamesAreFoldedNotRefused) {
  const char* longName = "abcdefghijklmnopqrstuvwxyzABCDE";  // 31 characters
  char folded[kNameBytes];
  FoldName(longName, std::strlen(longName), folded);
  EXPECT_EQ(std::strlen(folded), 30u);
  EXPECT_EQ(folded[5], static_cast<char>('f' + 'E'))
      << "the 31st character is added onto position 5";
  EXPECT_EQ(std::string(folded, 5), "abcde");
  SetText(longName, "kept");
  EXPECT_EQ(TextOf(longName), "kept");
  EXPECT_EQ(TextOf("abcdefghijklmnopqrstuvwxyzABCDF"), "<none>")
      << "names differing at the end fold apart";
}

TEST_F(VariablesTest, RemovedSlotsAreReusedAndTheCountShrinksFromTheTop) {
  SetText("one", "1");
  SetText("two", "2");
  SetText("three", "3");
  std::uint16_t count = context().varCount;
  RemoveSlot(context(), FindSlot(context(), "three"));
  EXPECT_EQ(context().varCount, count - 1) << "removing the highest slot lowers the count";
  std::uint16_t gap = FindSlot(context(), "one");
  RemoveSlot(context(), gap);
  EXPECT_EQ(context().varCount, count - 1) << "removing another leaves a gap";
  SetText("four", "4");
  EXPECT_EQ(FindSlot(context(), "four"), gap) << "the next new name fills the gap";
  ExpectHeapSound();
}

TEST_F(VariablesTest, TheTableRefusesANameWhenFull) {
  char name[16];
  int made = 0;
  for (int i = 0; i < kSlots + 5; ++i) {
    std::snprintf(name, sizeof name, "v%d", i);
    context().errors.errNum = 0;
    SetVariable(context(), name, nullptr, i, kVariableInteger);
    if (context().errors.errNum != 0) break;
    ++made;
  }
  EXPECT_EQ(context().errors.errNum, kErrOutOfVariableMemory);
  EXPECT_EQ(made, kSlots - 2) << "slot 0 is reserved and one slot always stays unused";
}

TEST_F(VariablesTest, DropWildRemovesByPrefix) {
  for (const char* name : {"tmpA", "tmpB", "TMPc", "keep"})
    SetText(name, "x");
  EXPECT_EQ(RemoveByPrefix(context(), "TMP*"), 3);
  EXPECT_EQ(TextOf("keep"), "x");
  EXPECT_EQ(RemoveByPrefix(context(), "keep"), 0) << "a pattern must end with *";
  EXPECT_EQ(RemoveByPrefix(context(), ""), 0);
  EXPECT_EQ(RemoveByPrefix(context(), "*"), 1) << "the reserved slot 0 is never removed";
  EXPECT_EQ(FindSlot(context(), ""), 0);
}

TEST_F(VariablesTest, PointersReadAndWriteAcrossFrames) {
  SetText("target", "main value");
  char pointer[80];
  ASSERT_GT(MakePointerText(context(), "target", pointer, sizeof pointer), 37u);
  EXPECT_EQ(std::string(pointer, 9), "#VAR$PTR#");

  int frame = AllocateFrame(context(), 16);
  ASSERT_GE(frame, 1);
  SavedFrame saved;
  ASSERT_TRUE(EnterFrame(context(), frame, saved));
  EXPECT_EQ(FindSlot(context(), "target"), kNoSlot) << "a new frame has its own variables";
  EvalValue read{};
  ASSERT_TRUE(ReadViaPointer(context(), pointer, read));
  EXPECT_STREQ(ValueText(context(), read.value), "main value");
  ReleaseValue(context(), read.value, 0, kHolderEval);
  Value written{};
  written.flags = kValueInteger;
  written.intValue = 7;
  ASSERT_TRUE(WriteViaPointer(context(), pointer, written));
  EXPECT_EQ(context().currentFrame, frame) << "the pointer's frame is left again";

  // A pointer into this frame dies with it, even when the next frame gets the same entry.
  SetText("local", "l");
  char localPointer[80];
  MakePointerText(context(), "local", localPointer, sizeof localPointer);
  ASSERT_TRUE(LeaveFrame(context(), saved));
  ASSERT_TRUE(FreeFrame(context(), frame));
  EXPECT_EQ(AllocateFrame(context(), 16), frame);
  EvalValue stale{};
  context().errors.errNum = 0;
  EXPECT_FALSE(ReadViaPointer(context(), localPointer, stale));
  EXPECT_EQ(context().errors.errNum, kErrInvalidPointer);
  FreeFrame(context(), frame);

  EXPECT_EQ(TextOf("target"), "7");
  context().errors.errNum = 0;
  EXPECT_FALSE(ReadViaPointer(context(), "#VAR$PTR#short", stale));
  EXPECT_EQ(context().errors.errNum, kErrNotPointer);
  ExpectHeapSound();
}

TEST_F(VariablesTest, MoreErrorInfoIsSeparatedAndCapped) {
  AppendMoreErrorInfo(context(), "first");
  AppendMoreErrorInfo(context(), "second");
  char info[2048];
  MoreErrorInfoText(context(), info, sizeof info);
  EXPECT_STREQ(info, "first\n\n----------------------------------------\nsecond");
  std::string big(2000, 'y');
  AppendMoreErrorInfo(context(), big.c_str());
  EXPECT_EQ(MoreErrorInfoText(context(), info, sizeof info), 1024u);
}

}  // namespace
}  // namespace kel::testing
