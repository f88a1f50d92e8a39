// The boundary-tagged string heap: next-fit allocation, coalescing on free, growth in place.
#include "lang/string_heap.h"

#include <cstdio>
#include <cstring>

#include "core/batch_context.h"
#include "platform/platform.h"

namespace kel {
namespace {

constexpr std::uint32_t kSentinel = 0;  // the header doubles as the free list's sentinel

std::uint32_t& Word(const BatchContext& context, std::uint32_t offset) {
  return *reinterpret_cast<std::uint32_t*>(context.heapBase + offset);
}

std::uint32_t& TagOf(const BatchContext& c, std::uint32_t block) {
  return Word(c, block);
}
std::uint32_t& SizeOf(const BatchContext& c, std::uint32_t block) {
  return Word(c, block + 4);
}
std::uint32_t& NextOf(const BatchContext& c, std::uint32_t block) {
  return Word(c, block + 8);
}
std::uint32_t& PreviousOf(const BatchContext& c, std::uint32_t block) {
  return Word(c, block + 12);
}
std::uint32_t& Rover(const BatchContext& c) {
  return Word(c, offsetof(HeapHeader, rover));
}

void MarkFree(BatchContext& context, std::uint32_t block, std::uint32_t size) {
  TagOf(context, block) = kTagFree;
  SizeOf(context, block) = size;
  Word(context, block + size - 8) = size;
  Word(context, block + size - 4) = kTagFree;
}

void MarkUsed(BatchContext& context, std::uint32_t block, std::uint32_t size) {
  TagOf(context, block) = kTagUsed;
  SizeOf(context, block) = size;
  Word(context, block + size - 4) = kTagUsed;
}

void Unlink(BatchContext& context, std::uint32_t block) {
  std::uint32_t next = NextOf(context, block), previous = PreviousOf(context, block);
  NextOf(context, previous) = next;
  PreviousOf(context, next) = previous;
  if (Rover(context) == block) Rover(context) = kSentinel;
}

void InsertAtFront(BatchContext& context, std::uint32_t block) {
  std::uint32_t first = NextOf(context, kSentinel);
  NextOf(context, block) = first;
  PreviousOf(context, block) = kSentinel;
  PreviousOf(context, first) = block;
  NextOf(context, kSentinel) = block;
}

void ReportTagOverwrite(const char* which) {
  platform::MessageBoxText(nullptr, which, "INTERNAL DYNALLOC ERROR");
}

// How far the heap may reach from its base: the host's reservation, or as far as 32-bit offsets
// go when the host did not say; no further than it is when nobody told us where it may grow.
std::uint64_t HeapLimit(const BatchContext& context) {
  const KelHeapDescriptor* descriptor = context.heapDescriptor;
  if (descriptor == nullptr) return std::uint64_t{context.heapEnd} + 4;
  std::uint64_t limit = 0xFFFFFFF0u;
  if (descriptor->reservedBytes != 0 && descriptor->reservedBytes < limit)
    limit = descriptor->reservedBytes;
  return limit;
}

// Commits more of the reservation at the end of the heap and frees it into the free list, so
// that a block of `need` bytes fits: a free block that ends the heap counts towards it, and the
// growth slack is added while the reservation has room for it. False when the heap cannot grow
// that far.
bool GrowHeap(BatchContext& context, std::uint32_t need) {
  KelHeapDescriptor* descriptor = context.heapDescriptor;
  if (descriptor == nullptr) return false;  // nobody told us where the reservation ends
  std::uint32_t end = context.heapEnd;
  std::uint32_t tailFree = Word(context, end - 4) == kTagFree ? Word(context, end - 8) : 0;
  std::uint64_t missing = need > tailFree ? need - tailFree : 0;
  if (missing < kHeapMinimumBlock) missing = kHeapMinimumBlock;
  // The new block starts at the end sentinel and is followed by the new sentinel word.
  std::uint64_t limit = HeapLimit(context);
  std::uint64_t room = limit > std::uint64_t{end} + 4 ? (limit - end - 4) & ~std::uint64_t{3} : 0;
  if (missing > room) return false;  // the reservation is used up: out of memory, quietly
  std::uint64_t size = missing + kHeapGrowthSlack;
  if (size > room) size = room;
  std::uint64_t page = platform::PageSize();
  std::uint64_t wanted = (end + size + 4 + page - 1) / page * page;
  if (wanted > limit) wanted = limit;
  // The descriptor's figure is the host's; never commit less than is committed already.
  if (wanted < descriptor->committedBytes) wanted = descriptor->committedBytes;
  if (!platform::CommitMemory(context.heapBase, static_cast<std::size_t>(wanted))) {
    std::uint32_t code = platform::LastSystemError();
    if (code != platform::kErrorNotEnoughMemory) {
      char text[32];
      std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(code));
      platform::MessageBoxText(nullptr, text, "VMalloc error - VirtualAlloc failed");
    }
    return false;
  }
  descriptor->committedBytes = static_cast<std::uint32_t>(wanted);
  descriptor->base = context.heapBase;
  // The old end sentinel becomes a used block covering the new room, which is then freed (and
  // joins a free block before it).
  MarkUsed(context, end, static_cast<std::uint32_t>(size));
  context.heapEnd = end + static_cast<std::uint32_t>(size);
  Word(context, context.heapEnd) = kTagUsed;
  VFree(context, end + 8);
  return true;
}

}  // namespace

void InitHeap(BatchContext& context, std::uint32_t size) {
  // The checked build counts the allocations a context makes from the moment it has its heap.
  platform::ArmAllocationFailures();
  context.appendText = 0;
  for (ItemMemo& memo : context.itemMemos)
    memo.textRef = 0;
  for (std::uint32_t& constant : context.constantTexts)
    constant = 0;
  std::memset(context.heapBase, 0, kHeapHeaderBytes);
  Word(context, 0) = kTagUsed;
  Word(context, kHeapHeaderBytes - 4) = kTagUsed;
  std::uint32_t block = kHeapHeaderBytes;
  std::uint32_t blockSize = (size - 56) & ~3u;
  MarkFree(context, block, blockSize);
  NextOf(context, kSentinel) = block;
  PreviousOf(context, kSentinel) = block;
  NextOf(context, block) = kSentinel;
  PreviousOf(context, block) = kSentinel;
  Rover(context) = block;
  context.heapEnd = block + blockSize;
  Word(context, context.heapEnd) = kTagUsed;
  context.heapCommitted = size;
}

std::uint32_t VMalloc(BatchContext& context, std::uint32_t size) {
  if (context.heapBase == nullptr || size > 0x7FFF0000u) return 0;
  std::uint32_t need = (size + 15) & ~3u;
  if (need < kHeapMinimumBlock) need = kHeapMinimumBlock;
  // A block larger than the whole reservation can never be had: no search, no growth.
  if (std::uint64_t{need} + kHeapHeaderBytes + 4 > HeapLimit(context)) return 0;
  if (platform::AllocationFailsNow(size)) return 0;
  std::uint32_t block = Rover(context);
  int sentinelPasses = 0;
  for (;;) {
    if (block == kSentinel) {
      if (++sentinelPasses == 2) {
        if (!GrowHeap(context, need)) return 0;
        sentinelPasses = 0;
        block = Rover(context);
        continue;
      }
    } else if (SizeOf(context, block) >= need) {
      break;
    }
    block = NextOf(context, block);
  }
  std::uint32_t blockSize = SizeOf(context, block);
  if (blockSize - need >= kHeapMinimumBlock) {
    // The free block keeps its front; the used block is cut from its end.
    std::uint32_t remaining = blockSize - need;
    MarkFree(context, block, remaining);
    Rover(context) = block;
    block += remaining;
  } else {
    Unlink(context, block);
    need = blockSize;
  }
  MarkUsed(context, block, need);
  return block + 8;
}

void VFree(BatchContext& context, std::uint32_t offset) {
  if (context.heapBase == nullptr || offset < kHeapHeaderBytes + 8 || offset >= context.heapEnd)
    return;
  // A text that something was remembered of is gone; a new text may take its place.
  ForgetTextMemos(context, offset);
  if (context.appendText == offset) context.appendText = 0;
  std::uint32_t block = offset - 8;
  std::uint32_t size = SizeOf(context, block);
  // Every tag is checked before anything changes, so a damaged heap is reported and left as
  // it was rather than spread further.
  if (TagOf(context, block) != kTagUsed || size < kHeapMinimumBlock || (size & 3) != 0 ||
      size > context.heapEnd - block) {
    ReportTagOverwrite("Tag Overwrite 1");
    return;
  }
  std::uint32_t before = Word(context, block - 4);
  if (before != kTagFree && before != kTagUsed) {
    ReportTagOverwrite("Tag Overwrite 1");
    return;
  }
  std::uint32_t following = block + size;
  std::uint32_t after = TagOf(context, following);
  if (Word(context, following - 4) != kTagUsed || (after != kTagFree && after != kTagUsed)) {
    ReportTagOverwrite("Tag Overwrite 2");
    return;
  }
  if (before == kTagFree) {
    std::uint32_t previousSize = Word(context, block - 8);
    std::uint32_t previous = block - previousSize;
    Unlink(context, previous);
    block = previous;
    size += previousSize;
  }
  if (after == kTagFree) {
    Unlink(context, following);
    size += SizeOf(context, following);
  }
  MarkFree(context, block, size);
  InsertAtFront(context, block);
}

void ForgetTextMemos(BatchContext& context, std::uint32_t offset) {
  for (ItemMemo& memo : context.itemMemos)
    if (memo.textRef == offset) memo.textRef = 0;
}

std::uint32_t HeapTextCapacity(const BatchContext& context, std::uint32_t offset) {
  // The block's head (tag and size) and its closing tag are not the text's.
  return SizeOf(context, offset - 8) - 12;
}

std::uint32_t HeapCopyText(BatchContext& context, const char* text, std::size_t length) {
  if (length >= 0x7FFF0000u) return 0;
  std::uint32_t offset = VMalloc(context, static_cast<std::uint32_t>(length + 1));
  if (offset == 0) return 0;
  char* out = reinterpret_cast<char*>(context.heapBase + offset);
  if (length > 0) std::memmove(out, text, length);
  out[length] = '\0';
  return offset;
}

std::uint32_t HeapCopyWide(BatchContext& context, const char16_t* text, std::size_t length) {
  if (length >= 0x3FFF8000u) return 0;
  std::uint32_t offset = VMalloc(context, static_cast<std::uint32_t>(2 * length + 2));
  if (offset == 0) return 0;
  auto* out = reinterpret_cast<char16_t*>(context.heapBase + offset);
  if (length > 0) std::memmove(out, text, 2 * length);
  out[length] = 0;
  return offset;
}

int HeapWalk(const BatchContext& context, std::uint32_t* freeBlocks, std::uint32_t* freeBytes) {
  std::uint32_t blocks = 0, freeCount = 0, freeTotal = 0;
  for (std::uint32_t block = kHeapHeaderBytes; block < context.heapEnd;) {
    std::uint32_t tag = TagOf(context, block), size = SizeOf(context, block);
    if ((tag != kTagUsed && tag != kTagFree) || size < kHeapMinimumBlock ||
        size > context.heapEnd - block || Word(context, block + size - 4) != tag)
      return -1;
    if (tag == kTagFree) {
      if (Word(context, block + size - 8) != size) return -1;
      ++freeCount;
      freeTotal += size;
    }
    ++blocks;
    block += size;
  }
  if (Word(context, context.heapEnd) != kTagUsed) return -1;
  // The free list must hold exactly the free blocks, linked both ways.
  std::uint32_t listed = 0;
  for (std::uint32_t block = NextOf(context, kSentinel); block != kSentinel;
       block = NextOf(context, block)) {
    if (TagOf(context, block) != kTagFree || PreviousOf(context, NextOf(context, block)) != block ||
        ++listed > freeCount)
      return -1;
  }
  if (listed != freeCount) return -1;
  if (freeBlocks) *freeBlocks = freeCount;
  if (freeBytes) *freeBytes = freeTotal;
  return static_cast<int>(blocks);
}

}  // namespace kel
