// The string heap: block sizes, splitting, next fit, coalescing, growth and tag checks.
#include <cstring>
#include <string>
#include <vector>

#include "lang/string_heap.h"
#include "unit/engine_fixture.h"

namespace kel::testing {
namespace {

class HeapTest : public EngineFixture {
 protected:
  std::uint32_t BlockSize(std::uint32_t offset) {
    return *reinterpret_cast<std::uint32_t*>(context().heapBase + offset - 4);
  }
  std::uint32_t FreeBlocks() {
    std::uint32_t blocks = 0;
    EXPECT_GT(HeapWalk(context(), &blocks, nullptr), 0);
    return blocks;
  }
};

TEST_F(HeapTest, AFreshHeapIsOneFreeBlock) {
  std::uint32_t blocks = 0, bytes = 0;
  EXPECT_EQ(HeapWalk(context(), &blocks, &bytes), 1);
  EXPECT_EQ(blocks, 1u);
  EXPECT_EQ(bytes, kHeapBytes - 56);
}

TEST_F(HeapTest, RequestsRoundUpToWholeTaggedBlocks) {
  struct Case {
    std::uint32_t request, block;
  } cases[] = {{1, 28}, {0, 28}, {13, 28}, {14, 28}, {16, 28}, {17, 32}, {100, 112}};
  for (const Case& c : cases) {
    std::uint32_t offset = VMalloc(context(), c.request);
    ASSERT_NE(offset, 0u);
    EXPECT_EQ(BlockSize(offset), c.block) << c.request;
    EXPECT_EQ(offset % 4, 0u);
    VFree(context(), offset);
  }
  ExpectHeapSound();
}

TEST_F(HeapTest, UsedBlocksAreCutFromTheEndOfTheFreeBlock) {
  std::uint32_t first = VMalloc(context(), 10);
  std::uint32_t second = VMalloc(context(), 10);
  EXPECT_EQ(first - second, 28u) << "each allocation is taken from the end of the free block";
  EXPECT_EQ(FreeBlocks(), 1u);
  VFree(context(), first);
  VFree(context(), second);
}

TEST_F(HeapTest, FreeingEverythingCoalescesBackToOneBlock) {
  std::vector<std::uint32_t> offsets;
  for (int i = 0; i < 200; ++i)
    offsets.push_back(VMalloc(context(), 1 + i % 50));
  // Free every other block first, so that merging happens on both sides.
  for (std::size_t i = 0; i < offsets.size(); i += 2)
    VFree(context(), offsets[i]);
  EXPECT_GT(FreeBlocks(), 50u);
  for (std::size_t i = 1; i < offsets.size(); i += 2)
    VFree(context(), offsets[i]);
  EXPECT_EQ(FreeBlocks(), 1u);
  ExpectHeapSound();
}

TEST_F(HeapTest, TheSearchStartsAtTheRover) {
  std::uint32_t a = VMalloc(context(), 100);
  std::uint32_t b = VMalloc(context(), 100);
  std::uint32_t c = VMalloc(context(), 100);
  VFree(context(), b);
  // The rover still points at the large block the last allocation was cut from, so the next
  // request is served there and the hole waits for a later pass.
  std::uint32_t d = VMalloc(context(), 100);
  EXPECT_EQ(c - d, 112u);
  EXPECT_EQ(FreeBlocks(), 2u);
  for (std::uint32_t offset : {a, c, d})
    VFree(context(), offset);
  EXPECT_EQ(FreeBlocks(), 1u);
  ExpectHeapSound();
}

TEST_F(HeapTest, GrowsThroughTheDescriptorWhenFull) {
  std::uint32_t committed = descriptor_.committedBytes;
  std::vector<std::uint32_t> offsets;
  for (int i = 0; i < 40; ++i) {
    std::uint32_t offset = VMalloc(context(), 4000);
    ASSERT_NE(offset, 0u) << "allocation " << i;
    offsets.push_back(offset);
  }
  EXPECT_GT(descriptor_.committedBytes, committed);
  EXPECT_EQ(descriptor_.committedBytes % platform::PageSize(), 0u);
  // Write every byte of every block: all of it must be committed memory.
  for (std::uint32_t offset : offsets)
    std::memset(context().heapBase + offset, 'x', 4000);
  ExpectHeapSound();
  for (std::uint32_t offset : offsets)
    VFree(context(), offset);
  EXPECT_EQ(FreeBlocks(), 1u);
}

TEST_F(HeapTest, FailsQuietlyWhenTheReservationIsUsedUp) {
  EXPECT_EQ(VMalloc(context(), kReservation), 0u);
  std::uint32_t offset = VMalloc(context(), 64);
  EXPECT_NE(offset, 0u) << "a failed growth leaves the heap usable";
  VFree(context(), offset);
  ExpectHeapSound();
}

TEST_F(HeapTest, ADamagedTagKeepsTheBlockAndTheHeapIntact) {
#if defined(_WIN32)
  GTEST_SKIP() << "the report is a modal box on Windows";
#endif
  std::uint32_t offset = VMalloc(context(), 8);
  std::uint32_t guard = VMalloc(context(), 8);
  // Overwrite the closing tag of the block, as a text written past its end would.
  std::uint32_t size = BlockSize(offset);
  *reinterpret_cast<std::uint32_t*>(context().heapBase + offset - 8 + size - 4) = 0;
  ::testing::internal::CaptureStderr();
  VFree(context(), offset);
  VFree(context(), offset);  // a second try is refused as well
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Tag Overwrite 2"), std::string::npos);
  EXPECT_EQ(*reinterpret_cast<std::uint32_t*>(context().heapBase + offset - 8), kTagUsed);
  VFree(context(), guard);
}

}  // namespace
}  // namespace kel::testing
