// The context's string heap: a boundary-tagged heap inside memory the host reserved, with a
// roving next-fit search, coalescing on free and growth through the host's heap descriptor.
//
// Every position is a byte offset from the heap base (0 is never an allocation), so the host
// may place the heap anywhere. Each block is framed by tags: "5678" on used blocks, "QRST" on
// free ones, so a write past the end of a text is caught when the block is freed.
#ifndef KEL_LANG_STRING_HEAP_H
#define KEL_LANG_STRING_HEAP_H

#include <cstddef>
#include <cstdint>

namespace kel {

struct BatchContext;

constexpr std::uint32_t kTagUsed = 0x38373635;  // "5678"
constexpr std::uint32_t kTagFree = 0x54535251;  // "QRST"
constexpr std::uint32_t kHeapHeaderBytes = 40;
constexpr std::uint32_t kHeapMinimumBlock = 28;
constexpr std::uint32_t kHeapGrowthSlack = 32768;

// A block as it stands in the heap; the size copy and closing tag sit at its end.
struct HeapBlockHead {
  std::uint32_t tag;
  std::uint32_t size;  // of the whole block, a multiple of 4
  std::uint32_t next;  // free blocks only: offsets in the circular free list
  std::uint32_t previous;
};
static_assert(sizeof(HeapBlockHead) == 16, "heap block fields are four 32-bit words");

// The heap header is the free list's sentinel (size 0) and keeps the rover in its eighth word.
struct HeapHeader {
  std::uint32_t tag;
  std::uint32_t size;
  std::uint32_t next;
  std::uint32_t previous;
  std::uint32_t unused[3];
  std::uint32_t rover;
  std::uint32_t reserved;
  std::uint32_t closingTag;
};
static_assert(sizeof(HeapHeader) == kHeapHeaderBytes, "the heap header is 40 bytes");
static_assert(offsetof(HeapHeader, rover) == 28, "the rover is the header's eighth word");

void InitHeap(BatchContext& context, std::uint32_t size);
// Offset of `size` usable bytes, or 0 when the heap cannot give them.
std::uint32_t VMalloc(BatchContext& context, std::uint32_t size);
void VFree(BatchContext& context, std::uint32_t offset);

// Forgets what the item functions remembered of the text at `offset`: it is being freed or
// changed in place.
void ForgetTextMemos(BatchContext& context, std::uint32_t offset);
// The bytes a text allocated at `offset` may use, its terminator included.
std::uint32_t HeapTextCapacity(const BatchContext& context, std::uint32_t offset);

// Allocates a zero-terminated copy of `length` bytes (or UTF-16 units); 0 on failure.
std::uint32_t HeapCopyText(BatchContext& context, const char* text, std::size_t length);
std::uint32_t HeapCopyWide(BatchContext& context, const char16_t* text, std::size_t length);

// A check of every tag and of the free list; used by the tests and the heap-checking build.
// Returns the number of blocks walked, or -1 at the first inconsistency.
int HeapWalk(const BatchContext& context, std::uint32_t* freeBlocks, std::uint32_t* freeBytes);

}  // namespace kel

#endif  // KEL_LANG_STRING_HEAP_H
